#pragma once
// The command-line front end's side of a run: messages and progress on standard error,
// questions answered by one line of standard input, results lines on standard output.
#include "core/RunHost.h"
#include "results/ResultsList.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace tw {

class CliHost final : public RunHost {
public:
    CliHost(std::FILE* in, std::FILE* err);
    void message(const std::string& text, bool suppressedByQuiet) override;
    Answer ask(Question kind, const std::string& text, const HeldBackLines& detail) override;
    void progress(const std::string& text) override;
    bool showsProgress() const override { return m_errIsTerminal; }
    // Texts that stand for the hit markers in questions.
    void setHitTexts(std::string before, std::string after)
    {
        m_before = std::move(before);
        m_after = std::move(after);
    }

private:
    std::string m_before = "<", m_after = ">";
    std::FILE* m_in;
    std::FILE* m_err;
    bool m_errIsTerminal;
    size_t m_progressWidth = 0; // characters of the progress text now on the terminal line
};

// Maps the first character of an answer line to the answer for a question kind; lines
// that pick nothing (and end of input) answer Cancel, or No where there is no Cancel.
Answer answerFromLine(Question kind, const std::string* line);

// Writes each shown results line in its output form to a stream, one per line.
class StreamResultsView final : public ResultsView {
public:
    StreamResultsView(std::FILE* out, std::string beforeHit, std::string afterHit)
        : m_out(out), m_before(std::move(beforeHit)), m_after(std::move(afterHit))
    {
    }
    void appendLine(const ResultEntry& entry) override;
    // Shows file names and found texts in these colours (SGR sequences, see
    // sgrForeground) instead of the before/after texts.
    void setColours(std::string nameColour, std::string hitColour)
    {
        m_nameColour = std::move(nameColour);
        m_hitColour = std::move(hitColour);
        m_coloured = true;
    }
    // Writes `text` as it is; false when the write failed (now or before).
    bool write(std::string_view text);
    // A write to the stream failed; nothing more is written to it.
    bool failed() const { return m_failed; }
    // Called once, on the thread that delivers the lines, when a write first fails.
    void setOnFailure(std::function<void()> onFailure) { m_onFailure = std::move(onFailure); }

private:
    std::FILE* m_out;
    bool m_failed = false;
    std::function<void()> m_onFailure;
    std::string m_before, m_after;
    bool m_coloured = false;
    std::string m_nameColour, m_hitColour;
    std::string m_line; // the line being written; kept so its capacity is reused
};

} // namespace tw
