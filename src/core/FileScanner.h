#pragma once
// Searches one file for one search/replace pair: reads it in blocks that overlap so that
// no hit is lost at a block boundary, finds the hits, turns them into hit lines and, in
// replace mode, streams the replaced copy to an output file so that every input byte is
// either copied or replaced exactly once.
#include "core/RunHost.h"
#include "core/SearchRequest.h"
#include "engine/LiteralMatcher.h"
#include "platform/FileSystem.h"
#include "results/ResultSink.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class SrchPattern;

// Special operations of a replace pair; they do not search.
enum class SpecialOp { None, Append, Prepend, Reformat };

// A pair as the scanner uses it during a run: at most one of `literal` and `pattern` is
// set; a special operation has neither.
struct ActivePair {
    SpecialOp special = SpecialOp::None;
    int reformatColumns = 0;
    std::unique_ptr<LiteralMatcher> literal;
    SrchPattern* pattern = nullptr; // owned by the prepared pair for the whole run
    size_t patternLength = 0;       // length of the pattern text: the hit length assumed before a hit
    std::string replaceText;        // replace bytes; literal pairs get file tokens expanded per file
    long hitsInFile = 0;
    long replacementsInFile = 0;
};

// Per-file state shared by the pairs of one file.
struct FileState {
    std::string path;
    bool binary = false;          // decided on the first block of the first pair
    bool reformatted = false;     // a reformat wrote the whole output
    int64_t sizeChange = 0;       // (search length - replace length) over replacements written
    long hits = 0;                // all pairs
    long replacements = 0;        // all pairs
};

// What a replace run supplies: where the output goes, who decides each hit, and the
// special operations.
class ReplaceHooks {
public:
    enum class Step { Continue, Finished, Abandon, Stop };
    virtual ~ReplaceHooks() = default;
    virtual File& output() = 0;
    // False while the rest of the file is skipped: hits are then neither shown nor replaced.
    virtual bool hitVisible() = 0;
    // Decides whether the hit is replaced; may set the stop flag.
    virtual bool decideHit(FileState& file, const std::string& hitLine, const std::string& replaceText) = 0;
    // After a replacement ("One hit" skips the rest of the file).
    virtual void replaced() = 0;
    // Reports a write failure on the output (sets the stop flag).
    virtual void writeFailed(const FileState& file, bool whileWritingReplacement) = 0;
    // Prepend or reformat before the first block; Finished: the output is complete.
    virtual Step beforeFirstBlock(FileState& file, ActivePair& pair, File& input) = 0;
    // Append at the end of the input.
    virtual Step atEnd(FileState& file, ActivePair& pair) = 0;
    // The pair is done (restores what beforeFirstBlock changed).
    virtual void endPair() = 0;
};

struct ScanSettings {
    size_t blockSize = 102400;
    int maxDisplayChars = 512;
    bool showHitLines = true;        // "Show_Files"
    bool displayReplaceString = false;
    bool stopAfterFirstHit = false;  // "One hit"
};

enum class ScanOutcome { Done, SeekError, ReadError, Stopped };

class FileScanner {
public:
    FileScanner(const ScanSettings& settings, ResultSink& results, RunHost& host, std::atomic<bool>& stop);

    // Scans `in` from its start for `pair`. `firstPair` decides binary detection.
    // With `hooks` the replaced text is written to hooks->output().
    ScanOutcome scan(File& in, ActivePair& pair, FileState& file, bool firstPair, ReplaceHooks* hooks);

    // Grows the read buffer so that a hit of `extent` bytes always fits in one block.
    void reserveFor(size_t extent);

private:
    ScanOutcome runSpecial(File& in, ActivePair& pair, FileState& file, ReplaceHooks& hooks);

    ScanSettings m_settings;
    ResultSink& m_results;
    RunHost& m_host;
    std::atomic<bool>& m_stop;
    std::vector<uint8_t> m_buffer; // one block; reused for every block of every file
    std::string m_outBuffer;       // replace mode: output not yet written (below kOutputChunk)
    static constexpr size_t kOutputChunk = 65536;
};

} // namespace tw
