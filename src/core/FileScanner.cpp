#include "core/FileScanner.h"

#include "core/HitLine.h"
#include "engine/ReplaceTokens.h"
#include "platform/Assert.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

namespace tw {

namespace {

// Ids of the block views, unique in the process: the block's bytes do not change while
// one view's hits are taken.
std::atomic<uint64_t> g_lastViewId{0};

} // namespace

FileScanner::FileScanner(const ScanSettings& settings, ResultStream& results, RunHost& host, std::atomic<bool>& stop)
    : m_settings(settings), m_results(results), m_host(host), m_stop(stop)
{
    m_buffer.resize(std::max<size_t>(m_settings.blockSize, 16));
}

size_t FileScanner::prepareBlock(const ActivePair& pair)
{
    const Matcher& matcher = *pair.matcher;
    const size_t display = displayBytes();
    const size_t keepBefore = std::max(matcher.contextBefore(), display);
    // Each block hands back up to twice the matcher's reach, to be searched again with the
    // next; a block twice that long keeps the share searched twice at most a half, and in
    // practice far less, since a hand-back starts at the last undecided candidate. The
    // block stays no longer than that: with two workers, blocks beyond about 128 KB made
    // copying the file in several times slower (the caches no longer hold it).
    const size_t need = 4 * matcher.reach() + keepBefore + 2 * display + 8;
    if (m_buffer.size() < need)
        m_buffer.resize(need);
    return m_buffer.size();
}

ScanOutcome FileScanner::copy(ByteSource& in, File& out)
{
    uint8_t* const buf = m_buffer.data();
    for (;;) {
        m_host.pump();
        const int64_t got = in.read(buf, m_buffer.size());
        if (got < 0)
            return ScanOutcome::ReadError;
        if (got == 0)
            break;
        if (m_stop.load())
            return ScanOutcome::Stopped;
        if (!out.write(buf, static_cast<size_t>(got)))
            return ScanOutcome::WriteFailed;
    }
    return m_stop.load() ? ScanOutcome::Stopped : ScanOutcome::Done;
}

// The state of one scan that its steps share.
struct FileScanner::ScanState {
    ByteSource& in;
    ActivePair& pair;
    Matcher& matcher;
    size_t pairIndex;
    FileState& file;
    ReplaceHooks* hooks;
    // A hit line shows up to maxDisplayChars bytes on each side of the hit: `display` is
    // one more. The bytes kept before the resume point of the next block (`keepBefore`)
    // cover that and the matcher's context, so a hit line never depends on where a block
    // happened to start.
    size_t display;
    size_t keepBefore;
    size_t B;     // the block's size: m_buffer.size()
    uint8_t* buf; // m_buffer.data()

    // Invariants: buf[0, have) holds the input bytes [blockPos, blockPos + have), have <= B;
    // `last` says the input ends at blockPos + have. Offsets are 64-bit input positions;
    // p and the hit positions are in-block indices, p <= have + 1.
    int64_t blockPos = 0;
    size_t have = 0;
    bool last = false;
    size_t p = 0;              // in-block position where the search goes on
    int64_t lfCountedUpTo = 0; // line feeds before this absolute offset are counted
    long lineFeeds = 0;
    int64_t writtenUpTo = 0;   // replace mode: input bytes before this offset are in the output
    // Whether the pair hits a block of zeros alone: -1 until known (passZeros).
    int zerosHit = -1;
    std::string replacement{}; // the replace text of the current hit, when it varies
};

ScanOutcome FileScanner::scan(ByteSource& in, ActivePair& pair, size_t pairIndex, FileState& file, bool firstPair,
                              ReplaceHooks* hooks)
{
    Matcher& matcher = *pair.matcher;
    const size_t display = displayBytes();
    const size_t keepBefore = std::max(matcher.contextBefore(), display);
    prepareBlock(pair);
    ScanState s{in, pair, matcher, pairIndex, file, hooks, display, keepBefore, m_buffer.size(), m_buffer.data()};
    if (m_hit.path != file.path)
        m_hit.path = file.path;
    if (m_hit.archivePath != file.archivePath)
        m_hit.archivePath = file.archivePath;
    m_outBuffer.clear();

    // A file that takes long shows how far the scan has come, a few times a second.
    auto lastReport = std::chrono::steady_clock::now();
    for (;;) {
        m_host.pump();
        passZeros(s);
        const int64_t got = in.read(s.buf + s.have, s.B - s.have);
        if (got < 0)
            return ScanOutcome::ReadError;
        if (const auto now = std::chrono::steady_clock::now();
            now - lastReport >= std::chrono::milliseconds(kByteProgressMs)) {
            lastReport = now;
            m_host.byteProgress(file.path, s.blockPos + static_cast<int64_t>(s.have) + got);
        }
        const bool firstBlock = s.blockPos == 0 && s.have == 0;
        s.last = static_cast<size_t>(got) < s.B - s.have;
        s.have += static_cast<size_t>(got);
        TW_ASSERT(s.have <= s.B);
        if (s.have == 0)
            break;
        if (m_stop.load())
            return ScanOutcome::Stopped;
        if (firstBlock && firstPair)
            file.binary = looksBinary(s.buf, s.have);

        MatchResult found;
        bool endScan = false;
        if (!searchBlock(s, found, endScan))
            return ScanOutcome::Stopped;
        if (endScan || s.last) {
            if (!endScan && !writeInput(s, s.blockPos + static_cast<int64_t>(s.have)))
                return ScanOutcome::Stopped;
            break;
        }
        if (!keepOverlap(s, found))
            return ScanOutcome::Stopped;
    }
    if (hooks && !flushOutput(s, false))
        return ScanOutcome::Stopped;
    return m_stop.load() ? ScanOutcome::Stopped : ScanOutcome::Done;
}

// Takes the hits of the block in buf[0, have) from p on. Leaves in `found` what ended the
// search (NeedMore: where to go on with the next block); sets `endScan` when the rest of
// the input is not to be searched. False when the scan is to stop.
bool FileScanner::searchBlock(ScanState& s, MatchResult& found, bool& endScan)
{
    const ScanBuffer view{s.buf, s.have, s.blockPos == 0, s.last, ++g_lastViewId};
    while (!endScan && s.p <= s.have) {
        found = s.matcher.findNext(view, s.p);
        if (found.kind != MatchResult::Hit)
            break;
        TW_ASSERT(s.p <= found.start && found.start <= found.end && found.end <= s.have);
        if (!s.last && found.start + s.display > s.have) {
            // Its line runs on past the block: take it again, whole, from the next one.
            found.kind = MatchResult::NeedMore;
            found.resume = s.p;
            break;
        }
        const HitStep step = takeHit(s, found);
        if (step == HitStep::Stop)
            return false;
        endScan = step == HitStep::EndScan;
        // An empty hit moves the search on by one byte, so it never stalls.
        s.p = std::max(found.end, found.start + 1);
    }
    return true;
}

// Counts one hit, shows it and, in replace mode, replaces it when the hooks say so.
inline FileScanner::HitStep FileScanner::takeHit(ScanState& s, const MatchResult& found)
{
    const size_t hitStart = found.start;
    const size_t hitLen = found.end - found.start;
    const int64_t hitAbs = s.blockPos + static_cast<int64_t>(hitStart);
    s.file.countHit(s.pairIndex);
    const std::string* replaceText = &s.pair.replaceText;
    const bool visible = !s.hooks || s.hooks->hitVisible();
    // A replace text built from the hit is made while the hit's bytes are at hand, then
    // its file tokens expanded.
    if (s.matcher.replacementVaries() && (s.hooks || (m_settings.displayReplaceString && visible))) {
        s.replacement = s.matcher.buildReplacement();
        ExpandFileTokens(s.replacement, s.file.path);
        replaceText = &s.replacement;
    }

    bool replaceThisHit = false;
    if (visible)
        showHit(s, hitStart, hitLen, hitAbs);
    if (s.hooks && visible)
        replaceThisHit = s.hooks->decideHit(s.file, m_hit.text, *replaceText);
    if (m_stop.load())
        return HitStep::Stop;
    if (!s.hooks) {
        if (m_settings.displayReplaceString)
            m_results.addResultLines(ResultEntry::replaceText(*replaceText, s.file.path));
        return m_settings.stopAfterFirstHit ? HitStep::EndScan : HitStep::Next;
    }
    if (replaceThisHit && !replaceHit(s, hitAbs, hitLen, *replaceText))
        return HitStep::Stop;
    return HitStep::Next;
}

// Builds the hit line of the hit at buf[hitStart, hitStart + hitLen) into m_hit and
// hands it to the results when they show hit lines.
inline void FileScanner::showHit(ScanState& s, size_t hitStart, size_t hitLen, int64_t hitAbs)
{
    long lineNumber = 0;
    if (!s.file.binary) {
        countLinesTo(s, hitAbs);
        lineNumber = 1 + s.lineFeeds + ((s.buf[hitStart] == '\n' || s.buf[hitStart] == '\r') ? 1 : 0);
    }
    HitLineInput hl{s.buf, s.have, hitStart, hitLen, s.file.binary, lineNumber, hitAbs, m_settings.maxDisplayChars};
    size_t contextStart = 0;
    buildHitLineInto(m_hit.text, hl, activeCharClasses(), &contextStart);
    if (m_settings.showHitLines) {
        setHitFields(m_hit, hl, contextStart);
        m_results.addResultLines(m_hit);
    }
}

// Writes the input up to the hit and the replacement in its place. False when the scan
// is to stop (a write failed).
inline bool FileScanner::replaceHit(ScanState& s, int64_t hitAbs, size_t hitLen, const std::string& replaceText)
{
    if (m_settings.displayReplaceString)
        m_results.addResultLines(ResultEntry::replaceText(replaceText, s.file.path));
    if (!writeInput(s, hitAbs) || (s.hooks->tracksReplacements() && !flushOutput(s, false)))
        return false;
    s.hooks->replacing(hitAbs, hitLen, replaceText.size());
    if (!appendOutput(s, replaceText.data(), replaceText.size(), true))
        return false;
    s.writtenUpTo = hitAbs + static_cast<int64_t>(hitLen);
    s.file.sizeChange += static_cast<int64_t>(hitLen) - static_cast<int64_t>(replaceText.size());
    s.file.countReplacement(s.pairIndex);
    s.hooks->replaced();
    return true;
}

// Everything before `resume` is decided. The block's tail from shortly before it moves to
// the front of the buffer and the next read appends to it. False when the scan is to stop.
bool FileScanner::keepOverlap(ScanState& s, const MatchResult& found)
{
    const size_t resume =
        found.kind == MatchResult::NeedMore ? std::max(found.resume, std::min(s.p, s.have)) : s.have;
    TW_ASSERT(resume <= s.have);
    if (!s.file.binary)
        countLinesTo(s, s.blockPos + static_cast<int64_t>(resume));
    if (!writeInput(s, s.blockPos + static_cast<int64_t>(resume)))
        return false;
    const size_t keepFrom = resume - std::min(resume, s.keepBefore);
    std::memmove(s.buf, s.buf + keepFrom, s.have - keepFrom);
    s.have -= keepFrom;
    s.blockPos += static_cast<int64_t>(keepFrom);
    s.p = resume - keepFrom;
    // The overlap kept: up to keepBefore bytes before the resume point.
    TW_ASSERT(s.p <= s.keepBefore && s.p <= s.have);
    TW_ASSERT(s.writtenUpTo <= s.blockPos + static_cast<int64_t>(s.have));
    if (s.have == s.B) {
        // The reserve above rules this out; should a matcher still make no progress,
        // a larger block does rather than a scan that never ends.
        m_buffer.resize(2 * s.B);
        s.B = m_buffer.size();
        s.buf = m_buffer.data();
    }
    return true;
}

// A run of zeros the source can pass over (the hole of a sparse archive member) is
// searched as far as a block beyond each of its ends and passed over in between, when the
// pair cannot hit zeros alone: then no hit lies wholly inside the run, a hit that reaches
// into it lies within reach of its ends, and the scan's state after a block of zeros (a
// buffer of zeros, no line feeds) is the same after any number of them. Only the offsets
// move on.
void FileScanner::passZeros(ScanState& s)
{
    const int64_t zeros = s.in.zerosAhead();
    if (zeros <= 2 * static_cast<int64_t>(s.B) || s.hooks || s.have < s.keepBefore ||
        std::any_of(s.buf, s.buf + s.have, [](uint8_t b) { return b != 0; }))
        return;
    if (s.zerosHit < 0) {
        const std::vector<uint8_t> probe(s.B, 0);
        const ScanBuffer view{probe.data(), probe.size(), false, false};
        s.zerosHit = s.matcher.findNext(view, s.keepBefore).kind == MatchResult::Hit ? 1 : 0;
    }
    if (s.zerosHit)
        return;
    const int64_t pass = zeros - static_cast<int64_t>(s.B);
    s.in.skipZeros(pass);
    if (s.lfCountedUpTo >= s.blockPos)
        s.lfCountedUpTo += pass;
    s.blockPos += pass;
}

inline void FileScanner::countLinesTo(ScanState& s, int64_t absEnd)
{
    if (absEnd <= s.lfCountedUpTo)
        return;
    // Lines are counted from inside the block on: lfCountedUpTo never falls behind the
    // block's start while lines are counted (the block moves on only past counted lines).
    TW_ASSERT(s.lfCountedUpTo >= s.blockPos && absEnd <= s.blockPos + static_cast<int64_t>(s.have));
    const size_t from = static_cast<size_t>(s.lfCountedUpTo - s.blockPos);
    const size_t to = static_cast<size_t>(absEnd - s.blockPos);
    s.lineFeeds += static_cast<long>(countLineFeeds(s.buf + from, s.buf + to));
    s.lfCountedUpTo = absEnd;
}

// Replace mode: the input before `absEnd` not yet written goes to the output.
inline bool FileScanner::writeInput(ScanState& s, int64_t absEnd)
{
    if (!s.hooks || absEnd <= s.writtenUpTo)
        return true;
    // The block moves on only past written input, so what is left to write is in it.
    TW_ASSERT(s.writtenUpTo >= s.blockPos && absEnd <= s.blockPos + static_cast<int64_t>(s.have));
    const size_t from = static_cast<size_t>(s.writtenUpTo - s.blockPos);
    if (!appendOutput(s, s.buf + from, static_cast<size_t>(absEnd - s.writtenUpTo), false))
        return false;
    s.writtenUpTo = absEnd;
    return true;
}

// Replace mode: output is gathered in m_outBuffer and written in large pieces.
inline bool FileScanner::appendOutput(ScanState& s, const void* data, size_t size, bool isReplacement)
{
    m_outBuffer.append(static_cast<const char*>(data), size);
    return m_outBuffer.size() < kOutputChunk || flushOutput(s, isReplacement);
}

bool FileScanner::flushOutput(ScanState& s, bool replacementInside)
{
    if (m_outBuffer.empty())
        return true;
    const bool ok = s.hooks->output().write(m_outBuffer.data(), m_outBuffer.size());
    m_outBuffer.clear();
    if (!ok)
        s.hooks->writeFailed(s.file, replacementInside);
    return ok;
}

} // namespace tw
