#include "core/FileScanner.h"

#include "core/HitLine.h"
#include "engine/ReplaceTokens.h"
#include "engine/SrchPattern.h"

#include <algorithm>

namespace tw {

FileScanner::FileScanner(const ScanSettings& settings, ResultSink& results, RunHost& host, std::atomic<bool>& stop)
    : m_settings(settings), m_results(results), m_host(host), m_stop(stop)
{
    m_buffer.resize(std::max<size_t>(m_settings.blockSize, 16));
}

void FileScanner::reserveFor(size_t extent)
{
    // Two hit extents plus context always fit, so every block makes progress.
    const size_t need = 2 * extent + 4;
    if (m_buffer.size() < need)
        m_buffer.resize(need);
}

ScanOutcome FileScanner::runSpecial(File& in, ActivePair& pair, FileState& file, ReplaceHooks& hooks)
{
    // Prepend and reformat act before the first block; append after the last. Between
    // them the input is copied unchanged.
    if (pair.special == SpecialOp::Prepend || pair.special == SpecialOp::Reformat) {
        const ReplaceHooks::Step step = hooks.beforeFirstBlock(file, pair, in);
        if (step == ReplaceHooks::Step::Abandon)
            return ScanOutcome::ReadError;
        if (step == ReplaceHooks::Step::Stop)
            return ScanOutcome::Stopped;
        if (step == ReplaceHooks::Step::Finished)
            return ScanOutcome::Done;
        if (!in.seek(0))
            return ScanOutcome::ReadError;
    }
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
        if (!hooks.output().write(buf, static_cast<size_t>(got))) {
            hooks.writeFailed(file, false);
            return ScanOutcome::Stopped;
        }
    }
    if (pair.special == SpecialOp::Append && hooks.hitVisible()) {
        const ReplaceHooks::Step step = hooks.atEnd(file, pair);
        if (step == ReplaceHooks::Step::Stop)
            return ScanOutcome::Stopped;
    }
    return m_stop.load() ? ScanOutcome::Stopped : ScanOutcome::Done;
}

ScanOutcome FileScanner::scan(File& in, ActivePair& pair, FileState& file, bool firstPair, ReplaceHooks* hooks)
{
    const size_t B = m_buffer.size();
    uint8_t* const buf = m_buffer.data();
    const bool wholeWord = pair.literal && pair.literal->wholeWord();
    const size_t L = pair.literal ? pair.literal->length() : 0;
    // A pattern's hits are at most its width estimate long; consecutive blocks overlap by
    // that plus the length of the last hit (the pattern text before the first one).
    const size_t width = pair.pattern ? static_cast<size_t>(pair.pattern->widthEstimate()) : 0;
    size_t lastHitLength = pair.patternLength;
    std::string replacement; // the replace text of the current hit

    int64_t blockPos = 0;      // absolute offset of buf[0]
    int64_t filePos = 0;       // where the input stands now
    size_t scanFrom = 0;       // in-block index where the scan of this block starts
    int64_t lfCountedUpTo = 0; // line feeds before this absolute offset are counted
    long lineFeeds = 0;
    int64_t writtenUpTo = 0;   // replace mode: input bytes before this offset are in the output
    pair.hitsInFile = 0;
    pair.replacementsInFile = 0;
    if (!in.seek(0))
        return ScanOutcome::SeekError;
    if (hooks && pair.special != SpecialOp::None) {
        const ScanOutcome o = runSpecial(in, pair, file, *hooks);
        hooks->endPair();
        return o;
    }

    auto countLinesTo = [&](int64_t absEnd) {
        if (absEnd <= lfCountedUpTo)
            return;
        const size_t from = static_cast<size_t>(lfCountedUpTo - blockPos);
        const size_t to = static_cast<size_t>(absEnd - blockPos);
        lineFeeds += static_cast<long>(CountLineFeeds(buf + from, buf + to));
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

    for (;;) {
        m_host.pump();
        if (filePos != blockPos && !in.seek(blockPos))
            return ScanOutcome::ReadError;
        const int64_t got = in.read(buf, B);
        if (got < 0)
            return ScanOutcome::ReadError;
        filePos = blockPos + got;
        const auto n = static_cast<size_t>(got);
        if (n == 0)
            break;
        if (m_stop.load())
            return ScanOutcome::Stopped;
        if (blockPos == 0 && firstPair)
            file.binary = LooksBinary(buf, n);
        const bool last = n < B;

        // Candidates must start before startLimit; later ones are decided by the next block.
        size_t startLimit;
        if (last)
            startLimit = n;
        else if (pair.literal)
            startLimit = n - std::min(n, wholeWord ? L : L - 1);
        else if (pair.pattern)
            startLimit = n - std::min(n / 2, width + std::max<size_t>(lastHitLength, 1) - 1);
        else
            startLimit = n;
        size_t p = scanFrom;
        bool endScan = false;
        while (!endScan && p < startLimit) {
            size_t hitStart = LiteralMatcher::npos, hitLen = 0;
            if (pair.literal) {
                hitStart = pair.literal->findNext(buf, n, p, startLimit);
                hitLen = L;
            } else if (pair.pattern) {
                size_t hs = 0, he = 0;
                if (!pair.pattern->findNext(buf, n, p, blockPos == 0, last, &hs, &he))
                    break;
                hitStart = hs;
                hitLen = he - hs;
            }
            if (hitStart == LiteralMatcher::npos || hitStart >= startLimit)
                break;
            const int64_t hitAbs = blockPos + static_cast<int64_t>(hitStart);
            ++pair.hitsInFile;
            ++file.hits;
            const std::string* replaceText = &pair.replaceText;
            if (pair.pattern) {
                lastHitLength = hitLen;
                // The replace text of a pattern is built per hit, then its file tokens.
                if (hooks || (m_settings.displayReplaceString && (!hooks || hooks->hitVisible()))) {
                    replacement = pair.pattern->buildReplacement();
                    ExpandFileTokens(replacement, file.path);
                    replaceText = &replacement;
                }
            }

            std::string hitLine;
            const bool visible = !hooks || hooks->hitVisible();
            bool replaceThisHit = false;
            if (visible) {
                long lineNumber = 0;
                if (!file.binary) {
                    countLinesTo(hitAbs);
                    lineNumber = 1 + lineFeeds + ((buf[hitStart] == '\n' || buf[hitStart] == '\r') ? 1 : 0);
                }
                HitLineInput hl{buf, n, hitStart, hitLen, file.binary, lineNumber, hitAbs, m_settings.maxDisplayChars};
                hitLine = BuildHitLine(hl);
                if (m_settings.showHitLines)
                    m_results.addResultLines(HitEntry(hl, hitLine, file.path));
            }
            if (hooks && visible)
                replaceThisHit = hooks->decideHit(file, hitLine, *replaceText);
            if (m_stop.load())
                return ScanOutcome::Stopped;
            const size_t hitEnd = std::max(hitStart + hitLen, hitStart + 1);
            if (!hooks) {
                if (m_settings.displayReplaceString)
                    m_results.addResultLines(ResultEntry::replaceText(*replaceText, file.path));
                if (m_settings.stopAfterFirstHit)
                    endScan = true;
            } else if (replaceThisHit) {
                if (m_settings.displayReplaceString)
                    m_results.addResultLines(ResultEntry::replaceText(*replaceText, file.path));
                if (!writeInput(hitAbs))
                    return ScanOutcome::Stopped;
                if (!emit(replaceText->data(), replaceText->size(), true))
                    return ScanOutcome::Stopped;
                writtenUpTo = hitAbs + static_cast<int64_t>(hitLen);
                file.sizeChange += static_cast<int64_t>(hitLen) - static_cast<int64_t>(replaceText->size());
                ++pair.replacementsInFile;
                ++file.replacements;
                hooks->replaced();
            }
            p = hitEnd;
        }

        if (!hooks && m_settings.stopAfterFirstHit && file.hits > 0)
            break;
        if (last) {
            if (!writeInput(blockPos + static_cast<int64_t>(n)))
                return ScanOutcome::Stopped;
            break;
        }
        // Everything before `resume` is decided; the next block starts there (one byte
        // earlier for a whole-word search, so the byte before a candidate is at hand).
        const size_t resume = std::max(p, startLimit);
        const size_t back = wholeWord ? 1 : 0;
        if (!file.binary)
            countLinesTo(blockPos + static_cast<int64_t>(resume));
        if (!writeInput(blockPos + static_cast<int64_t>(resume)))
            return ScanOutcome::Stopped;
        blockPos += static_cast<int64_t>(resume - back);
        scanFrom = back;
    }
    if (hooks && !flushOutput(false))
        return ScanOutcome::Stopped;
    return m_stop.load() ? ScanOutcome::Stopped : ScanOutcome::Done;
}

} // namespace tw
