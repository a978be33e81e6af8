// The manual pages tarnwick-cli(1) and tarnwick(1), written from the options table.
#include "app/CliOptions.h"

namespace tw {

namespace {

// Plain text as roff: backslashes and hyphens escaped, a line that would start with a
// control character protected.
std::string roff(std::string_view text)
{
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

// A macro argument: quoted, its quotes written as \(dq.
std::string roffArgument(std::string_view text)
{
    std::string out = "\"";
    for (char c : roff(text)) {
        if (c == '"')
            out += "\\(dq";
        else
            out += c;
    }
    return out + '"';
}

// A help text's lines joined into one sentence.
std::string oneLine(std::string_view help)
{
    std::string out(help);
    for (char& c : out)
        if (c == '\n')
            c = ' ';
    return out;
}

std::string optionEntries(CliOptionKind kind, unsigned program)
{
    std::string out;
    for (const CliOption& o : cliOptions()) {
        if (o.kind != kind || !(o.programs & program))
            continue;
        out += ".TP\n";
        std::string name = roffArgument(o.name);
        if (!o.alias.empty())
            name = roffArgument(std::string(o.alias) + ", " + std::string(o.name));
        if (o.argument.empty())
            out += ".B " + name + "\n";
        else
            out += ".BI " + name + " " +
                   roffArgument((o.argument[0] == '=' ? "" : " ") + std::string(o.argument)) + "\n";
        out += roff(o.manText.empty() ? oneLine(o.help) : std::string(o.manText)) + "\n";
    }
    return out;
}

// An example: its description, then the command in a literal block.
std::string example(std::string_view what, std::string_view command)
{
    return ".PP\n" + roff(what) + "\n.PP\n.RS\n.nf\n" + roff(command) + "\n.fi\n.RE\n";
}

std::string commonFiles(bool cli)
{
    std::string out = ".SH FILES\n"
                      ".TP\n.I $XDG_CONFIG_HOME/Pellworth Software Inc./TW32.conf\n" +
                      roff("The settings (options, saved flags and texts), shared by both programs; "
                           "~/.config/Pellworth Software Inc./TW32.conf when XDG_CONFIG_HOME is not set.") +
                      "\n.TP\n.I $XDG_DATA_HOME/tarnwick/\n" +
                      roff("The data directory (~/.local/share/tarnwick/ when XDG_DATA_HOME is not set), "
                           "created on first use.") +
                      "\n.TP\n.I $XDG_DATA_HOME/tarnwick/twundo.sh\n" +
                      roff("The undo script of the last replace run with a backup directory: one cp -p line "
                           "per changed file, which copies the backup back. Run it with sh.") +
                      "\n.TP\n.I $XDG_DATA_HOME/tarnwick/recovery.list\n" +
                      roff("The files being rewritten, with their safety copies in safety/ beside it. An "
                           "entry left by a crash keeps its file from being replaced again until ") +
                      (cli ? std::string("\\fB\\-\\-recover\\fR or \\fB\\-\\-discard\\-recovery\\fR decides.")
                           : std::string("the recovery dialog, or tarnwick\\-cli \\fB\\-\\-recover\\fR or "
                                         "\\fB\\-\\-discard\\-recovery\\fR, decides.")) +
                      "\n";
    if (!cli)
        out += ".TP\n.I $XDG_DATA_HOME/tarnwick/TWLANG.DLL\n" +
               roff("The language file: UTF-8 text, first line version=a.b.c.d, then identifier, tab, text "
                    "lines that replace the window's texts.") +
               "\n";
    return out;
}

std::string environment()
{
    return ".SH ENVIRONMENT\n.TP\n.B XDG_CONFIG_HOME\n" +
           roff("Where the settings file is kept (default ~/.config).") +
           "\n.TP\n.B XDG_DATA_HOME\n" + roff("Where the data directory is (default ~/.local/share).") +
           "\n.TP\n.B HOME\n" + roff("The home directory: the defaults above, and \"~/\" in path fields.") +
           "\n.TP\n.B NO_COLOR\n" + roff("When set to a non-empty value, nothing is written in colour.") + "\n";
}

std::string exitStatus(bool cli)
{
    std::string out = ".SH EXIT STATUS\n";
    if (!cli)
        out += roff("Only with the flag letter q, when the window closes after the run, as tarnwick-cli:") + "\n";
    return out + ".TP\n.B 0\n" + roff("Something was found (or, when listing files, at least one file was listed).") +
           "\n.TP\n.B 1\n" + roff("Nothing was found.") + "\n.TP\n.B 2\n" +
           roff("The command did not run (its inputs were refused, a pattern did not compile), was stopped "
                "or cancelled, met a file error, or could not write its output.") +
           "\n";
}

std::string cliBody()
{
    return ".SH SYNOPSIS\n.B tarnwick\\-cli\n" + roff("[/S\"search\"] [/R\"replace\"] [/P path/mask] [/C script] "
                                                     "[/O output] [/B backup] [/flags] [--long-options]") +
           "\n.SH DESCRIPTION\n" +
           roff("tarnwick-cli searches the files that match the masks below the path, and optionally replaces "
                "the text it finds, unattended. Every results line goes to standard output (file lines, hit "
                "lines with their line number or byte offset, per-file counts and the summary); messages go "
                "to standard error. Questions of a replace run are asked on standard error and answered by "
                "one line on standard input. The arguments are joined into one command line: every \"/\" "
                "starts a switch, a value switch takes the value after it (attached or as the next "
                "argument), and any other \"/\" starts a run of flag letters, in either case.") +
           "\n";
}

std::string desktopBody()
{
    return ".SH SYNOPSIS\n.B tarnwick\n" +
           roff("[/S\"search\"] [/R\"replace\"] [/P path/mask] [/C script] [/O output] [/B backup] [/flags]") +
           "\n.SH DESCRIPTION\n" +
           roff("tarnwick opens a window to find, and optionally replace, text across many files: plain "
                "text, a regular expression of its own dialect, or binary blocks written with backslash "
                "escapes. A command line fills the window's boxes and flags; the command it asks for "
                "(Search with /S, Replace with /R, Touch with /T) runs once the window is up. With the flag "
                "letter q the window closes after that run, no message box opens (the texts go to standard "
                "error) and the program exits with the status tarnwick-cli gives.") +
           "\n";
}

std::string examples(bool cli)
{
    const std::string p = cli ? "tarnwick-cli" : "tarnwick";
    std::string out = ".SH EXAMPLES\n";
    out += example("Every PM_RESUME in a tree, with subdirectories (quote the masks, so the shell does not "
                   "expand them):",
                   p + " /S\"PM_RESUME\" /P \"/usr/src/linux/*.c;*.h\" /d");
    out += example("A case-insensitive whole-word search, leaving out the tests:",
                   p + " /S\"spin_lock\" /P \"/usr/src/linux/*.c;~test*.c\" /diw");
    out += example("Replace without questions, with backups and an undo script, then undo it:",
                   p + " /S\"static\" /R\"STATIC\" /P ~/copy/\"*.c\" /d /n /B ~/backup\n"
                       "sh ~/.local/share/tarnwick/twundo.sh");
    out += example(cli ? "Put back the files whose rewrite a crash interrupted:"
                       : "Put back the files whose rewrite a crash interrupted (the window offers it too):",
                   "tarnwick-cli --recover");
    if (cli) {
        out += example("Write the results as an HTML page too, skipping what git ignores:",
                       "tarnwick-cli /S\"TODO\" /P ~/project/\"*.*\" /d --ignore-files --html /tmp/todo.html");
    } else {
        out += example("Open the window on a folder, as a file manager does:", "tarnwick /P ~/project");
    }
    return out;
}

} // namespace

std::string manPage(std::string_view program, std::string_view version)
{
    const bool cli = program == "tarnwick-cli";
    const unsigned which = cli ? kCliProgram : kDesktopProgram;
    std::string out = ".TH " + roff(cli ? "TARNWICK-CLI" : "TARNWICK") + " 1 \"\" " +
                      roffArgument("Tarnwick " + std::string(version)) + " \"User Commands\"\n";
    out += ".SH NAME\n" + roff(program) +
           (cli ? " \\- find and replace text across many files from the command line\n"
                : " \\- find and replace text across many files\n");
    out += cli ? cliBody() : desktopBody();
    out += ".SH OPTIONS\n.SS Switches\n";
    out += roff("A value that holds spaces is quoted; \\\" is a quote inside quotes. Either case of the "
                "letter works.") + "\n";
    out += optionEntries(CliOptionKind::ValueSwitch, which);
    out += ".SS Flag letters\n" +
           roff("One \"/\" followed by any of the letters " + cliFlagLetters() + ", in either case, as in /diw.") +
           "\n";
    out += optionEntries(CliOptionKind::FlagLetter, which);
    if (cli)
        out += ".SS Long options\n" + roff("They may stand anywhere among the switches.") + "\n" +
               optionEntries(CliOptionKind::LongOption, which);
    out += exitStatus(cli) + environment() + commonFiles(cli) + examples(cli);
    out += ".SH SEE ALSO\n";
    out += cli ? ".BR tarnwick (1)\n" : ".BR tarnwick\\-cli (1)\n";
    return out;
}

} // namespace tw
