// The shell completions of both programs, written from the options table: the "/"
// switches, the flag letters, the long options (tarnwick-cli only), and file names after
// the switches that name a file or a directory.
#include "app/CliOptions.h"

namespace tw {

namespace {

// The words a shell offers for `program`: "/S", "/i", "--html", ...
std::string words(unsigned program, bool longOptions)
{
    std::string out;
    for (const CliOption& o : cliOptions()) {
        if (!(o.programs & program))
            continue;
        if (o.kind == CliOptionKind::LongOption && !longOptions)
            continue;
        if (!out.empty())
            out += ' ';
        out += o.kind == CliOptionKind::FlagLetter ? "/" + std::string(o.name) : std::string(o.name);
    }
    return out;
}

// A shell pattern of the options completed with `kind` ("/P|/p|--html"); each "/" switch
// in both cases.
std::string namesCompleting(CliCompletion kind, std::string_view separator)
{
    std::string out;
    for (const CliOption& o : cliOptions()) {
        if (o.completion != kind)
            continue;
        std::string names(o.name);
        if (o.kind == CliOptionKind::ValueSwitch)
            names = std::string(o.name) + std::string(separator) + "/" + char(o.name[1] - 'A' + 'a');
        out += (out.empty() ? "" : std::string(separator)) + names;
    }
    return out;
}

// Single quotes for a shell, each inner quote closed, escaped and reopened.
std::string shellQuoted(std::string_view text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A help text's first clause, for a shell's list: "run a script file" of "run a script
// file (.tws): ...".
std::string shortHelp(std::string_view help)
{
    size_t end = help.find('\n');
    for (std::string_view stop : {"; ", " (", ": "}) {
        const size_t at = help.find(stop);
        if (at != std::string_view::npos && at >= 5 && at < end)
            end = at;
    }
    return std::string(help.substr(0, end));
}

// A shell pattern of every option that takes a value ("/S|/s|...|--html|--threads").
std::string namesTakingValues()
{
    std::string out;
    for (const CliOption& o : cliOptions()) {
        if (o.argument.empty())
            continue;
        std::string names(o.name);
        if (o.kind == CliOptionKind::ValueSwitch)
            names += "|/" + std::string(1, char(o.name[1] - 'A' + 'a'));
        out += (out.empty() ? "" : "|") + names;
    }
    return out;
}

std::string bashScript(std::string_view program, unsigned which)
{
    const std::string name(program);
    const std::string function = "_" + std::string(which == kCliProgram ? "tarnwick_cli" : "tarnwick");
    const std::string files = namesCompleting(CliCompletion::File, "|");
    const std::string dirs = namesCompleting(CliCompletion::Directory, "|");
    return "# bash completion for " + name + "\n" + function + "()\n{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\n"
           "    [ \"$COMP_CWORD\" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local words='" + words(which, which == kCliProgram) + "'\n"
           "    case $prev in\n"
           "        " + files + ")\n"
           "            compopt -o filenames 2>/dev/null\n"
           "            COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "            return ;;\n"
           "        " + dirs + ")\n"
           "            compopt -o filenames 2>/dev/null\n"
           "            COMPREPLY=($(compgen -d -- \"$cur\"))\n"
           "            return ;;\n"
           "    esac\n"
           "    case $cur in\n"
           "        -*|/|/?)\n"
           "            COMPREPLY=($(compgen -W \"$words\" -- \"$cur\")) ;;\n"
           "        *)\n"
           "            compopt -o filenames 2>/dev/null\n"
           "            COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n"
           "    esac\n"
           "}\n"
           "complete -F " + function + " " + name + "\n";
}

// _describe's entries: 'name:description'.
std::string zshEntries(unsigned program, bool longOptions)
{
    std::string out;
    for (const CliOption& o : cliOptions()) {
        if (!(o.programs & program) || (o.kind == CliOptionKind::LongOption && !longOptions))
            continue;
        const std::string name = o.kind == CliOptionKind::FlagLetter ? "/" + std::string(o.name) : std::string(o.name);
        out += "        " + shellQuoted(name + ":" + shortHelp(o.help)) + "\n";
    }
    return out;
}

std::string zshScript(std::string_view program, unsigned which)
{
    return "#compdef " + std::string(program) + "\n"
           "# zsh completion for " + std::string(program) + "\n"
           "local -a switches\n"
           "switches=(\n" + zshEntries(which, which == kCliProgram) + ")\n"
           "case ${words[CURRENT-1]} in\n"
           "    (" + namesCompleting(CliCompletion::File, "|") + ") _files; return ;;\n"
           "    (" + namesCompleting(CliCompletion::Directory, "|") + ") _files -/; return ;;\n"
           "esac\n"
           "if [[ $PREFIX == -* || $PREFIX == / || $PREFIX == /? ]]; then\n"
           "    _describe -t options option switches\n"
           "else\n"
           "    _files\n"
           "fi\n";
}

std::string fishScript(std::string_view program, unsigned which)
{
    std::string out = "# fish completion for " + std::string(program) + "\n"
                      "function __tarnwick_after --argument-names pattern\n"
                      "    set -l tokens (commandline -opc)\n"
                      "    string match -qr -- $pattern $tokens[-1]\n"
                      "end\n";
    const std::string files = "'__tarnwick_after \"^(" + namesCompleting(CliCompletion::File, "|") + ")\\$\"'";
    const std::string dirs = "'__tarnwick_after \"^(" + namesCompleting(CliCompletion::Directory, "|") + ")\\$\"'";
    {
        const std::string c = "complete -c " + std::string(program);
        out += c + " -n " + files + " -F\n";
        out += c + " -n " + dirs + " -f -a '(__fish_complete_directories)'\n";
        // No option is offered where a value is due.
        const std::string noValueDue = " -n 'not __tarnwick_after \"^(" + namesTakingValues() + ")\\$\"'";
        for (const CliOption& o : cliOptions()) {
            if (!(o.programs & which))
                continue;
            const std::string d = " -d " + shellQuoted(shortHelp(o.help));
            if (o.kind == CliOptionKind::LongOption)
                out += c + " -l " + std::string(o.name.substr(2)) + (o.argument.empty() ? "" : " -r") +
                       (o.completion == CliCompletion::File ? " -F" : "") + d + "\n";
            else
                out += c + noValueDue + " -a " +
                       shellQuoted(o.kind == CliOptionKind::FlagLetter ? "/" + std::string(o.name) : std::string(o.name)) +
                       d + "\n";
        }
    }
    return out;
}

} // namespace

std::string completionScript(std::string_view shell, std::string_view program)
{
    const unsigned which = program == "tarnwick-cli" ? kCliProgram : kDesktopProgram;
    if (shell == "bash")
        return bashScript(program, which);
    if (shell == "zsh")
        return zshScript(program, which);
    if (shell == "fish")
        return fishScript(program, which);
    return {};
}

} // namespace tw
