#pragma once
// The results of a run as JSON Lines: one "begin" and one "end" message around each file's
// lines, one "match" message per hit line and a "summary" message with the run's counts.
// The messages follow a common line-oriented search format, so tools that read it read
// these; beyond it an archive member carries "member", a replaced hit's submatch carries
// "replacement" and a hit in a binary file has "line_number": null. Lines that are no
// part of the format (errors, counts, summary texts) go aside, to another stream.
#include "results/ResultsList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tw {

// The counts of a run for the summary message.
struct JsonRunTotals {
    long searches = 0;          // files and members searched
    long searchesWithMatch = 0; // of those, the ones with hits
    long matches = 0;           // hits counted
    long replacements = 0;
    long filesReplaced = 0;
    long fileErrors = 0;
    long filesListed = 0; // a file listing
    long directories = 0;
    int64_t elapsedNanos = 0; // 0 when not known
};

class JsonResultsView final : public ResultsView {
public:
    // `write` takes one message with its LF and says whether it was written; after the
    // first failure nothing more is offered to it. `aside` takes the plain text of a line
    // that has no message.
    using Writer = std::function<bool(std::string_view)>;
    using Aside = std::function<void(std::string_view)>;
    JsonResultsView(Writer write, Aside aside) : m_write(std::move(write)), m_aside(std::move(aside)) {}

    void appendLine(const ResultEntry& entry) override;
    // Writes what is still waiting (the last match, the last file's end) and the summary.
    void finish(const JsonRunTotals& totals);
    bool failed() const { return m_failed; }
    // Whether any line came (a run whose lines went to an output file shows none).
    bool showedLines() const { return m_showedLines; }

private:
    void beginFile(const std::string& path, const std::string& archivePath);
    void endFile();
    // The waiting hit line as a match message; `replacement` (when not null) is the text
    // that took the hit's place.
    void writeMatch(const std::string* replacement);
    void appendPath(std::string& out) const;
    // The stats object of a file or of the run.
    static void appendStats(std::string& out, long matchedLines, long matches, long searches, long withMatch,
                            int64_t nanos, uint64_t bytesPrinted);
    void send();

    Writer m_write;
    Aside m_aside;
    bool m_failed = false;
    bool m_showedLines = false;
    std::string m_line;  // the message being written; its capacity is reused
    std::string m_plain; // a line's plain text on its way aside
    // The file whose lines come now: m_inFile between its begin and end messages.
    bool m_inFile = false;
    std::string m_path, m_archivePath;
    long m_fileMatches = 0;
    bool m_fileListed = false;      // the file came from a file listing
    uint64_t m_fileBytesBefore = 0; // m_bytesPrinted when its begin message was written
    // A hit line waits for the line after it, which may be its replacement. Set only while
    // m_inFile.
    bool m_matchWaiting = false;
    ResultEntry m_match;
    long m_matchedLines = 0;
    uint64_t m_bytesPrinted = 0; // bytes of the messages written

};

} // namespace tw
