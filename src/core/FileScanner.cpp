#include "core/FileScanner.h"

#include "core/HitLine.h"
#include "engine/ReplaceTokens.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tw {

FileScanner::FileScanner(const ScanSettings& settings, ResultStream& results, RunHost& host, std::atomic<bool>& stop)
    : m_settings(settings), m_results(results), m_host(host), m_stop(stop)
{
    m_buffer.resize(std::max<size_t>(m_settings.blockSize, 16));
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

ScanOutcome FileScanner::scan(ByteSource& in, ActivePair& pair, size_t pairIndex, FileState& file, bool firstPair,
                              ReplaceHooks* hooks)
{
    Matcher& matcher = *pair.matcher;
    // A hit line shows up to maxDisplayChars bytes on each side of the hit. The bytes kept
    // before the resume point of the next block cover that and the matcher's context, so
    // a hit line never depends on where a block happened to start.
    const size_t display = static_cast<size_t>(std::max(m_settings.maxDisplayChars, 1)) + 1;
    const size_t keepBefore = std::max(matcher.contextBefore(), display);
    // Each block hands back up to twice the matcher's reach, to be searched again with the
    // next; a block twice that long keeps the share searched twice at most a half, and in
    // practice far less, since a hand-back starts at the last undecided candidate. The
    // block stays no longer than that: with two workers, blocks beyond about 128 KB made
    // copying the file in several times slower (the caches no longer hold it).
    const size_t need = 4 * matcher.reach() + keepBefore + 2 * display + 8;
    if (m_buffer.size() < need)
        m_buffer.resize(need);
    size_t B = m_buffer.size();
    uint8_t* buf = m_buffer.data();
    std::string replacement; // the replace text of the current hit, when it varies
    if (m_hit.path != file.path)
        m_hit.path = file.path;
    if (m_hit.archivePath != file.archivePath)
        m_hit.archivePath = file.archivePath;

    // Invariants: buf[0, have) holds the file bytes [blockPos, blockPos + have); `last`
    // says the file ends at blockPos + have. Offsets are 64-bit file positions; p and the
    // hit positions are in-block indices.
    int64_t blockPos = 0;
    size_t have = 0;
    bool last = false;
    size_t p = 0;              // in-block position where the search goes on
    int64_t lfCountedUpTo = 0; // line feeds before this absolute offset are counted
    long lineFeeds = 0;
    int64_t writtenUpTo = 0;   // replace mode: input bytes before this offset are in the output

    auto countLinesTo = [&](int64_t absEnd) {
        if (absEnd <= lfCountedUpTo)
            return;
        const size_t from = static_cast<size_t>(lfCountedUpTo - blockPos);
        const size_t to = static_cast<size_t>(absEnd - blockPos);
        lineFeeds += static_cast<long>(countLineFeeds(buf + from, buf + to));
        lfCountedUpTo = absEnd;
    };
    // Replace mode: output is gathered and written in large pieces.
    std::string& pending = m_outBuffer;
    pending.clear();
    auto flushOutput = [&](bool replacementInside) -> bool {
        if (pending.empty())
            return true;
        const bool ok = hooks->output().write(pending.data(), pending.size());
        pending.clear();
        if (!ok)
            hooks->writeFailed(file, replacementInside);
        return ok;
    };
    auto emit = [&](const void* data, size_t size, bool isReplacement) -> bool {
        pending.append(static_cast<const char*>(data), size);
        return pending.size() < kOutputChunk || flushOutput(isReplacement);
    };
    auto writeInput = [&](int64_t absEnd) -> bool {
        if (!hooks || absEnd <= writtenUpTo)
            return true;
        const size_t from = static_cast<size_t>(writtenUpTo - blockPos);
        if (!emit(buf + from, static_cast<size_t>(absEnd - writtenUpTo), false))
            return false;
        writtenUpTo = absEnd;
        return true;
    };

    // A run of zeros the source can pass over (the hole of a sparse archive member) is
    // searched as far as a block beyond each of its ends and passed over in between, when
    // the pair cannot hit zeros alone: then no hit lies wholly inside the run, a hit that
    // reaches into it lies within reach of its ends, and the scan's state after a block of
    // zeros (a buffer of zeros, no line feeds) is the same after any number of them. Only
    // the offsets move on. -1: not yet known whether the pair hits zeros.
    int zerosHit = -1;
    auto passZeros = [&] {
        const int64_t zeros = in.zerosAhead();
        if (zeros <= 2 * static_cast<int64_t>(B) || hooks || have < keepBefore ||
            std::any_of(buf, buf + have, [](uint8_t b) { return b != 0; }))
            return;
        if (zerosHit < 0) {
            const std::vector<uint8_t> probe(B, 0);
            const ScanBuffer view{probe.data(), probe.size(), false, false};
            zerosHit = matcher.findNext(view, keepBefore).kind == MatchResult::Hit ? 1 : 0;
        }
        if (zerosHit)
            return;
        const int64_t pass = zeros - static_cast<int64_t>(B);
        in.skipZeros(pass);
        if (lfCountedUpTo >= blockPos)
            lfCountedUpTo += pass;
        blockPos += pass;
    };

    // A file that takes long shows how far the scan has come, a few times a second.
    auto lastReport = std::chrono::steady_clock::now();
    for (;;) {
        m_host.pump();
        passZeros();
        const int64_t got = in.read(buf + have, B - have);
        if (got < 0)
            return ScanOutcome::ReadError;
        if (const auto now = std::chrono::steady_clock::now();
            now - lastReport >= std::chrono::milliseconds(kByteProgressMs)) {
            lastReport = now;
            m_host.byteProgress(file.path, blockPos + static_cast<int64_t>(have) + got);
        }
        const bool firstBlock = blockPos == 0 && have == 0;
        last = static_cast<size_t>(got) < B - have;
        have += static_cast<size_t>(got);
        if (have == 0)
            break;
        if (m_stop.load())
            return ScanOutcome::Stopped;
        if (firstBlock && firstPair)
            file.binary = looksBinary(buf, have);

        const ScanBuffer view{buf, have, blockPos == 0, last};
        MatchResult found;
        bool endScan = false;
        while (!endScan && p <= have) {
            found = matcher.findNext(view, p);
            if (found.kind != MatchResult::Hit)
                break;
            if (!last && found.start + display > have) {
                // Its line runs on past the block: take it again, whole, from the next one.
                found.kind = MatchResult::NeedMore;
                found.resume = p;
                break;
            }
            const size_t hitStart = found.start;
            const size_t hitLen = found.end - found.start;
            const int64_t hitAbs = blockPos + static_cast<int64_t>(hitStart);
            file.countHit(pairIndex);
            const std::string* replaceText = &pair.replaceText;
            const bool visible = !hooks || hooks->hitVisible();
            // A replace text built from the hit is made while the hit's bytes are at hand,
            // then its file tokens expanded.
            if (matcher.replacementVaries() && (hooks || (m_settings.displayReplaceString && visible))) {
                replacement = matcher.buildReplacement();
                ExpandFileTokens(replacement, file.path);
                replaceText = &replacement;
            }

            bool replaceThisHit = false;
            if (visible) {
                long lineNumber = 0;
                if (!file.binary) {
                    countLinesTo(hitAbs);
                    lineNumber = 1 + lineFeeds + ((buf[hitStart] == '\n' || buf[hitStart] == '\r') ? 1 : 0);
                }
                HitLineInput hl{buf, have, hitStart, hitLen, file.binary, lineNumber, hitAbs, m_settings.maxDisplayChars};
                size_t contextStart = 0;
                buildHitLineInto(m_hit.text, hl, activeCharClasses(), &contextStart);
                if (m_settings.showHitLines) {
                    setHitFields(m_hit, hl, contextStart);
                    m_results.addResultLines(m_hit);
                }
            }
            if (hooks && visible)
                replaceThisHit = hooks->decideHit(file, m_hit.text, *replaceText);
            if (m_stop.load())
                return ScanOutcome::Stopped;
            if (!hooks) {
                if (m_settings.displayReplaceString)
                    m_results.addResultLines(ResultEntry::replaceText(*replaceText, file.path));
                if (m_settings.stopAfterFirstHit)
                    endScan = true;
            } else if (replaceThisHit) {
                if (m_settings.displayReplaceString)
                    m_results.addResultLines(ResultEntry::replaceText(*replaceText, file.path));
                if (!writeInput(hitAbs) || (hooks->tracksReplacements() && !flushOutput(false)))
                    return ScanOutcome::Stopped;
                hooks->replacing(hitAbs, hitLen, replaceText->size());
                if (!emit(replaceText->data(), replaceText->size(), true))
                    return ScanOutcome::Stopped;
                writtenUpTo = hitAbs + static_cast<int64_t>(hitLen);
                file.sizeChange += static_cast<int64_t>(hitLen) - static_cast<int64_t>(replaceText->size());
                file.countReplacement(pairIndex);
                hooks->replaced();
            }
            // An empty hit moves the search on by one byte, so it never stalls.
            p = std::max(found.end, hitStart + 1);
        }

        if (endScan || last) {
            if (!endScan && !writeInput(blockPos + static_cast<int64_t>(have)))
                return ScanOutcome::Stopped;
            break;
        }
        // Everything before `resume` is decided. The block's tail from shortly before it
        // moves to the front of the buffer and the next read appends to it.
        const size_t resume = found.kind == MatchResult::NeedMore ? std::max(found.resume, std::min(p, have)) : have;
        if (!file.binary)
            countLinesTo(blockPos + static_cast<int64_t>(resume));
        if (!writeInput(blockPos + static_cast<int64_t>(resume)))
            return ScanOutcome::Stopped;
        const size_t keepFrom = resume - std::min(resume, keepBefore);
        std::memmove(buf, buf + keepFrom, have - keepFrom);
        have -= keepFrom;
        blockPos += static_cast<int64_t>(keepFrom);
        p = resume - keepFrom;
        if (have == B) {
            // The reserve above rules this out; should a matcher still make no progress,
            // a larger block does rather than a scan that never ends.
            m_buffer.resize(2 * B);
            B = m_buffer.size();
            buf = m_buffer.data();
        }
    }
    if (hooks && !flushOutput(false))
        return ScanOutcome::Stopped;
    return m_stop.load() ? ScanOutcome::Stopped : ScanOutcome::Done;
}

} // namespace tw
