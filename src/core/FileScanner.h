#pragma once
// Searches one input for one search/replace pair: reads it forwards in blocks whose
// overlap stays in memory, asks the pair's matcher for the hits, turns them into hit lines
// and, in replace mode, streams the replaced copy to an output file so that every input
// byte is either copied or replaced exactly once.
#include "core/ByteSource.h"
#include "core/PageAlignedBytes.h"
#include "core/RunHost.h"
#include "engine/Matcher.h"
#include "core/PreparedPair.h"
#include "platform/FileSystem.h"
#include "results/ResultStream.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// Hits and replacements of one pair, or of all pairs, in one file.
struct PairCounts {
    long hits = 0;
    long replacements = 0;
};

// A pair as a run uses it: a matcher for a searching pair, none for a special operation.
struct ActivePair {
    SpecialOp special = SpecialOp::None;
    int reformatColumns = 0;
    std::unique_ptr<Matcher> matcher; // null for a special operation
    std::string replaceText;          // fixed replace bytes (file tokens expanded per file)
};

// Per-file state shared by the pairs of one file.
struct FileState {
    std::string path;             // an archive member: its name in the archive
    std::string archivePath;      // the archive that holds the member; empty for plain files
    bool binary = false;          // decided on the first block of the first pair
    bool reformatted = false;     // a reformat wrote the whole output
    bool utf16 = false;           // a pair's scan decoded it from UTF-16
    int64_t sizeChange = 0;       // (search length - replace length) over replacements written
    std::vector<PairCounts> pairCounts; // per pair, in request order

    // The one place where hits and replacements are counted.
    void countHit(size_t pair) { ++pairCounts[pair].hits; }
    void countReplacement(size_t pair) { ++pairCounts[pair].replacements; }
    // All pairs together.
    PairCounts totals() const
    {
        PairCounts sum;
        for (const PairCounts& c : pairCounts) {
            sum.hits += c.hits;
            sum.replacements += c.replacements;
        }
        return sum;
    }
};

// What a replace scan needs: where the output goes and who decides each hit.
class ReplaceHooks {
public:
    virtual ~ReplaceHooks() = default;
    virtual File& output() = 0;
    // False while the rest of the file is skipped: hits are then neither shown nor replaced.
    virtual bool hitVisible() = 0;
    // Decides whether the hit is replaced; may set the stop flag.
    virtual bool decideHit(FileState& file, const std::string& hitLine, const std::string& replaceText) = 0;
    // The replacement written next, `size` bytes, stands for the input bytes
    // [offset, offset + length). Outputs that transform the text need to know.
    virtual void replacing(int64_t offset, size_t length, size_t size)
    {
        (void)offset;
        (void)length;
        (void)size;
    }
    // True when the output follows the replacements announced through `replacing`: the
    // scan then writes everything before a replacement out first, so that the output
    // deals with each one at once instead of keeping a record per hit.
    virtual bool tracksReplacements() { return false; }
    // After a replacement ("One hit" skips the rest of the file).
    virtual void replaced() = 0;
    // Reports a write failure on the output (sets the stop flag).
    virtual void writeFailed(const FileState& file, bool whileWritingReplacement) = 0;
};

struct ScanSettings {
    size_t blockSize = 102400;
    int maxDisplayChars = 512;
    bool showHitLines = true;        // "Show_Files"
    bool displayReplaceString = false;
    bool stopAfterFirstHit = false;  // "One hit"
};

// WriteFailed: only from copy(); the scan reports its own write failures through the
// hooks. Abandoned: the file was given up and its error already reported.
enum class ScanOutcome { Done, ReadError, WriteFailed, Abandoned, Stopped };

class FileScanner {
public:
    FileScanner(const ScanSettings& settings, ResultStream& results, RunHost& host, std::atomic<bool>& stop);

    // Scans `in` from its current position to its end for pair number `pairIndex`.
    // `firstPair` decides binary detection. With `hooks` the replaced text is written to
    // hooks->output().
    ScanOutcome scan(ByteSource& in, ActivePair& pair, size_t pairIndex, FileState& file, bool firstPair,
                     ReplaceHooks* hooks);

    // Grows the block as a scan for `pair` does first and gives its size: a search that
    // leaves out a scan calls it in its place, so that the blocks of every later scan (and
    // so the share of a file's start that decides whether it is binary) stay those of the
    // run that scans every pair.
    size_t prepareBlock(const ActivePair& pair);

    // Copies the rest of `in` to `out` unchanged (around a special operation).
    ScanOutcome copy(ByteSource& in, File& out);

private:
    // The steps of scan(), sharing the state of one scan.
    struct ScanState;
    enum class HitStep { Next, EndScan, Stop };
    // A hit line's bytes on each side of its hit, and one more.
    size_t displayBytes() const { return static_cast<size_t>(std::max(m_settings.maxDisplayChars, 1)) + 1; }
    bool searchBlock(ScanState& s, MatchResult& found, bool& endScan);
    HitStep takeHit(ScanState& s, const MatchResult& found);
    void showHit(ScanState& s, size_t hitStart, size_t hitLen, int64_t hitAbs);
    bool replaceHit(ScanState& s, int64_t hitAbs, size_t hitLen, const std::string& replaceText);
    bool keepOverlap(ScanState& s, const MatchResult& found);
    void passZeros(ScanState& s);
    void countLinesTo(ScanState& s, int64_t absEnd);
    bool writeInput(ScanState& s, int64_t absEnd);
    bool appendOutput(ScanState& s, const void* data, size_t size, bool isReplacement);
    bool flushOutput(ScanState& s, bool replacementInside);

private:
    ScanSettings m_settings;
    ResultStream& m_results;
    RunHost& m_host;
    std::atomic<bool>& m_stop;
    PageAlignedBytes m_buffer; // one block; reused for every block of every file
    std::string m_outBuffer;       // replace mode: output not yet written (below kOutputChunk)
    ResultEntry m_hit;             // the current hit line; refilled for every hit, so its
                                   // strings keep their capacity and a hit allocates nothing
    static constexpr size_t kOutputChunk = 65536;
};

} // namespace tw
