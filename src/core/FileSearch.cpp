#include "core/FileSearch.h"

#include "core/ArchiveMemberSource.h"
#include "core/ChangeSpans.h"
#include "core/ConfirmationState.h"
#include "core/DecodingSource.h"
#include "core/ExpectedFiles.h"
#include "core/HashedOutput.h"
#include "core/HitLine.h"
#include "core/MemorySource.h"
#include "core/ReplaceOutputs.h"
#include "core/ReplaceWriter.h"
#include "core/ResultRecorder.h"
#include "core/RunDriver.h"
#include "core/RunLedger.h"
#include "core/RunTexts.h"
#include "core/TextScan.h"
#include "core/WholeFileOperations.h"
#include "engine/LiteralScan.h"
#include "engine/PatternScan.h"
#include "engine/ReplaceTokens.h"
#include "platform/Assert.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>

namespace tw {

// ---- The replace side as the block scanner sees it ----------------------------------

File* ReplaceSide::tempFile(int index) const
{
    TW_ASSERT((writer == nullptr) != (outputs == nullptr));
    return outputs ? outputs->at(index) : writer->tempFile(index);
}

// The current output, the confirmation state and the special operations; what it reports
// goes through the lane.
class FileSearch::ReplaceHooksImpl final : public ReplaceHooks {
public:
    // `failure` is set when a write to the output fails (see ReplaceSide::writeFailure).
    ReplaceHooksImpl(const ReplaceSide& side, Lane& lane, std::atomic<bool>& failure, bool quiet, bool oneHit)
        : m_conf(side.confirmation), m_held(side.held), m_lane(lane), m_failure(failure), m_quiet(quiet),
          m_oneHit(oneHit)
    {
    }
    void setOutput(File* out) { m_output = out; }
    // A preview records where each replacement of the pair goes (null: no record).
    void setChanges(ChangeSpans* changes) { m_changes = changes; }
    void replacing(int64_t offset, size_t length, size_t size) override
    {
        if (m_changes && !m_changes->append({offset, static_cast<int64_t>(length), static_cast<int64_t>(size)}))
            m_changesFailed = true;
    }
    bool changesFailed() const { return m_changesFailed; }
    void resetChangesFailed() { m_changesFailed = false; }

    File& output() override { return *m_output; }
    bool hitVisible() override { return !m_conf.skipRestOfFile(); }
    bool decideHit(FileState& file, const std::string& hitLine, const std::string& replaceText) override
    {
        // A worker (without held-back lines) never asks.
        if (!m_conf.hitNeedsAnswer() || !m_held)
            return m_conf.decideHit(m_lane.host, {}, noHeldBackLines(), file.path);
        return m_conf.decideHit(m_lane.host, buildHitQuestion(hitLine, replaceText, file.binary),
                                m_held->heldBack(), file.path);
    }
    void replaced() override
    {
        if (m_oneHit)
            m_conf.markOneHitReplaced();
    }
    void writeFailed(const FileState& file, bool whileWritingReplacement) override
    {
        m_lane.countError();
        reportFileError(m_lane.results, m_lane.host, m_quiet,
                        whileWritingReplacement ? kErrorWritingReplace : kErrorWritingTemp,
                        file.path);
        m_failure.store(true);
    }

private:
    ConfirmationState& m_conf;
    HeldBackStore* m_held; // null on a worker
    Lane& m_lane;
    std::atomic<bool>& m_failure;
    bool m_quiet;
    bool m_oneHit;
    File* m_output = nullptr; // the temporary output of the current pair
    ChangeSpans* m_changes = nullptr;
    bool m_changesFailed = false;
};

// ---- The per-file search ------------------------------------------------------------

FileSearch::FileSearch(const RunPlan& plan, const Lane& lane, FileSystem& fs, std::atomic<bool>& stop,
                       const ReplaceSide* replace)
    : m_plan(plan), m_lane(lane), m_fs(fs), m_stop(stop), m_replace(replace),
      m_scanner(plan.scanSettings, m_lane.results, m_lane.host, stop)
{
    if (m_replace) {
        m_hooks = std::make_unique<ReplaceHooksImpl>(
            *m_replace, m_lane, m_replace->writeFailure ? *m_replace->writeFailure : stop, plan.quiet,
            plan.opt.stopAfterFirstHit);
        if (plan.request.preview)
            m_changes = std::make_unique<PreviewChanges>(fs);
    }
    makePairs();
}

FileSearch::~FileSearch() = default;

void FileSearch::makePairs()
{
    for (const PreparedPair& pp : m_plan.prepared) {
        ActivePair ap;
        ap.replaceText = pp.replaceBytes;
        ap.special = pp.special;
        ap.reformatColumns = pp.reformatColumns;
        if (ap.special == SpecialOp::None) {
            if (pp.regex)
                ap.matcher = std::make_unique<PatternScan>(*pp.pattern);
            else
                ap.matcher = std::make_unique<LiteralScan>(pp.searchBytes, pp.caseSensitive, pp.wholeWord);
        }
        m_pairs.push_back(std::move(ap));
    }
    for (size_t pi = 0; pi < m_pairs.size(); ++pi) {
        m_readingPairs += readsInput(pi) ? 1 : 0;
        const PreparedPair& pp = m_plan.prepared[pi];
        m_namesFile.push_back(m_pairs[pi].special == SpecialOp::None && !pp.regex &&
                              (hasFileTokens(pp.searchBytes) || hasFileTokens(pp.replaceBytes)));
    }
    if (!m_replace && m_readingPairs > 1 && m_plan.request.readFilesOnce) {
        m_screen = std::make_unique<PairScreen>(m_plan.prepared);
        if (!m_screen->screensAny())
            m_screen.reset();
    }
}

bool FileSearch::readsInput(size_t pi) const
{
    const PreparedPair& pp = m_plan.prepared[pi];
    return m_pairs[pi].special == SpecialOp::None && (pp.regex || !pp.searchBytes.empty());
}

void FileSearch::expandFileTokens(size_t pi, const std::string& path)
{
    if (!m_namesFile[pi])
        return;
    const PreparedPair& pp = m_plan.prepared[pi];
    ActivePair& pair = m_pairs[pi];
    std::string search = pp.searchBytes;
    ExpandFileTokens(search, path);
    pair.replaceText = pp.replaceBytes;
    ExpandFileTokens(pair.replaceText, path);
    pair.matcher = std::make_unique<LiteralScan>(search, pp.caseSensitive, pp.wholeWord);
}

template <class ScanPair>
void FileSearch::runPairs(FileReport& report, ScanPair&& scanPair)
{
    TW_ASSERT(report.state.pairCounts.size() == m_pairs.size());
    report.pairsRan = true;
    for (size_t pi = 0; pi < m_pairs.size(); ++pi) {
        expandFileTokens(pi, report.state.path);
        if (!m_replace && !readsInput(pi))
            continue; // nothing to search for
        const ScanOutcome outcome = scanPair(pi);
        if (outcome == ScanOutcome::ReadError || outcome == ScanOutcome::Abandoned) {
            report.fate = FileReport::Fate::Failed;
            break;
        }
        if (outcome == ScanOutcome::Stopped || m_stop.load())
            break;
        if (!m_replace && m_plan.opt.stopAfterFirstHit && report.state.totals().hits > 0)
            break;
    }
}

// A file as the pairs of a screened search read it.
struct FileSearch::FileRead {
    bool done = false;     // the first reading pair has read it through the screen
    size_t size = 0;       // its first bytes in m_kept (all of them when `whole`)
    bool whole = false;    // m_kept holds the whole file
    bool screened = false; // the screen's answers hold for the file: it was read to its end
                           // (or every screened pair seen), and not as UTF-16
    bool utf16 = false;    // "Detect UTF-16" finds a UTF-16 mark: the scans decode it
};

void FileSearch::searchFile(size_t k, std::string_view listed, size_t total, bool complete, FileReport& report)
{
    report.reset(listed, m_pairs.size(), k);
    const std::string& path = report.state.path;
    m_lane.startFile(path);
    const ExpectedFiles* only = m_replace ? m_plan.request.onlyFiles : nullptr;
    if (only && !only->lists(path)) {
        report.fate = FileReport::Fate::Skipped;
        return;
    }
    m_lane.countSearched();
    if (m_replace && m_replace->confirmation.onFileStart(path) == DirDecision::Skip) {
        report.fate = FileReport::Fate::Skipped;
        return;
    }
    if (m_lane.host.showsProgress())
        m_lane.host.fileProgress(complete ? static_cast<long>(total - k) : static_cast<long>(total),
                                 complete ? static_cast<long>(k * 100 / total) : kStillListing, path);
    if (m_stop.load()) {
        report.fate = FileReport::Fate::NotReached;
        return;
    }
    // The status comes from the descriptor: it describes the very file that is read, and
    // the rewrite later checks that the name still leads to it unchanged.
    std::unique_ptr<File> in = m_fs.openReadNear(path, m_lane.cursor);
    if (!in || (m_replace && !in->status(&report.status))) {
        m_lane.fileError(fileErrorText("Error opening ", displayName(baseName(path))), path, true, m_plan.quiet);
        report.fate = FileReport::Fate::Failed;
        return;
    }
    if (only && !only->unchanged(path, report.status)) {
        // Not the file the preview showed: it is left as it is.
        m_lane.results.addLine(ResultEntry::notice(kChangedSincePreview + displayName(path)));
        only->noteRefused(path);
        report.fate = FileReport::Fate::Skipped;
        return;
    }
    if (m_replace)
        m_replace->confirmation.onFileOpened();
    if (m_screen) {
        FileRead read;
        runPairs(report, [&](size_t pi) { return scanScreenedPair(pi, *in, report, read); });
        return;
    }
    runPairs(report, [&](size_t pi) { return scanFilePair(pi, *in, report); });
}

// ---- One read for all pairs (search runs) -------------------------------------------

ScanOutcome FileSearch::scanScreenedPair(size_t pi, File& in, FileReport& report, FileRead& read)
{
    if (!read.done) {
        const ScanOutcome outcome = readOnce(in, report, read);
        if (outcome != ScanOutcome::Done)
            return outcome;
    }
    if (read.screened && !m_screen->mayHit(pi)) {
        // Its bytes are not in the file: no hit, which is all its scan would find.
        if (pi == 0)
            detectBinaryUnscanned(read, report);
        else
            m_scanner.prepareBlock(m_pairs[pi]);
        return ScanOutcome::Done;
    }
    if (!read.whole)
        return scanFilePair(pi, in, report); // too large to keep, or its read failed
    MemorySource source(m_kept.data(), read.size);
    TextScan text(source, m_plan.opt.detectUtf16, report.state, nullptr);
    return text.finish(m_scanner.scan(text.source(), m_pairs[pi], pi, report.state, pi == 0, nullptr));
}

void FileSearch::detectBinaryUnscanned(const FileRead& read, FileReport& report)
{
    // The scan would decide on its first block of what it reads: the file after a UTF-8
    // mark when "Detect UTF-16" is on (a UTF-16 file is never left out).
    TW_ASSERT(!read.utf16);
    const size_t block = m_scanner.prepareBlock(m_pairs[0]);
    const uint8_t* data = m_kept.data();
    size_t size = read.size;
    if (m_plan.opt.detectUtf16 && size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    report.state.binary = looksBinary(data, std::min(size, block));
}

ScanOutcome FileSearch::readOnce(File& in, FileReport& report, FileRead& read)
{
    read.done = true;
    const std::string& path = report.state.path;
    if (!in.seek(0)) { // where the first pair's scan would seek
        m_lane.fileError(fileErrorText("Error seeking in file ", displayName(baseName(path))), path, true,
                         m_plan.quiet);
        return ScanOutcome::Abandoned;
    }
    m_screen->begin();
    int64_t total = 0;
    auto lastReport = std::chrono::steady_clock::now();
    for (;;) {
        m_lane.host.pump();
        const bool keeping = read.size < kKeptFileBytes;
        const size_t want = keeping ? std::min(kReadPiece, kKeptFileBytes - read.size) : kReadPiece;
        if (keeping)
            keepRoomFor(read.size + want);
        else
            m_piece.resize(kReadPiece);
        uint8_t* to = keeping ? m_kept.data() + read.size : m_piece.data();
        const int64_t got = in.read(to, want);
        if (got < 0)
            return ScanOutcome::Done; // neither whole nor screened: every pair reads the file
        if (total == 0)
            read.utf16 = m_plan.opt.detectUtf16 && got >= 2 &&
                         ((to[0] == 0xFF && to[1] == 0xFE) || (to[0] == 0xFE && to[1] == 0xFF));
        if (!read.utf16)
            m_screen->feed(to, static_cast<size_t>(got));
        total += got;
        if (keeping)
            read.size += static_cast<size_t>(got);
        // The kept bytes are the file's first bytes, within the bound.
        TW_ASSERT(read.size <= kKeptFileBytes && static_cast<int64_t>(read.size) <= total);
        if (const auto now = std::chrono::steady_clock::now();
            now - lastReport >= std::chrono::milliseconds(kByteProgressMs)) {
            lastReport = now;
            m_lane.host.byteProgress(path, total);
        }
        // Beyond the kept bytes the rest is read only while the screen may still learn.
        if (static_cast<size_t>(got) < want || (!keeping && (m_screen->allSeen() || read.utf16))) {
            read.whole = static_cast<size_t>(total) == read.size && static_cast<size_t>(got) < want;
            read.screened = !read.utf16;
            return ScanOutcome::Done;
        }
        if (m_stop.load())
            return ScanOutcome::Stopped;
    }
}

void FileSearch::keepRoomFor(size_t size)
{
    TW_ASSERT(size <= kKeptFileBytes);
    if (size <= m_kept.size())
        return;
    m_kept.resize(std::min(std::max(size, 2 * m_kept.size()), kKeptFileBytes));
}

ScanOutcome FileSearch::scanFilePair(size_t pi, File& in, FileReport& report)
{
    ActivePair& pair = m_pairs[pi];
    FileState& file = report.state;
    File* input = &in;
    File* output = nullptr;
    if (m_replace) {
        // Temporary files alternate: even pairs write the first, odd pairs the second,
        // and every pair after the first reads what the one before wrote.
        report.output = m_replace->tempFile(static_cast<int>(pi % 2));
        if (pi > 0)
            input = m_replace->tempFile(static_cast<int>((pi + 1) % 2));
        // Every write of the pair goes through `output`: with the hash in front when the
        // output is the file's last.
        output = hashesOutput(pi, report) ? &m_outputHash.bind(*report.output) : report.output;
        if (!output->seek(0) || !output->truncate(0)) {
            m_hooks->writeFailed(file, false); // ends the run
            return ScanOutcome::Stopped;
        }
        m_hooks->setOutput(output);
        if (m_changes)
            beginPairChanges(pi, report);
    }
    const std::string& path = file.path;
    if (!input->seek(0)) {
        m_lane.fileError(fileErrorText("Error seeking in file ", displayName(baseName(path))), path, true,
                         m_plan.quiet);
        return ScanOutcome::Abandoned;
    }
    FileSource source(*input);
    TextScan text(source, m_plan.opt.detectUtf16, file, m_replace ? m_hooks.get() : nullptr);
    const ScanOutcome outcome = pair.special != SpecialOp::None
                                    ? applySpecialOperation(pi, *input, file, *output)
                                    : text.finish(m_scanner.scan(text.source(), pair, pi, file, pi == 0, text.hooks()));
    if (output == &m_outputHash && !m_outputHash.takeDigest(&report.outputHash, &report.outputHashLength))
        report.outputHash.clear(); // not one sequence of appends: the writer hashes it
    if (text.unwritable()) {
        m_lane.fileError(fileErrorText(kUtf16UnwritableText, displayName(baseName(path))), path, true, m_plan.quiet);
        return ScanOutcome::Abandoned;
    }
    file.utf16 = file.utf16 || text.isUtf16();
    if (m_changes && outcome == ScanOutcome::Done && !endPairChanges(pi, pair, report)) {
        m_lane.fileError(fileErrorText(std::string(kErrorWritingTemp) + " ", displayName(baseName(path))), path, true,
                         m_plan.quiet);
        return ScanOutcome::Abandoned;
    }
    if (outcome == ScanOutcome::ReadError)
        m_lane.fileError(fileErrorText("Error reading file ", displayName(path)), path, false, m_plan.quiet);
    return outcome;
}

bool FileSearch::hashesOutput(size_t pi, const FileReport& report) const
{
    // Only the last pair's output can be committed with its hash; a run stopped before it
    // commits an output the writer hashes. An original larger than the whole undo space
    // is never kept, so its output is not worth hashing.
    return m_plan.hashOutputs && pi + 1 == m_pairs.size() && report.status.size <= m_plan.opt.undoSpaceBytes;
}

// ---- What a preview records ----------------------------------------------------------

// The spans of the file so far (its original to the output of the last pair), those of
// the pair at hand (its input to its output), and room to compose the two.
struct FileSearch::PreviewChanges {
    explicit PreviewChanges(FileSystem& fs) : file(fs), pair(fs), composed(fs) {}
    ChangeSpans file, pair, composed;
    int64_t inputSize = 0; // the size of the pair's input
};

void FileSearch::beginPairChanges(size_t pi, FileReport& report)
{
    PreviewChanges& c = *m_changes;
    if (pi == 0) {
        c.file.clear();
        c.inputSize = report.status.size;
        report.changes = &c.file;
    }
    c.pair.clear();
    m_hooks->resetChangesFailed();
    m_hooks->setChanges(&c.pair);
}

bool FileSearch::endPairChanges(size_t pi, const ActivePair& pair, FileReport& report)
{
    PreviewChanges& c = *m_changes;
    m_hooks->setChanges(nullptr);
    const int64_t outputSize = report.output->position();
    if (outputSize < 0 || m_hooks->changesFailed())
        return false;
    // A special operation that acted changed the file as a whole, as far as the diff goes.
    if (pair.special != SpecialOp::None && report.state.pairCounts[pi].replacements > 0 &&
        !c.pair.append({0, c.inputSize, outputSize}))
        return false;
    c.inputSize = outputSize;
    if (c.pair.empty())
        return true;
    if (c.file.empty()) {
        c.file.swap(c.pair);
        return true;
    }
    if (!ChangeSpans::compose(c.file, c.pair, c.composed))
        return false;
    c.file.swap(c.composed);
    return true;
}

void FileSearch::endRunOnWriteFailure()
{
    (m_replace->writeFailure ? *m_replace->writeFailure : m_stop).store(true);
}

ScanOutcome FileSearch::applySpecialOperation(size_t pairIndex, File& input, FileState& file, File& output)
{
    // Prepend and reformat act before the input is copied, append after it. A special
    // operation that was performed counts as one hit and one replacement of its pair.
    const ActivePair& pair = m_pairs[pairIndex];
    SpecialContext ctx{m_replace->confirmation, m_lane.host, m_lane.results, m_plan.quiet, file.path};
    auto account = [&](const SpecialOutcome& o) {
        switch (o.result) {
        case SpecialResult::Declined:
            return m_stop.load() ? ScanOutcome::Stopped : ScanOutcome::Done;
        case SpecialResult::WriteFailed: // reported by the operation
            m_lane.countError();
            endRunOnWriteFailure();
            return ScanOutcome::Stopped;
        case SpecialResult::ReadFailed: // reported by the operation; the file is abandoned
            m_lane.countError();
            return ScanOutcome::Abandoned;
        case SpecialResult::Performed:
            break;
        }
        file.countHit(pairIndex);
        file.countReplacement(pairIndex);
        file.sizeChange += o.sizeChange;
        return ScanOutcome::Done;
    };
    FileSource source(input);
    auto copyInput = [&] {
        const ScanOutcome o = m_scanner.copy(source, output);
        if (o == ScanOutcome::WriteFailed)
            m_hooks->writeFailed(file, false);
        return o == ScanOutcome::WriteFailed ? ScanOutcome::Stopped : o;
    };
    switch (pair.special) {
    case SpecialOp::Reformat: {
        const SpecialOutcome o = reformatFile(ctx, input, output, pair.reformatColumns);
        if (o.result == SpecialResult::Performed)
            file.reformatted = true;
        const ScanOutcome step = account(o);
        if (o.result != SpecialResult::Declined || step != ScanOutcome::Done)
            return step;
        return input.seek(0) ? copyInput() : ScanOutcome::ReadError;
    }
    case SpecialOp::Prepend: {
        const ScanOutcome step = account(prependReplaceText(ctx, output, pair.replaceText));
        return step != ScanOutcome::Done ? step : copyInput();
    }
    case SpecialOp::Append: {
        const ScanOutcome step = copyInput();
        if (step != ScanOutcome::Done || m_replace->confirmation.skipRestOfFile())
            return step;
        return account(appendReplaceText(ctx, output, pair.replaceText));
    }
    case SpecialOp::None:
        break;
    }
    return ScanOutcome::Done;
}

// ---- Archives -----------------------------------------------------------------------
// Members are read straight from the archive into the scan (ArchiveMemberSource): no
// member is ever written out under its name, so no scratch tree exists and a hostile
// member name ("../x", "/etc/passwd", links) can only be shown, never followed or created.

namespace {

// The most a member of an archive of `archiveSize` bytes may expand to: a sparse tar
// member of a few kilobytes can claim a petabyte, and a compressed one can hold far more
// than it costs, so each member is bounded in bytes and as a multiple of its archive.
int64_t memberLimit(const ProgramOptions& o, int64_t archiveSize)
{
    constexpr int64_t kNone = std::numeric_limits<int64_t>::max();
    int64_t limit = o.maxMemberBytes > 0 ? o.maxMemberBytes : kNone;
    if (o.maxMemberRatio > 0) {
        const int64_t size = std::max<int64_t>(archiveSize, 1);
        limit = std::min(limit, size > kNone / o.maxMemberRatio ? kNone : size * o.maxMemberRatio);
    }
    return limit;
}

} // namespace

// One member as its pairs read it: straight from the archive with one reading pair; with
// more, through a keeper, so that the first pair reads it from the archive and every later
// pair reads the kept bytes again from their start.
struct FileSearch::MemberRead {
    MemberRead(ArchiveReader& r, const ArchiveMember& m, const std::string& a, int64_t l)
        : reader(r), member(m), archivePath(a), limit(l), data(r, l)
    {
    }
    ArchiveReader& reader;
    const ArchiveMember& member;
    const std::string& archivePath;
    int64_t limit;
    ArchiveMemberSource data;
    std::optional<KeptBytes> kept;
};

long archivePercent(long archives, long opened, const ArchiveReader& reader)
{
    // Each archive weighs the same; within one, the share of the archive file read so far
    // stands in for the share of its members done (a compressed tar tells its member count
    // only at its end).
    const long within = static_cast<long>(reader.fractionRead() * 100);
    return within / archives + (opened * 100 - 100) / archives;
}

std::unique_ptr<ArchiveReader> openArchive(FileSystem& fs, Lane& lane, const std::string& path, bool quiet)
{
    // A FIFO or device named "x.zip" is never read, so it cannot block the run.
    std::unique_ptr<File> file = fs.openRead(path);
    if (!file) {
        lane.fileError(fileErrorText("Error opening ", displayName(baseName(path))), path, true, quiet);
        return nullptr;
    }
    std::string why;
    std::unique_ptr<ArchiveReader> reader = ArchiveReader::open(std::move(file), &why);
    if (!reader)
        lane.fileError(fileErrorText("Error reading file ", displayName(path), why), path, false, quiet);
    return reader;
}

bool forEachSelectedMember(Lane& lane, const std::atomic<bool>& stop, const std::string& archivePath,
                           ArchiveReader& reader, MemberSelection& selection,
                           const std::function<bool(const ArchiveMember&)>& visit)
{
    ArchiveMember member;
    for (;;) {
        lane.host.pump();
        if (stop.load())
            return false;
        const ArchiveReader::Step step = reader.next(&member);
        if (step == ArchiveReader::Step::End)
            return true;
        if (step == ArchiveReader::Step::Error) {
            lane.fileError(fileErrorText("Error reading file ", displayName(archivePath), reader.errorText()),
                           archivePath, false, false);
            return true;
        }
        if (!selection.selects(member))
            continue;
        if (!visit(member))
            return false;
        if (!reader.recoverable())
            return true; // its error line is out; the archive cannot be read further
    }
}

bool FileSearch::searchArchive(size_t index, FileReport& report)
{
    const ArchiveTask& task = m_plan.archives[index];
    const long count = static_cast<long>(m_plan.archives.size());
    const long opened = static_cast<long>(index) + 1; // archives opened with this one
    if (m_stop.load())
        return false;
    m_lane.host.progress(kZipExtracting);
    m_lane.countArchive();
    m_lane.host.title(fileTitleText(displayName(task.path)));
    std::unique_ptr<ArchiveReader> reader = openArchive(m_fs, m_lane, task.path, m_plan.quiet);
    if (!reader)
        return true;
    MemberSelection selection(task.memberMask, ListWalk::filterBounds(m_plan.opt));
    return forEachSelectedMember(m_lane, m_stop, task.path, *reader, selection, [&](const ArchiveMember& member) {
        const long percent = archivePercent(count, opened, *reader);
        searchMember(*reader, member, task.path, zipProgressText(count - opened + 1, percent), report);
        return m_lane.handOn(report, m_stop);
    });
}

void FileSearch::searchMember(ArchiveReader& reader, const ArchiveMember& member, const std::string& archivePath,
                              const std::string& progressText, FileReport& report)
{
    report.reset(member.name, m_pairs.size());
    report.state.archivePath = archivePath; // its hit lines lead back to the archive
    if (member.encrypted) {
        // Its data cannot be read without a password; it is named, and not searched.
        m_lane.fileError("Skipped encrypted file " + memberText(archivePath, member.name), archivePath, false, false);
        report.fate = FileReport::Fate::Skipped;
        return;
    }
    const int64_t limit = memberLimit(m_plan.opt, reader.archiveSize());
    if (member.sizeKnown && member.size > limit) {
        // Reading it would take hours (or fill the disk of whoever unpacks it): it is
        // named, and not searched.
        m_lane.fileError(oversizedText(archivePath, member.name, limit), archivePath, false, false);
        report.fate = FileReport::Fate::Skipped;
        return;
    }
    m_lane.startFile(member.name, archivePath);
    m_lane.countSearched();
    m_lane.host.progress(progressText);
    m_lane.host.title(fileTitleText(memberText(archivePath, member.name)));
    if (m_stop.load()) {
        report.fate = FileReport::Fate::NotReached;
        return;
    }
    MemberRead read(reader, member, archivePath, limit);
    if (m_readingPairs > 1)
        read.kept.emplace(read.data, m_fs);
    runPairs(report, [&](size_t pi) { return scanMemberPair(pi, read, report); });
}

ScanOutcome FileSearch::scanMemberPair(size_t pi, MemberRead& read, FileReport& report)
{
    if (read.kept)
        read.kept->rewind();
    ByteSource& raw = read.kept ? static_cast<ByteSource&>(*read.kept) : read.data;
    DecodingSource source(raw, m_plan.opt.detectUtf16);
    const ScanOutcome outcome = m_scanner.scan(source, m_pairs[pi], pi, report.state, pi == 0, nullptr);
    if (outcome == ScanOutcome::ReadError)
        memberReadError(read);
    return outcome;
}

void FileSearch::memberReadError(const MemberRead& read)
{
    // A member whose header understated its size is cut off at the limit.
    const std::string& archivePath = read.archivePath;
    const std::string shown = memberText(archivePath, read.member.name);
    const bool keeping = read.kept && read.kept->keepingFailed();
    m_lane.fileError(read.data.overLimit() ? oversizedText(archivePath, read.member.name, read.limit)
                     : keeping ? fileErrorText("Error reading file ", shown, kErrorWritingTemp)
                               : fileErrorText("Error reading file ", shown, read.reader.errorText()),
                     archivePath, false, false);
}

} // namespace tw
