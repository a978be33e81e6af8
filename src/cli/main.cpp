// tarnwick-cli: runs one Search, Replace, Touch or file listing from a command line, unattended, and
// exits with 0 when something was found, 1 when nothing was, 2 when the command did not
// run or was stopped.
#include "app/CliOptions.h"
#include "app/CommandLine.h"
#include "app/ProgramScripts.h"
#include "app/RunRequest.h"
#include "app/ScriptInputs.h"
#include "app/SettingsStore.h"
#include "app/TouchModel.h"
#include "cli/CliHost.h"
#include "core/RecoveryList.h"
#include "core/ReplacePreview.h"
#include "core/RunDriver.h"
#include "core/SafeRewrite.h"
#include "core/TouchFiles.h"
#include "core/UndoHistory.h"
#include "engine/CharClasses.h"
#include "platform/Environment.h"
#include "results/HtmlPage.h"
#include "results/JsonResultsView.h"
#include "select/FileList.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <exception>
#include <optional>
#include <cstdio>
#include <cstdlib>
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

// The help text comes from the options table, as the manual page does.
void printHelp()
{
    std::fputs(tw::cliHelpText().c_str(), stdout);
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
    std::printf("%s\n", tw::undoSummaryText(result).c_str());
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

// How the results come to standard output.
struct OutputChoice {
    enum class Colour { Auto, Always, Never } colour = Colour::Auto;
    bool json = false;
};

// Takes "--color=WHEN" and "--json" out of `args`, wherever they stand among the switches.
// False, with the message out, for a colour choice that is missing or unknown.
bool takeOutputOptions(std::vector<std::string>& args, OutputChoice& choice)
{
    constexpr std::string_view colour = "--color";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.compare(0, colour.size(), colour) != 0 || (a.size() > colour.size() && a[colour.size()] != '='))
            continue;
        const std::string value = a.size() > colour.size() ? a.substr(colour.size() + 1) : std::string();
        if (value == "auto")
            choice.colour = OutputChoice::Colour::Auto;
        else if (value == "always")
            choice.colour = OutputChoice::Colour::Always;
        else if (value == "never")
            choice.colour = OutputChoice::Colour::Never;
        else {
            std::fprintf(stderr, "%s: the colour choice is one of --color=auto, --color=always and --color=never.\n",
                         tw::displayName(a).c_str());
            return false;
        }
        args.erase(args.begin() + static_cast<long>(i));
        --i;
    }
    choice.json = tw::takeLongOption(args, "--json");
    return true;
}

// Whether standard output shows colours: asked for, or "auto" on a terminal that is not
// "dumb" while NO_COLOR is unset or empty. JSON is never coloured.
bool showsColour(const OutputChoice& choice)
{
    if (choice.json || choice.colour == OutputChoice::Colour::Never)
        return false;
    if (choice.colour == OutputChoice::Colour::Always)
        return true;
    const char* term = std::getenv("TERM");
    const char* noColour = std::getenv("NO_COLOR");
    return isatty(STDOUT_FILENO) == 1 && !(term && std::strcmp(term, "dumb") == 0) && !(noColour && *noColour);
}

// A long option that is not one of this program's: says so.
bool reportsUnknownOption(const std::vector<std::string>& args)
{
    const auto option = tw::findLongOption(args);
    if (option)
        std::fprintf(stderr, "Unknown option \"%s\" (tarnwick-cli --help lists the options).\n",
                     tw::displayName(*option).c_str());
    return option.has_value();
}

// The run's counts for the summary of the JSON output.
tw::JsonRunTotals jsonTotals(const tw::RunCounters& c, std::chrono::steady_clock::duration elapsed)
{
    tw::JsonRunTotals t;
    t.searches = c.filesSearched;
    t.searchesWithMatch = c.filesWithHits;
    t.matches = c.totalHits;
    t.replacements = c.replacements;
    t.filesReplaced = c.filesReplaced;
    t.fileErrors = c.fileErrors;
    t.filesListed = c.filesListed;
    t.directories = c.directories;
    t.elapsedNanos = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    return t;
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

// Standard output as the file a preview writes its patch to.
class StandardOutputFile final : public tw::File {
public:
    [[nodiscard]] bool write(const void* data, size_t count) override
    {
        return std::fwrite(data, 1, count, stdout) == count;
    }
    [[nodiscard]] int64_t read(void*, size_t) override { return -1; }
    [[nodiscard]] bool seek(int64_t) override { return false; }
    [[nodiscard]] int64_t position() override { return -1; }
    [[nodiscard]] bool truncate(int64_t) override { return false; }
    [[nodiscard]] bool sync() override { return std::fflush(stdout) == 0; }
    const std::string& path() const override { return m_name; }

private:
    std::string m_name = "standard output";
};

// "--preview": the replace runs as with "/n" and writes no file, no backup, undo line or
// output file; its changes go to standard output as a patch. False (after saying why) for a
// run that replaces nothing.
bool preparePreview(tw::SearchRequest& request, tw::ReplacePreview& preview, tw::CliHost& host)
{
    if (!request.replaceMode) {
        host.message("--preview needs a replace: give a replace text with /R, or a script with replace pairs.",
                     false);
        return false;
    }
    tw::previewInstead(request, preview);
    return true;
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

// Files whose rewrite was interrupted by a crash: says where their safety copies are.
void reportInterruptedRewrites(tw::CliHost& host)
{
    tw::reportPendingRecoveries(tw::dataDirectory(),
                                "Run tarnwick-cli --recover to put these files back from their copies, or "
                                "tarnwick-cli --discard-recovery to keep them as they are and forget the copies. "
                                "Until then they are not replaced again.",
                                [&host](const std::string& text) { host.message(text, false); });
}

// With "--html", the scratch file that gathers the page and the copy of every results
// line to it; false, with the message out, when the scratch file cannot be made.
bool openResultsPage(const tw::SearchRequest& request, HtmlSpool& html, tw::ResultsList& results, tw::CliHost& host)
{
    if (request.resultsPage.empty())
        return true;
    if (!html.open(request)) {
        host.message("Error opening temp file", false);
        return false;
    }
    results.setCopyView(html.view.get());
    return true;
}

// The exit status of a run that was carried out, its outputs' failures reported.
int finishedStatus(tw::RunOutcome outcome, const tw::RunCounters& counters, bool listing, bool previewing,
                   const tw::ResultsList& results, const std::string& outputFile, const tw::StreamResultsView& view,
                   tw::CliHost& host, HtmlSpool& html, const std::string& htmlPath)
{
    // Results that could not be written are a failure, whatever was found.
    int status = tw::runExitStatus(outcome, counters, listing, results.outputFailed());
    if (results.outputFailed())
        host.message("Error writing to output file " + tw::displayName(outputFile), false);
    if (!standardOutputWritten(view, host))
        status = 2;
    // A preview finds out whether anything would change.
    if (previewing && status != 2)
        status = counters.replacements > 0 ? 0 : 1;
    // A run that was refused writes no page: its name may be one of the run's files.
    if (html.view && outcome != tw::RunOutcome::NotRun && !html.writeTo(htmlPath)) {
        host.message("Error writing to output file " + tw::displayName(htmlPath), false);
        status = 2;
    }
    return status;
}

// The long options of a run, taken out of the arguments wherever they stand among the
// switches.
struct RunSwitches {
    std::string htmlPath;     // "--html FILE"
    int threads = -1;         // "--threads N"; -1: the setting
    OutputChoice output;      // "--color=WHEN", "--json"
    bool ignoreFiles = false; // "--ignore-files": "Use Ignore Files" on for this run
    bool previewing = false;  // "--preview": the replace changes nothing and prints its patch
};

// False, with the message out, for a value that is missing or unusable.
bool takeRunSwitches(std::vector<std::string>& args, RunSwitches& s)
{
    if (!takeValueOptions(args, s.htmlPath, s.threads) || !takeOutputOptions(args, s.output))
        return false;
    s.ignoreFiles = tw::takeLongOption(args, "--ignore-files");
    s.previewing = tw::takeLongOption(args, "--preview");
    return true;
}

// "--json" with a command whose standard output has no JSON messages: says so.
bool refusesJsonWith(const tw::CommandLineRequest& cmd, const RunSwitches& s, tw::CliHost& host)
{
    if (!s.output.json)
        return false;
    if (s.previewing) {
        // The preview's standard output is the patch; JSON messages would break it.
        host.message("--json cannot be used with --preview: the preview prints a patch.", false);
        return true;
    }
    if (tw::chosenCommand(cmd) == tw::CommandLineCommand::Touch) {
        // Touch prints the files it touched, which have no JSON messages.
        host.message("--json does not apply to Touch (/T).", false);
        return true;
    }
    return false;
}

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
    RunSwitches switches;
    if (!takeRunSwitches(args, switches))
        return 2;
    const std::string& htmlPath = switches.htmlPath;
    const OutputChoice& output = switches.output;
    const bool previewing = switches.previewing;
    // UTF-8 locales use the UTF-8 classes; any other uses the built-in Windows-1252 table.
    tw::setActiveCodePage(tw::localeUsesUtf8() ? tw::CodePageKind::Utf8 : tw::CodePageKind::Windows1252);

    tw::ProgramOptions options;
    tw::MainWindowSettings saved;
    loadSettings(options, saved, switches.threads, switches.ignoreFiles);
    tw::MainInputs& inputs = saved.inputs;
    if (reportsUnknownOption(args) || reportsStrayArgument(args))
        return 2;
    const tw::CommandLineRequest cmd = tw::parseCommandLine(tw::joinArguments(args));
    tw::applyCommandLine(cmd, inputs, options);

    tw::CliHost host(stdin, stderr);
    reportInterruptedRewrites(host);
    tw::Script script;
    std::optional<tw::SearchRequest> made = commandRequest(cmd, saved, options, script, host);
    if (!made)
        return 2;
    tw::SearchRequest& request = *made;
    if (refusesJsonWith(cmd, switches, host))
        return 2;
    StandardOutputFile patchOutput;
    tw::ReplacePreview preview(tw::realFileSystem(), patchOutput);
    if (previewing && !preparePreview(request, preview, host))
        return 2;
    if (tw::chosenCommand(cmd) == tw::CommandLineCommand::Touch)
        return runTouch(cmd, request, host);
    const bool replaceMode = request.replaceMode;
    // A replace run's JSON output gives each replaced hit its replacement, which the run
    // shows only with "Display Replace String".
    if (output.json && replaceMode)
        request.options.displayReplaceString = true;
    // The options in force: a script's own replace the program's for its run.
    const tw::ProgramOptions& inForce = request.options;
    host.setHitTexts(inForce.beforeHit, inForce.afterHit);
    const bool listing = tw::isListing(request);

    tw::ResultsList results;
    results.setHitTexts(inForce.beforeHit, inForce.afterHit);
    // A preview's standard output holds only the patch; its lines go to standard error,
    // never coloured.
    tw::StreamResultsView view(previewing ? stderr : stdout, inForce.beforeHit, inForce.afterHit);
    if (showsColour(output) && !previewing)
        view.setColours(tw::sgrForeground(inForce.fileColor), tw::sgrForeground(inForce.stringColor));
    tw::JsonResultsView json([&view](std::string_view text) { return view.write(text); },
                             [&host](std::string_view text) { host.message(std::string(text), false); });
    // With an output file the list is not shown, so nothing goes to standard output.
    // When the output file cannot be used, the lines come to standard output instead.
    if (output.json)
        results.setView(&json, true);
    else
        results.setView(&view, true);

    // The page is gathered in an unnamed scratch file and written to its name only when
    // the run is over. The run refuses to start when that name is one of its files or its
    // output file, which the page would take the place of.
    request.resultsPage = htmlPath;
    HtmlSpool html;
    if (!openResultsPage(request, html, results, host))
        return 2;

    tw::RunDriver driver(host, results);
    // One run per process: no later run would use its file list.
    driver.setKeepsListForNextRun(false);
    g_driver = &driver;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // Standard output that went away (the reader closed the pipe) stops the run as Stop
    // does: a replace run commits the file it has finished through the crash-safe rewrite
    // and leaves the rest untouched. The run ends with the write error and exit status 2.
    view.setOnFailure([&driver] { driver.requestStop(); });

    const auto started = std::chrono::steady_clock::now();
    const tw::RunOutcome outcome = runRequest(driver, request, host, listing);
    g_driver = nullptr;
    if (json.showedLines())
        json.finish(jsonTotals(driver.counters(), std::chrono::steady_clock::now() - started));
    return finishedStatus(outcome, driver.counters(), listing, previewing, results, inForce.outputFile, view, host,
                          html, htmlPath);
}
