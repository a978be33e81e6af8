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
    // Records hold the length, the hit length and the text; write errors lose the line
    // from the store only.
    const auto len = static_cast<uint32_t>(entry.text.size());
    const auto hit = static_cast<uint32_t>(entry.hitLength);
    unsigned char head[8];
    for (int i = 0; i < 4; ++i) {
        head[i] = static_cast<unsigned char>(len >> (8 * i));
        head[4 + i] = static_cast<unsigned char>(hit >> (8 * i));
    }
    if (m_store->write(head, sizeof head) && m_store->write(entry.text.data(), entry.text.size()))
        m_storeSize += static_cast<int64_t>(sizeof head + entry.text.size());
    else
        m_store->seek(m_storeSize);
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
    if (m_store)
        m_storePath = m_store->path();
    return m_store != nullptr;
}

bool ResultsList::readHeldBack(std::vector<std::string>* lines)
{
    if (!m_store || !m_store->seek(0))
        return false;
    std::vector<ResultEntry> entries;
    int64_t left = m_storeSize;
    while (left >= 8) {
        unsigned char head[8];
        if (m_store->read(head, 8) != 8)
            break;
        uint32_t len = 0, hit = 0;
        for (int i = 0; i < 4; ++i) {
            len |= static_cast<uint32_t>(head[i]) << (8 * i);
            hit |= static_cast<uint32_t>(head[4 + i]) << (8 * i);
        }
        std::string text(len, '\0');
        if (len > 0 && m_store->read(text.data(), len) != static_cast<int64_t>(len))
            break;
        left -= 8 + static_cast<int64_t>(len);
        lines->push_back(std::move(text));
        lines->push_back(std::to_string(hit));
    }
    m_store->seek(m_storeSize);
    return true;
}

void ResultsList::flushHeldBack()
{
    std::vector<std::string> items;
    if (!readHeldBack(&items))
        return;
    for (size_t i = 0; i + 1 < items.size(); i += 2)
        deliver(ResultEntry{std::move(items[i]), std::stoi(items[i + 1])});
    discardHeldBack();
}

void ResultsList::discardHeldBack()
{
    if (!m_store)
        return;
    m_store->truncate(0);
    m_store->seek(0);
    m_storeSize = 0;
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
    std::vector<std::string> items;
    std::string out;
    if (!readHeldBack(&items))
        return out;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        out += OutputForm(items[i], m_beforeHit, m_afterHit);
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
