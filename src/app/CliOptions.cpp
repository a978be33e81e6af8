#include "app/CliOptions.h"

#include <array>
#include <string>

namespace tw {

namespace {

using K = CliOptionKind;
using C = CliCompletion;

// The rows. Value switches first, then the flag letters, then the long options: the order
// of --help.
constexpr std::array kRows{
    CliOption{K::ValueSwitch, "/S", "text",
              "search text (quote it when it holds spaces; \\\" is a quote inside quotes)",
              "The search text. Quote it when it holds spaces (/S\"two words\"); \\\" is a quote inside "
              "quotes. Backslash escapes (\\t, \\n, \\0x41) stand for bytes. An empty search text lists "
              "the selected files.",
              C::None, kBothPrograms},
    CliOption{K::ValueSwitch, "/R", "text", "replace text (replace mode)",
              "The replace text: the command is a Replace instead of a Search. /R\"\", which the shell "
              "passes as a bare /R, is an empty replace text. With a regular expression, %1 to %9 put "
              "back the matched elements.",
              C::None, kBothPrograms},
    CliOption{K::ValueSwitch, "/P", "text",
              "one start path, optionally ending in masks separated by ';': /src/*.c;*.h\n"
              "(quote it, so that the shell does not expand the masks)",
              "One start path, optionally ending in masks separated by \";\", as in /P \"/src/*.c;*.h\". "
              "Quote it, so that the shell does not expand the masks: an argument that is neither a "
              "switch nor a value is refused. Masks use * and ?; \"~mask\" excludes, and the last mask "
              "that matches a file decides. The desktop program takes a path that names an existing "
              "directory as that directory, keeping its masks (what a file manager passes).",
              C::File, kBothPrograms},
    CliOption{K::ValueSwitch, "/C", "file",
              "run a script file (.tws): its search/replace pairs, its paths with their\n"
              "masks, its expression and its own options; a search, or a replace with /R",
              "Runs a script file (.tws): its search/replace pairs, its paths with their masks, its "
              "expression and its own options. It runs as a search, or as a replace with /R.",
              C::File, kBothPrograms},
    CliOption{K::ValueSwitch, "/O", "file", "write the results to a file instead of standard output",
              "Writes the results to this file (with a run heading and CR LF line ends) instead of "
              "standard output. A file that is one of the run's files is not written.",
              C::File, kBothPrograms},
    CliOption{K::ValueSwitch, "/B", "dir", "backup directory for replace runs",
              "The backup directory of a replace run: every changed file is first copied below it, "
              "and twundo.sh in the data directory gets a line that copies it back.",
              C::Directory, kBothPrograms},
    CliOption{K::ValueSwitch, "/T", "text",
              "touch: every selected file gets this date and time (\"DATE TIME\" in the\n"
              "locale's pictures) as its modification time; /t or /T alone: now",
              "Touch: every selected file gets this date and time (\"DATE TIME\" in the locale's date "
              "and time pictures) as its modification time. /T alone, or the flag letter t, uses the "
              "current time. Links are left alone.",
              C::None, kBothPrograms},
    CliOption{K::FlagLetter, "i", "", "case-insensitive", "Case-insensitive search.", C::None, kBothPrograms},
    CliOption{K::FlagLetter, "d", "", "subdirectories",
              "Searches the subdirectories too (those whose name starts with \".\" are never entered).",
              C::None, kBothPrograms},
    CliOption{K::FlagLetter, "w", "", "whole word", "Finds whole words only.", C::None, kBothPrograms},
    CliOption{K::FlagLetter, "x", "", "regular expression",
              "The search text is a regular expression of the program's line-oriented dialect, whose "
              "operators stand before their operand: ? one character, * any run within a line, "
              "+3[0-9] exactly three digits, !(text) not followed by text, ^ and $ line breaks, "
              "[a-z] sets, (a|b) alternatives.",
              C::None, kBothPrograms},
    CliOption{K::FlagLetter, "h", "", "ignore whitespace",
              "Ignores whitespace: every run of blanks in the search text matches one or more blanks, "
              "tabs or line breaks.",
              C::None, kBothPrograms},
    CliOption{K::FlagLetter, "t", "", "touch", "Touch, with the current time (see /T).", C::None, kBothPrograms},
    CliOption{K::FlagLetter, "r", "", "replace", "Replace mode (see /R).", C::None, kBothPrograms},
    CliOption{K::FlagLetter, "q", "", "close",
              "Closes after the run. The desktop program then runs unattended: its messages go to "
              "standard error, and it exits with the status tarnwick-cli gives.",
              C::None, kBothPrograms},
    CliOption{K::FlagLetter, "n", "", "no prompts",
              "No prompts: a replace run replaces every hit without asking.", C::None, kBothPrograms},
    CliOption{K::LongOption, "--recover", "",
              "put back every file whose rewrite was interrupted, from its copy",
              "Puts back every file whose rewrite was interrupted (the program or the machine died in "
              "the middle of it) from its safety copy, after checking that the copy is complete and is "
              "the very file recorded for it, and reports each one.",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--discard-recovery", "",
              "forget the interrupted rewrites and delete their safety copies",
              "Keeps the files whose rewrite was interrupted as they are, forgets them and deletes "
              "their safety copies (backups stay).",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--undo", "",
              "take back the latest replace run not yet taken back (each file\n"
              "only if it still holds what the run wrote)",
              "Takes back the latest replace run of the undo history that was not taken back yet: "
              "each of its files is written back in place, through the crash-safe rewrite, only when "
              "it still holds exactly what the run wrote; otherwise \"Not restored, changed since the "
              "replace: NAME\". Prints \"Restored NAME\" per file and \"Restored M of N file(s)\" last. "
              "Exit status 0 when every file was restored, 2 when any was not, 1 (\"Nothing to "
              "undo.\") when no run is left. The next --undo takes back the run before.",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--undo-list", "",
              "list the replace runs the undo history keeps, newest first",
              "Lists the replace runs the undo history keeps, newest first: date and time, search and "
              "replace texts, number of files, and whether the run was taken back. The history is "
              "bounded by the Undo Space setting (MB; 0 keeps none).",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--html", "FILE", "also write the run's results to FILE as an HTML page",
              "Also writes the run's results to FILE as an HTML page, once the run is over. A FILE that "
              "is one of the run's files or the output file refuses the command.",
              C::File, kCliProgram},
    CliOption{K::LongOption, "--threads", "N", "search with N worker threads (0: one per core; 1: one thread)",
              "Searches with N worker threads (0: one per core; 1: the run's own thread only), instead "
              "of the Threads setting. A replace run uses them with no prompts (/n) and no counters in its "
              "replace texts, and otherwise works on one thread, as a preview always does.",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--ignore-files", "",
              "skip the files and directories that git's ignore files ignore",
              "Skips the files and directories that git would ignore, by the .gitignore files of the "
              "tree and of the repository around it, .git/info/exclude and the global excludes file.",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--color", "=WHEN",
              "show file names and found texts in the File and String Colors: auto\n"
              "(the default: when standard output is a terminal), always or never",
              "Shows file names in the File Color and the found texts in the String Color of the "
              "settings, instead of the Before Hit and After Hit texts. WHEN is auto (the default: only "
              "when standard output is a terminal, TERM is not dumb and NO_COLOR is unset or empty), "
              "always or never. Output to a pipe or a file is never coloured by auto.",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--json", "",
              "print the results as JSON Lines: begin, match, end and summary\n"
              "messages; other lines go to standard error",
              "Prints the results as JSON Lines: one begin, match and end message per file and a "
              "summary message last, with the path, the line, its number, the byte offset and the "
              "found text's start and end in the line. Text that is not UTF-8 comes as base64 under "
              "\"bytes\". An archive member carries \"member\", a replace run's found text its "
              "\"replacement\", and a binary hit a null line number. Every other results line goes to "
              "standard error. Never coloured.",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--preview", "",
              "with a replace: change nothing, print what the replace would\n"
              "change as a patch (git apply -p1 in the start directory applies it);\n"
              "the run's lines go to standard error",
              "With a replace (/R, or a script with replace texts): runs the replace as it would run "
              "with no prompts, but changes nothing: no file, backup, undo line, recovery entry or "
              "output file is written. Standard output holds one unified diff of every change, one "
              "section per file with paths relative to the start directory, so git apply -p1 (or "
              "patch -p1) run there makes each text file what the replace would make it. The run's "
              "lines go to standard error, the last one \"Preview: N occurrences in M file(s) would "
              "be replaced\". Exit status 0 when something would change, 1 when nothing would, 2 on "
              "an error. Refused without a replace and together with --json.",
              C::None, kCliProgram},
    CliOption{K::LongOption, "--version", "", "print the program's version",
              "Prints the program's version and exits.", C::None, kCliProgram},
    CliOption{K::LongOption, "--help", "", "print this help",
              "Prints a summary of the options and exits.", C::None, kCliProgram, "-h"},
};

// Indentation of the help texts: a switch's text starts in column 12, a long option's
// in column 22, the flag letters' line wraps at 88 columns.
constexpr size_t kSwitchColumn = 12;
constexpr size_t kLongColumn = 22;
constexpr size_t kFlagLineWidth = 88;

std::string padded(std::string text, size_t width)
{
    if (text.size() + 1 > width)
        return text + ' ';
    text.resize(width, ' ');
    return text;
}

// `lines` ("\n" between them) after `lead`, each further line indented to the lead's width.
std::string hangingText(const std::string& lead, std::string_view lines)
{
    std::string out = lead;
    const std::string indent(lead.size(), ' ');
    for (char c : lines) {
        out += c;
        if (c == '\n')
            out += indent;
    }
    return out + '\n';
}

std::string withArgument(const CliOption& o)
{
    if (o.argument.empty() || o.argument[0] == '=')
        return std::string(o.name) + std::string(o.argument);
    return std::string(o.name) + ' ' + std::string(o.argument);
}

// "  /idwxhtrqn flag letters: i case-insensitive, ..." wrapped to the line width.
std::string flagLettersHelp()
{
    std::string out = "  /" + cliFlagLetters() + " flag letters:";
    size_t lineStart = 0;
    bool first = true;
    for (const CliOption& o : cliOptions()) {
        if (o.kind != K::FlagLetter)
            continue;
        const std::string word = std::string(o.name) + ' ' + std::string(o.help);
        if (!first)
            out += ',';
        // The comma that may follow counts against the width.
        if (!first && out.size() - lineStart + 1 + word.size() + 1 > kFlagLineWidth) {
            out += '\n';
            lineStart = out.size();
            out += std::string(kSwitchColumn, ' ');
        } else {
            out += ' ';
        }
        first = false;
        out += word;
    }
    return out + '\n';
}

} // namespace

std::span<const CliOption> cliOptions()
{
    return kRows;
}

std::string cliFlagLetters()
{
    std::string letters;
    for (const CliOption& o : kRows)
        if (o.kind == K::FlagLetter)
            letters += o.name;
    return letters;
}

std::string cliHelpText()
{
    std::string out =
        "Usage: tarnwick-cli [/S\"search\"] [/R\"replace\"] [/P path/mask] [/C script] [/O output] [/B backup] "
        "[/flags]\n"
        "Searches the files that match the masks below the path and prints every results line.\n";
    for (const CliOption& o : kRows)
        if (o.kind == K::ValueSwitch)
            out += hangingText(padded("  " + withArgument(o), kSwitchColumn), o.help);
    out += flagLettersHelp();
    out += "An empty search text lists the selected files.\n";
    for (const CliOption& o : kRows) {
        if (o.kind != K::LongOption)
            continue;
        std::string lead = "  " + withArgument(o);
        if (!o.alias.empty())
            lead = "  " + std::string(o.alias) + ", " + withArgument(o);
        out += hangingText(padded(lead, kLongColumn), o.help);
    }
    out += "Exit status: 0 found, 1 nothing found, 2 not run, stopped, a file error or unwritable output.\n";
    return out;
}

} // namespace tw
