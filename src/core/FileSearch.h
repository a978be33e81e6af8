#pragma once
// The work on one file or archive member, on the thread that scans it: every pair of the
// run over the file (search; replace to a temporary file; the special operations prepend,
// append and reformat), with the counters and fate written to a FileReport. This is the
// one pair loop of a run: the run on one thread and each worker of a threaded search own a
// FileSearch with its own scanner and matchers.
//
// A FileSearch touches nothing of the run directly: lines, messages, progress and counts
// go through its Lane, which leads either straight to the run's results list, host and
// counters (the run's own thread) or into a worker's ResultRecorder, replayed in file
// order on the run's thread. After each archive member the report is handed on through the
// lane too (to the RunLedger, or recorded for it); after a file the caller hands it on.
//
// A search run with several pairs reads each file once (PairScreen): the first pair that
// reads the file reads it whole, keeping it in memory up to kKeptFileBytes, while the
// screen learns which literal pairs can hit it. A pair that cannot hit the file is not
// scanned (it keeps 0 hits, as its scan would give); the others scan the kept bytes, or the
// file again when it was too large to keep. A file whose first read fails is scanned pair
// by pair from the file, as without the screen, so its error comes where it always did.
//
// Archives: each is opened once. A member is read from the archive once: with more than one
// searching pair its bytes are kept while the first pair reads them (KeptBytes: memory up
// to a bound, beyond it an unnamed temporary file; holes and read errors kept as well) and
// every later pair reads them there.
#include "core/FileReport.h"
#include "core/FileScanner.h"
#include "core/HashedOutput.h"
#include "core/KeptBytes.h"
#include "core/Lane.h"
#include "core/ListWalk.h"
#include "core/PairScreen.h"
#include "core/RunHost.h"
#include "core/RunPlan.h"
#include "platform/ArchiveReader.h"
#include "platform/FileSystem.h"
#include "results/HeldBackStore.h"
#include "results/ResultStream.h"
#include "select/MemberSelection.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class ConfirmationState;
class ReplaceOutputs;
class ReplaceWriter;

// The replace side of a run, which a FileSearch of a replace run uses: the confirmation
// state, the temporary outputs, the file's held-back lines (shown with the per-hit
// question) and where a failed write to an output ends the run. On the run's thread these
// are the run's own (the writer's outputs, the run's stop flag); a worker of a threaded
// replace, which never asks, has its own confirmation state and outputs, no held-back
// lines, and a flag of its own that the run's thread takes with the file's report.
struct ReplaceSide {
    ConfirmationState& confirmation;
    HeldBackStore* held = nullptr;       // null on a worker
    ReplaceWriter* writer = nullptr;     // the outputs on the run's thread; or
    ReplaceOutputs* outputs = nullptr;   // a worker's own
    std::atomic<bool>* writeFailure = nullptr; // null: the run's stop flag

    File* tempFile(int index) const;
};

class FileSearch {
public:
    // `replace` is set exactly for replace runs.
    FileSearch(const RunPlan& plan, const Lane& lane, FileSystem& fs, std::atomic<bool>& stop,
               const ReplaceSide* replace);
    ~FileSearch();
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    // File number `k` of the list, `path`, one of `total` files found so far (`complete`:
    // the walk has ended, and they are all). `report` is written over (its storage is
    // reused from file to file).
    void searchFile(size_t k, std::string_view path, size_t total, bool complete, FileReport& report);
    // Archive number `index` of the plan: its selected members in order, each report
    // handed on through the lane. False when the run is to end.
    bool searchArchive(size_t index, FileReport& report);
    // Sets the cursor files are opened through (made on the searching thread).
    void setCursor(DirectoryCursor* cursor) { m_lane.cursor = cursor; }

private:
    class ReplaceHooksImpl;
    struct MemberRead;
    struct PreviewChanges;
    // A preview: pair `pi` records its replacements; once it is done they are composed
    // with the file's spans so far. False when they could not be kept.
    void beginPairChanges(size_t pi, FileReport& report);
    [[nodiscard]] bool endPairChanges(size_t pi, const ActivePair& pair, FileReport& report);
    // Matchers of this thread's own over the plan's read-only patterns.
    void makePairs();
    // The one pair loop; scanPair(pi) runs pair `pi` over the input.
    template <class ScanPair>
    void runPairs(FileReport& report, ScanPair&& scanPair);
    // Literal pairs whose texts name the file get them expanded for it.
    void expandFileTokens(size_t pairIndex, const std::string& path);
    // Pair `pi` needs to read the input of a search run (not a special operation, nor an
    // empty literal).
    bool readsInput(size_t pi) const;
    ScanOutcome scanFilePair(size_t pi, File& in, FileReport& report);
    // Pair `pi` of a replace run writes its output through m_outputHash.
    bool hashesOutput(size_t pi, const FileReport& report) const;
    // A search run's pair over a file read once for all pairs (see above).
    struct FileRead;
    ScanOutcome scanScreenedPair(size_t pi, File& in, FileReport& report, FileRead& read);
    ScanOutcome readOnce(File& in, FileReport& report, FileRead& read);
    void keepRoomFor(size_t size);
    // Pair 0 left out: the file is binary as its scan would have found.
    void detectBinaryUnscanned(const FileRead& read, FileReport& report);
    ScanOutcome scanMemberPair(size_t pi, MemberRead& read, FileReport& report);
    // The error line of a member that could not be read (from the archive, or kept).
    void memberReadError(const MemberRead& read);
    // A write to the temporary output failed (its error line is out): the run ends.
    void endRunOnWriteFailure();
    ScanOutcome applySpecialOperation(size_t pairIndex, File& input, FileState& file, File& output);
    void searchMember(ArchiveReader& reader, const ArchiveMember& member, const std::string& archivePath,
                      const std::string& progressText, FileReport& report);

    const RunPlan& m_plan;
    Lane m_lane;
    FileSystem& m_fs;
    std::atomic<bool>& m_stop;
    const ReplaceSide* m_replace;           // null in search runs
    std::unique_ptr<ReplaceHooksImpl> m_hooks; // replace runs
    std::unique_ptr<PreviewChanges> m_changes; // previews: where the file changes
    HashedOutput m_outputHash;              // bound to the last pair's output when hashing
    FileScanner m_scanner;
    std::vector<ActivePair> m_pairs;        // per pair: the plan's prepared pair made ready to scan
    size_t m_readingPairs = 0;              // pairs that read a searched input
    std::vector<bool> m_namesFile;          // per pair: a literal whose texts name the file
    // Search runs with several reading pairs, some of them screened: the screen, and the
    // file's bytes kept for the pairs after the first (m_kept, at most
    // kKeptFileBytes; the piece buffer takes what lies beyond).
    std::unique_ptr<PairScreen> m_screen;
    PageAlignedBytes m_kept;
    PageAlignedBytes m_piece;
    static constexpr size_t kKeptFileBytes = size_t{4} << 20;
    static constexpr size_t kReadPiece = size_t{128} << 10; // read and screened at a time
};

// Opens an archive for reading; reports (through `lane`) and returns null when it cannot
// be read. openRead refuses links and anything but a regular file.
std::unique_ptr<ArchiveReader> openArchive(FileSystem& fs, Lane& lane, const std::string& path, bool quiet);
// Reads the members of one archive in order and hands those `selection` takes to
// `visit`. A read error ends the archive with its error line. False when the run is to
// end: a stop, or `visit` returned false.
bool forEachSelectedMember(Lane& lane, const std::atomic<bool>& stop, const std::string& archivePath,
                           ArchiveReader& reader, MemberSelection& selection,
                           const std::function<bool(const ArchiveMember&)>& visit);
// The archive phase's progress, as in "(%ld%% done)", while in the `opened`th archive.
long archivePercent(long archives, long opened, const ArchiveReader& reader);

} // namespace tw
