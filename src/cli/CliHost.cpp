#include "cli/CliHost.h"

#include "results/ResultText.h"

#include <cctype>
#include <unistd.h>

namespace tw {

CliHost::CliHost(std::FILE* in, std::FILE* err)
    : m_in(in), m_err(err), m_errIsTerminal(::isatty(::fileno(err)) == 1)
{
}

void CliHost::message(const std::string& text, bool /*suppressedByQuiet*/)
{
    progress("");
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
}

void CliHost::progress(const std::string& text)
{
    if (!m_errIsTerminal)
        return;
    // Overwrite the previous progress text in place.
    std::string line = "\r" + text;
    if (text.size() < m_progressWidth)
        line += std::string(m_progressWidth - text.size(), ' ') + "\r" + text;
    m_progressWidth = text.size();
    std::fputs(line.c_str(), m_err);
    if (text.empty())
        std::fputs("\r", m_err);
    std::fflush(m_err);
}

Answer answerFromLine(Question kind, const std::string* line)
{
    const char c = (line && !line->empty()) ? static_cast<char>(std::tolower(static_cast<unsigned char>((*line)[0]))) : 0;
    switch (kind) {
    case Question::YesNo:
        return c == 'y' ? Answer::Yes : Answer::No;
    case Question::YesNoCancel:
        return c == 'y' ? Answer::Yes : c == 'n' ? Answer::No : Answer::Cancel;
    case Question::ReadOnly:
        return c == 'y' ? Answer::Yes : c == 'a' ? Answer::YesToAll : c == 'n' ? Answer::No : Answer::Cancel;
    case Question::ReplaceHit:
        switch (c) {
        case 'r': return Answer::ReplaceThis;
        case 's': return Answer::ReplaceRestInFile;
        case 'a': return Answer::ReplaceAllRemaining;
        case 'd': return Answer::ReplaceRestInDir;
        case 'k': return Answer::SkipThis;
        case 'f': return Answer::SkipRestOfFile;
        case 't': return Answer::SkipRestInDir;
        default: return Answer::CancelRemaining;
        }
    }
    return Answer::Cancel;
}

Answer CliHost::ask(Question kind, const std::string& text, const HeldBackLines& /*detail*/)
{
    // The question line already shows the hit in its context; the file's earlier lines
    // (the detail) are left out to keep the terminal readable, and are never read.
    progress("");
    std::fprintf(m_err, "%s\n", outputForm(text, m_before, m_after).c_str());
    switch (kind) {
    case Question::YesNo: std::fputs("[y]es, [n]o? ", m_err); break;
    case Question::YesNoCancel: std::fputs("[y]es, [n]o, [c]ancel? ", m_err); break;
    case Question::ReadOnly: std::fputs("[y]es, yes to [a]ll, [n]o, [c]ancel? ", m_err); break;
    case Question::ReplaceHit:
        std::fputs("[r]eplace this, repl. re[s]t in file, repl. [a]ll remaining, repl. rest in [d]ir, "
                   "s[k]ip this, skip rest of [f]ile, skip res[t] in dir, [c]ancel remaining? ",
                   m_err);
        break;
    }
    std::fflush(m_err);
    std::string line;
    int ch;
    bool got = false;
    while ((ch = std::fgetc(m_in)) != EOF) {
        got = true;
        if (ch == '\n')
            break;
        line += static_cast<char>(ch);
    }
    return answerFromLine(kind, got ? &line : nullptr);
}

void StreamResultsView::appendLine(const ResultEntry& entry)
{
    if (m_failed)
        return;
    m_line.clear();
    if (m_coloured)
        appendColouredForm(m_line, entry.text, m_nameColour, m_hitColour);
    else
        appendOutputForm(m_line, entry.text, m_before, m_after);
    m_line.push_back('\n');
    write(m_line);
}

bool StreamResultsView::write(std::string_view text)
{
    if (m_failed)
        return false;
    if (std::fwrite(text.data(), 1, text.size(), m_out) == text.size())
        return true;
    m_failed = true;
    if (m_onFailure)
        m_onFailure();
    return false;
}

} // namespace tw
