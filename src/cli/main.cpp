// tarnwick-cli: runs one Search, Replace, Touch or file listing from a command line, unattended, and
// exits with 0 when something was found, 1 when nothing was, 2 when the command did not
// run or was stopped.
#include "app/CommandLine.h"
#include "app/ProgramScripts.h"
#include "app/RunRequest.h"
#include "app/ScriptInputs.h"
#include "app/SettingsStore.h"
#include "app/TouchModel.h"
#include "cli/CliHost.h"
#include "core/RecoveryList.h"
#include "core/RunDriver.h"
#include "core/SafeRewrite.h"
#include "core/TouchFiles.h"
#include "core/UndoHistory.h"
#include "engine/CharClasses.h"
#include "platform/Environment.h"
#include "results/HtmlPage.h"
#include "select/FileList.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <exception>
#include <optional>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

tw::RunDriver* g_driver = nullptr;

void onInterrupt(int)
{
    if (g_driver)
        g_driver->requestStop();
}

void printHelp()
{
    std::puts(
        "Usage: tarnwick-cli [/S\"search\"] [/R\"replace\"] [/P path/mask] [/C script] [/O output] [/B backup] [/flags]\n"
        "Searches the files that match the masks below the path and prints every results line.\n"
        "  /S text   search text (quote it when it holds spaces; \\\" is a quote inside quotes)\n"
        "  /R text   replace text (replace mode)\n"
        "  /P text   one start path, optionally ending in masks separated by ';': /src/*.c;*.h\n"
        "            (quote it, so that the shell does not expand the masks)\n"
        "  /C file   run a script file (.tws): its search/replace pairs, its paths with their\n"
        "            masks, its expression and its own options; a search, or a replace with /R\n"
        "  /O file   write the results to a file instead of standard output\n"
        "  /B dir    backup directory for replace runs\n"
        "  /T text   touch: every selected file gets this date and time (\"DATE TIME\" in the\n"
        "            locale's pictures) as its modification time; /t or /T alone: now\n"
        "  /idwxhtrqn flag letters: i case-insensitive, d subdirectories, w whole word,\n"
        "            x regular expression, h ignore whitespace, t touch, r replace, q close,\n"
        "            n no prompts\n"
        "An empty search text lists the selected files.\n"
        "  --recover           put back every file whose rewrite was interrupted, from its copy\n"
        "  --discard-recovery  forget the interrupted rewrites and delete their safety copies\n"
        "  --undo              take back the latest replace run not yet taken back (each file\n"
        "                      only if it still holds what the run wrote)\n"
        "  --undo-list         list the replace runs the undo history keeps, newest first\n"
        "  --html FILE         also write the run's results to FILE as an HTML page\n"
        "  --threads N         search with N worker threads (0: one per core; 1: one thread)\n"
        "  --ignore-files      skip the files and directories that git's ignore files ignore\n"
        "Exit status: 0 found, 1 nothing found, 2 not run, stopped, a file error or unwritable output.");
}

// "--undo": takes back the latest run of the undo history not yet taken back; exit status
// 0 when every file was restored, 2 when any was not, 1 when there was nothing to undo.
// "--undo-list": one line per kept run, newest first.
int runUndoCommand(bool undo)
{
    tw::UndoHistory history(tw::realFileSystem(), tw::realFileOps(), tw::dataDirectory());
    std::vector<std::string> problems;
    if (!undo) {
        for (const tw::UndoRunRecord& run : history.runs(&problems))
            std::printf("%s\n", tw::undoRunLine(run).c_str());
        for (const std::string& text : problems)
            std::fprintf(stderr, "%s\n", text.c_str());
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    const std::optional<tw::UndoRunRecord> run = history.lastOpenRun(&problems);
    for (const std::string& text : problems)
        std::fprintf(stderr, "%s\n", text.c_str());
    if (!run) {
        std::puts("Nothing to undo.");
        return 1;
    }
    std::vector<std::string> lines;
    const tw::UndoTakeBack result = history.takeBack(*run, &lines);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    std::printf("Restored %d of %d file(s)\n", result.restored, result.files);
    return std::fflush(stdout) == 0 && result.restored == result.files ? 0 : 2;
}

// The help, the version and the recovery commands, which run instead of a search; nothing
// when `args` asks for a run.
std::optional<int> runInformationCommand(const std::vector<std::string>& args)
{
    if (args.empty()) {
        printHelp();
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        printHelp();
        return 0;
    }
    if (args[0] == "--version") {
        std::printf("tarnwick-cli %s\n", TW_VERSION);
        return 0;
    }
    if (args[0] == "--undo" || args[0] == "--undo-list")
        return runUndoCommand(args[0] == "--undo");
    if (args[0] != "--recover" && args[0] != "--discard-recovery")
        return std::nullopt;
    // Deals with the files whose rewrite a crash interrupted, then exits.
    std::vector<std::string> lines;
    const std::string dataDir = tw::dataDirectory();
    const bool ok = args[0] == "--recover"
                        ? tw::recoverPending(tw::realFileSystem(), tw::realFileOps(), dataDir, &lines)
                        : tw::discardPending(tw::realFileSystem(), tw::realFileOps(), dataDir, &lines);
    for (const std::string& line : lines)
        std::fprintf(stderr, "%s\n", line.c_str());
    if (lines.empty())
        std::fputs("No interrupted rewrite is pending.\n", stderr);
    return ok ? 0 : 2;
}

// Takes "--html FILE" (the run's results also go to that file as an HTML page) and
// "--threads N" (overrides the setting) out of `args`, wherever they stand among the
// switches. False, with the message out, when a value is missing or wrong.
bool takeValueOptions(std::vector<std::string>& args, std::string& htmlPath, int& threads)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--html" && args[i] != "--threads")
            continue;
        const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
        if (args[i] == "--html") {
            if (value.empty()) {
                std::fputs("--html needs the name of the page to write.\n", stderr);
                return false;
            }
            htmlPath = value;
        } else {
            const bool digits = !value.empty() && value.size() <= 3 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            if (!digits || std::stoi(value) > 256) {
                std::fputs("--threads needs a number of threads from 0 to 256 (0: one per core).\n", stderr);
                return false;
            }
            threads = std::stoi(value);
        }
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        --i;
    }
    return true;
}

// The saved options and window inputs, with the run's "--threads" (when not -1) and
// "--ignore-files" applied.
void loadSettings(tw::ProgramOptions& options, tw::MainWindowSettings& saved, int threads, bool ignoreFiles)
{
    tw::SettingsStore store;
    if (const auto& problem = store.problem())
        std::fprintf(stderr, "%s\n", problem->c_str());
    store.loadOptions(options);
    if (threads >= 0)
        options.threads = threads;
    if (ignoreFiles)
        options.useIgnoreFiles = true;
    store.loadMainWindow(saved);
}

// A word the shell made of an unquoted mask: says so.
bool reportsStrayArgument(const std::vector<std::string>& args)
{
    const auto stray = tw::findStrayArgument(args);
    if (stray)
        std::fprintf(stderr,
                     "Unexpected argument \"%s\": quote masks so that the shell does not expand them, "
                     "as in /P \"sub/*.txt\".\n",
                     tw::displayName(*stray).c_str());
    return stray.has_value();
}

// "/C": the script becomes the last script file, is read and shown in the boxes; false
// (after saying why) when it cannot be used.
bool takeScript(const tw::CommandLineRequest& cmd, tw::MainWindowSettings& saved, const tw::ProgramOptions& options,
                tw::Script& script, tw::CliHost& host)
{
    std::vector<std::string> messages;
    const bool taken = tw::takeCommandLineScript(cmd, saved, options, script, &messages);
    for (const std::string& text : messages)
        host.message(text, false);
    return taken;
}

// Runs the request (a listing when `listing`); an exception ends the run as stopped.
tw::RunOutcome runRequest(tw::RunDriver& driver, tw::SearchRequest& request, tw::CliHost& host, bool listing)
{
    try {
        return listing ? driver.ListFilesOnly(request) : driver.ExecuteRun(request);
    } catch (const std::exception& e) {
        // The run's objects have cleaned up on the way out (temporary files deleted,
        // staged rewrites finished); say what happened.
        host.message(std::string("The run ended early: ") + e.what(), false);
        return tw::RunOutcome::Stopped;
    }
}

// Whether everything written to standard output got there; says so when not.
bool standardOutputWritten(const tw::StreamResultsView& view, tw::CliHost& host)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) && !view.failed())
        return true;
    host.message("Error writing to output file standard output", false);
    return false;
}

// The HTML page of a run, gathered in an unnamed scratch file while the run goes on.
struct HtmlSpool {
    std::unique_ptr<tw::File> spool;
    std::unique_ptr<tw::HtmlResultsView> view;

    bool open(const tw::SearchRequest& request)
    {
        spool = tw::realFileSystem().createScratch("TWH");
        if (!spool)
            return false;
        tw::HtmlOptions html;
        html.utf8 = tw::localeUsesUtf8();
        view = std::make_unique<tw::HtmlResultsView>(*spool, tw::buildRunHeading(request, request.startedText), html);
        return true;
    }
    // Ends the page and copies it to `path` (created or emptied).
    bool writeTo(const std::string& path)
    {
        if (!view->finish())
            return false;
        std::unique_ptr<tw::File> out = tw::realFileSystem().openOutput(path);
        return out && tw::copyContent(*spool, *out) >= 0 && out->sync();
    }
};

// The run the command line asks for: the script "/C" names taken into the boxes, the command
// chosen, the inputs accepted and the request built. Nothing, once the reason is told, when
// the command does not run.
std::optional<tw::SearchRequest> commandRequest(const tw::CommandLineRequest& cmd, tw::MainWindowSettings& saved,
                                                tw::ProgramOptions& options, tw::Script& script, tw::CliHost& host)
{
    tw::MainInputs& inputs = saved.inputs;
    if (cmd.scriptFileGiven && !takeScript(cmd, saved, options, script, host))
        return std::nullopt;
    tw::CommandLineCommand command = tw::chosenCommand(cmd);
    // Touch takes only the file selection: the search and replace texts play no part.
    if (command == tw::CommandLineCommand::Touch) {
        inputs.searchText.clear();
        inputs.replaceText.clear();
    }
    // A script alone is run as a search: the command-line program always does something.
    if (command == tw::CommandLineCommand::None && cmd.scriptFileGiven)
        command = tw::CommandLineCommand::Search;
    const bool replaceMode = command == tw::CommandLineCommand::Replace;
    const tw::AcceptedInputs accepted = tw::acceptInputs(inputs, replaceMode, options, script, saved.lastScriptFile,
                                                         tw::programScriptLoader(inputs, options));
    for (const std::string& text : accepted.loadMessages)
        host.message(text, false);
    if (!accepted.accepted()) {
        host.message(accepted.message, false);
        return std::nullopt;
    }

    return tw::buildRunRequest(
        {inputs, options, saved, replaceMode, /*unattended=*/true, /*quiet=*/true, &script, accepted.use});
}

std::atomic<bool> g_touchStop{false};

void onTouchInterrupt(int) { g_touchStop.store(true); }

// Prints each touched file on standard output and every other line on standard error.
class PrintingTouchSink : public tw::TouchSink {
public:
    explicit PrintingTouchSink(tw::CliHost& host) : m_host(host) {}
    void line(const tw::TouchLine& line) override
    {
        if (line.outcome == tw::TouchOutcome::Touched)
            std::printf("%s\n", tw::displayName(line.text).c_str());
        else
            m_host.message(tw::displayName(line.text), false);
    }

private:
    tw::CliHost& m_host;
};

// "/T": every file the request selects gets the "/T" date and time as its modification
// time, or the current time when the switch had no value. Exit status 0 when a file was
// touched, 1 when none was selected, 2 for a value that is no date and time, a stop or a
// file that could not be touched.
int runTouch(const tw::CommandLineRequest& cmd, const tw::SearchRequest& request, tw::CliHost& host)
{
    tw::TouchRequest touch;
    touch.newTime = tw::toFileTime(::time(nullptr), 0);
    const bool now = !cmd.touchDateTimeGiven || cmd.touchDateTime.empty() || cmd.touchDateTime == "Now";
    if (!now) {
        std::string error;
        const std::optional<tw::FileTime> when =
            tw::parseTouchDateTime(cmd.touchDateTime, tw::systemTouchPictures(), &error);
        if (!when) {
            host.message(error, false);
            return 2;
        }
        touch.newTime = *when;
    }
    std::signal(SIGINT, onTouchInterrupt);
    std::signal(SIGTERM, onTouchInterrupt);
    tw::FileList list;
    bool stopped = !tw::collectTouchFiles(tw::realFileSystem(), request, list, &g_touchStop);
    PrintingTouchSink sink(host);
    tw::TouchCounts counts;
    if (!stopped) {
        tw::TouchFiles files(tw::realFileSystem(), tw::realFileOps(), touch);
        counts = files.applyAll(list, sink, &g_touchStop);
        stopped = g_touchStop.load();
    }
    std::printf("%s\n", tw::touchSummaryText(counts).c_str());
    if (stopped)
        host.message("Execution interrupted by the user!", false);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return 2;
    if (stopped || counts.failed != 0)
        return 2;
    return counts.touched > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Output that went away (a closed pipe, as after "| head") is a write error, reported
    // at the end, not the end of the program: a replace run is never cut off in the middle.
    std::signal(SIGPIPE, SIG_IGN);
    // Results going to a file or a pipe are written in large pieces; a terminal keeps its
    // line-by-line output.
    static char outBuffer[1 << 16];
    if (!isatty(STDOUT_FILENO))
        std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::optional<int> status = runInformationCommand(args))
        return *status;
    std::string htmlPath;
    int threads = -1;
    if (!takeValueOptions(args, htmlPath, threads))
        return 2;
    // "--ignore-files" (anywhere among the switches) turns "Use Ignore Files" on for this run.
    const bool ignoreFiles = tw::takeLongOption(args, "--ignore-files");
    // UTF-8 locales use the UTF-8 classes; any other uses the built-in Windows-1252 table.
    tw::setActiveCodePage(tw::localeUsesUtf8() ? tw::CodePageKind::Utf8 : tw::CodePageKind::Windows1252);

    tw::ProgramOptions options;
    tw::MainWindowSettings saved;
    loadSettings(options, saved, threads, ignoreFiles);
    tw::MainInputs& inputs = saved.inputs;
    if (reportsStrayArgument(args))
        return 2;
    const tw::CommandLineRequest cmd = tw::parseCommandLine(tw::joinArguments(args));
    tw::applyCommandLine(cmd, inputs, options);

    tw::CliHost host(stdin, stderr);
    // Files whose rewrite was interrupted by a crash: say where their safety copies are.
    tw::reportPendingRecoveries(tw::dataDirectory(),
                                "Run tarnwick-cli --recover to put these files back from their copies, or "
                                "tarnwick-cli --discard-recovery to keep them as they are and forget the copies. "
                                "Until then they are not replaced again.",
                                [&host](const std::string& text) { host.message(text, false); });
    tw::Script script;
    std::optional<tw::SearchRequest> made = commandRequest(cmd, saved, options, script, host);
    if (!made)
        return 2;
    tw::SearchRequest& request = *made;
    if (tw::chosenCommand(cmd) == tw::CommandLineCommand::Touch)
        return runTouch(cmd, request, host);
    const bool replaceMode = request.replaceMode;
    // The options in force: a script's own replace the program's for its run.
    const tw::ProgramOptions& inForce = request.options;
    host.setHitTexts(inForce.beforeHit, inForce.afterHit);
    const bool listing = tw::isListing(request);

    tw::ResultsList results;
    results.setHitTexts(inForce.beforeHit, inForce.afterHit);
    tw::StreamResultsView view(stdout, inForce.beforeHit, inForce.afterHit);
    // With an output file the list is not shown, so nothing goes to standard output.
    // When the output file cannot be used, the lines come to standard output instead.
    results.setView(&view, true);

    // The page is gathered in an unnamed scratch file and written to its name only when
    // the run is over. The run refuses to start when that name is one of its files or its
    // output file, which the page would take the place of.
    request.resultsPage = htmlPath;
    HtmlSpool html;
    if (!htmlPath.empty()) {
        if (!html.open(request)) {
            host.message("Error opening temp file", false);
            return 2;
        }
        results.setCopyView(html.view.get());
    }

    tw::RunDriver driver(host, results);
    g_driver = &driver;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // Standard output that went away: a replace run writes nothing more to it and goes on
    // through its files; a search or a listing has nothing left to do and stops at once.
    // Either ends with the write error and exit status 2.
    if (!replaceMode)
        view.setOnFailure([&driver] { driver.requestStop(); });

    const tw::RunOutcome outcome = runRequest(driver, request, host, listing);
    g_driver = nullptr;
    // Results that could not be written are a failure, whatever was found.
    int status = tw::runExitStatus(outcome, driver.counters(), listing, results.outputFailed());
    if (results.outputFailed())
        host.message("Error writing to output file " + tw::displayName(inForce.outputFile), false);
    if (!standardOutputWritten(view, host))
        status = 2;
    // A run that was refused writes no page: its name may be one of the run's files.
    if (html.view && outcome != tw::RunOutcome::NotRun && !html.writeTo(htmlPath)) {
        host.message("Error writing to output file " + tw::displayName(htmlPath), false);
        status = 2;
    }
    return status;
}
