#include "results/ResultsList.h"

namespace tw {

std::string OutputForm(std::string_view text, std::string_view beforeHit, std::string_view afterHit)
{
    std::string out(text);
    if (const size_t n = out.find(kNameMarker); n != std::string::npos) {
        out.erase(n, kNameMarker.size());
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
    if (m_storeBuffer.size() < kSpillBytes)
        return;
    // Write errors lose the lines from the store only.
    if (m_store->seek(m_storeSize) && m_store->write(m_storeBuffer.data(), m_storeBuffer.size()))
        m_storeSize += static_cast<int64_t>(m_storeBuffer.size());
    m_storeBuffer.clear();
}

void ResultsList::deliver(const ResultEntry& entry)
{
    if (m_view)
        m_view->appendLine(entry);
    if (m_output) {
        std::string line = OutputForm(entry.text, m_beforeHit, m_afterHit);
        line += "\r\n";
        m_output->write(line.data(), line.size()); // output-file errors are ignored
    }
}

bool ResultsList::beginHoldBack()
{
    endHoldBack();
    m_store = m_fs.createTemp("TW");
    m_storeSize = 0;
    m_storeBuffer.clear();
    if (m_store)
        m_storePath = m_store->path();
    return m_store != nullptr;
}

bool ResultsList::readHeldBack(std::vector<ResultEntry>* lines)
{
    if (!m_store)
        return false;
    std::string records;
    if (m_storeSize > 0) {
        records.resize(static_cast<size_t>(m_storeSize));
        if (!m_store->seek(0) || m_store->read(records.data(), records.size()) != m_storeSize)
            records.clear();
    }
    records += m_storeBuffer;
    size_t p = 0;
    while (records.size() - p >= 8) {
        uint32_t len = 0, hit = 0;
        for (int i = 0; i < 4; ++i) {
            len |= static_cast<uint32_t>(static_cast<uint8_t>(records[p + i])) << (8 * i);
            hit |= static_cast<uint32_t>(static_cast<uint8_t>(records[p + 4 + i])) << (8 * i);
        }
        p += 8;
        if (records.size() - p < len)
            break;
        lines->push_back(ResultEntry{records.substr(p, len), static_cast<int>(hit)});
        p += len;
    }
    return true;
}

void ResultsList::flushHeldBack()
{
    std::vector<ResultEntry> items;
    if (!readHeldBack(&items))
        return;
    discardHeldBack();
    for (const ResultEntry& e : items)
        deliver(e);
}

void ResultsList::discardHeldBack()
{
    if (!m_store)
        return;
    if (m_storeSize > 0)
        m_store->truncate(0);
    m_storeSize = 0;
    m_storeBuffer.clear();
}

void ResultsList::endHoldBack()
{
    if (!m_store)
        return;
    flushHeldBack();
    m_store.reset();
    m_fs.removeFile(m_storePath);
    m_storePath.clear();
}

std::string ResultsList::heldBackText()
{
    std::vector<ResultEntry> items;
    std::string out;
    if (!readHeldBack(&items))
        return out;
    for (const ResultEntry& e : items) {
        out += OutputForm(e.text, m_beforeHit, m_afterHit);
        out += '\n';
    }
    return out;
}

void ResultsList::writeToOutput(const std::string& text)
{
    if (m_output)
        m_output->write(text.data(), text.size());
}

} // namespace tw
