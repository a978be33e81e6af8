#include "results/ResultsList.h"

#include <algorithm>

namespace tw {

std::string DisplayName(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

std::string OutputForm(std::string_view text, std::string_view beforeHit, std::string_view afterHit)
{
    std::string out(text);
    if (const size_t n = out.find(kNameMarker); n != std::string::npos) {
        // File lines: the name after the marker is shown with its control bytes as "?".
        out.erase(n, kNameMarker.size());
        out.replace(n, std::string::npos, DisplayName(std::string_view(out).substr(n)));
        return out;
    }
    // The end marker is replaced only after a begin marker, and only the first after it.
    if (const size_t b = out.find(kHitBegin); b != std::string::npos) {
        out.replace(b, kHitBegin.size(), beforeHit);
        if (const size_t e = out.find(kHitEnd, b + beforeHit.size()); e != std::string::npos)
            out.replace(e, kHitEnd.size(), afterHit);
    }
    return out;
}

ResultsList::~ResultsList() { endHoldBack(); }

void ResultsList::setPendingFile(const std::string& path, const std::string& archivePath)
{
    m_pending = true;
    m_pendingPath = path;
    m_pendingArchive = archivePath;
}

void ResultsList::emitPendingFileLine()
{
    if (!m_pending)
        return;
    m_pending = false;
    std::string text(kFileLinePrefix);
    text += kNameMarker;
    if (m_pendingArchive.empty()) {
        text += m_pendingPath;
    } else {
        text += m_pendingArchive;
        text += " | ";
        text += m_pendingPath;
    }
    addLine(ResultEntry{std::move(text), 0});
}

void ResultsList::addLine(const ResultEntry& entry)
{
    if (!m_store) {
        deliver(entry);
        return;
    }
    const auto len = static_cast<uint32_t>(entry.text.size());
    const auto hit = static_cast<uint32_t>(entry.hitLength);
    for (int i = 0; i < 4; ++i)
        m_storeBuffer += static_cast<char>(len >> (8 * i));
    for (int i = 0; i < 4; ++i)
        m_storeBuffer += static_cast<char>(hit >> (8 * i));
    m_storeBuffer += entry.text;
    if (m_storeBuffer.size() >= kSpillBytes)
        spill(); // a failure is reported when the lines are flushed

}

void ResultsList::deliver(const ResultEntry& entry)
{
    if (m_view && !(m_viewOnlyWithoutOutput && m_output))
        m_view->appendLine(entry);
    if (m_output && !m_outputFailed) {
        std::string line = OutputForm(entry.text, m_beforeHit, m_afterHit);
        line += "\r\n";
        m_outputFailed = !m_output->write(line.data(), line.size());
    }
}

bool ResultsList::beginHoldBack()
{
    endHoldBack();
    // An unnamed file: nothing is left behind however the program ends.
    m_store = m_fs.createScratch("TW");
    m_storeSize = 0;
    m_storeBuffer.clear();
    m_spillFailed = false;
    return m_store != nullptr;
}

bool ResultsList::spill()
{
    if (m_storeBuffer.empty())
        return true;
    const bool ok = m_store->seek(m_storeSize) && m_store->write(m_storeBuffer.data(), m_storeBuffer.size());
    if (ok)
        m_storeSize += static_cast<int64_t>(m_storeBuffer.size());
    else
        m_spillFailed = true;
    m_storeBuffer.clear();
    return ok;
}

bool ResultsList::forEachHeldBack(const std::function<void(ResultEntry&&)>& visit)
{
    if (!m_store)
        return false;
    // The records are read back in bounded chunks, so a file with millions of held-back
    // lines needs no more memory than one chunk and one line.
    std::string chunk;
    int64_t readPos = 0;
    size_t p = 0;
    auto need = [&](size_t bytes) {
        while (chunk.size() - p < bytes && readPos < m_storeSize) {
            chunk.erase(0, p);
            p = 0;
            const size_t want = static_cast<size_t>(std::min<int64_t>(kSpillBytes, m_storeSize - readPos));
            const size_t old = chunk.size();
            chunk.resize(old + want);
            if (!m_store->seek(readPos) || m_store->read(chunk.data() + old, want) != static_cast<int64_t>(want)) {
                chunk.resize(old);
                readPos = m_storeSize; // unreadable: the rest of the file is lost
                m_spillFailed = true;
                break;
            }
            readPos += static_cast<int64_t>(want);
        }
        return chunk.size() - p >= bytes;
    };
    auto records = [&](bool fromFile) {
        for (;;) {
            if (fromFile ? !need(8) : chunk.size() - p < 8)
                return;
            uint32_t len = 0, hit = 0;
            for (int i = 0; i < 4; ++i) {
                len |= static_cast<uint32_t>(static_cast<uint8_t>(chunk[p + i])) << (8 * i);
                hit |= static_cast<uint32_t>(static_cast<uint8_t>(chunk[p + 4 + i])) << (8 * i);
            }
            if (fromFile ? !need(8 + size_t{len}) : chunk.size() - p < 8 + size_t{len})
                return;
            p += 8;
            visit(ResultEntry{chunk.substr(p, len), static_cast<int>(hit)});
            p += len;
        }
    };
    records(true);
    // Records never straddle the file and the buffer: each is appended to the buffer
    // whole, and the buffer is written whole.
    chunk.assign(m_storeBuffer);
    p = 0;
    records(false);
    return true;
}

void ResultsList::flushHeldBack()
{
    if (!m_store)
        return;
    forEachHeldBack([this](ResultEntry&& e) { deliver(e); });
    const bool lost = m_spillFailed;
    discardHeldBack();
    if (lost)
        deliver(ResultEntry{kHeldBackLost, 0});
}

void ResultsList::discardHeldBack()
{
    if (!m_store)
        return;
    if (m_storeSize > 0 && !m_store->truncate(0))
        m_spillFailed = true;
    m_storeSize = 0;
    m_storeBuffer.clear();
    m_spillFailed = false;
}

void ResultsList::endHoldBack()
{
    if (!m_store)
        return;
    flushHeldBack();
    m_store.reset();
}

std::string ResultsList::heldBackText()
{
    std::string out;
    forEachHeldBack([&](ResultEntry&& e) {
        out += OutputForm(e.text, m_beforeHit, m_afterHit);
        out += '\n';
    });
    return out;
}

void ResultsList::writeToOutput(const std::string& text)
{
    if (m_output && !m_outputFailed)
        m_outputFailed = !m_output->write(text.data(), text.size());
}

} // namespace tw
