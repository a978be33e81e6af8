#include "script/ScriptReaders.h"

#include "platform/Assert.h"

#include <cstdint>

namespace tw {

namespace {

// A cursor over the bytes of a binary-format file; every read checks the bytes left.
class BinaryCursor {
public:
    explicit BinaryCursor(std::string_view bytes) : m_bytes(bytes) {}

    bool u32(uint32_t* value)
    {
        if (left() < 4)
            return false;
        const auto* b = reinterpret_cast<const unsigned char*>(m_bytes.data() + m_pos);
        *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        m_pos += 4;
        return true;
    }
    bool flag(bool* value)
    {
        uint32_t v = 0;
        if (!u32(&v))
            return false;
        *value = v != 0;
        return true;
    }
    // A 16-bit little-endian length and that many bytes.
    bool text(std::string* value)
    {
        if (left() < 2)
            return false;
        const auto* b = reinterpret_cast<const unsigned char*>(m_bytes.data() + m_pos);
        const size_t length = size_t(b[0]) | size_t(b[1]) << 8;
        if (left() - 2 < length)
            return false;
        value->assign(m_bytes.substr(m_pos + 2, length));
        m_pos += 2 + length;
        TW_ASSERT(m_pos <= m_bytes.size());
        return true;
    }

private:
    size_t left() const { return m_bytes.size() - m_pos; }

    std::string_view m_bytes;
    size_t m_pos = 0; // the next byte to read; never beyond m_bytes.size()
};

bool readPair(BinaryCursor& in, SearchPair* pair)
{
    return in.text(&pair->searchText) && in.text(&pair->replaceText) && in.text(&pair->binarySearchBlock) &&
           in.text(&pair->binaryReplaceBlock) && in.flag(&pair->regularExpression) &&
           in.flag(&pair->caseSensitive) && in.flag(&pair->wholeWord);
}

} // namespace

bool readBinaryScript(std::string_view bytes, Script& script)
{
    BinaryCursor in(bytes.substr(4));
    uint32_t pairs = 0;
    if (!in.u32(&pairs))
        return false;
    // Each pair takes at least 20 bytes, so a count larger than the file runs out of bytes
    // after a bounded number of rounds.
    for (uint32_t i = 0; i < pairs; ++i) {
        if (script.pairs.size() >= kMaxScriptEntries)
            return true;
        SearchPair pair;
        if (!readPair(in, &pair))
            return false;
        script.pairs.push_back(std::move(pair));
    }
    uint32_t strings = 0;
    if (!in.u32(&strings))
        return false;
    // Path and mask alternate; a last path without its mask is dropped.
    for (uint32_t i = 0; i + 1 < strings; i += 2) {
        if (script.pairs.size() + script.paths.size() >= kMaxScriptEntries)
            return true;
        PathMaskPair entry;
        if (!in.text(&entry.path) || !in.text(&entry.mask))
            return false;
        script.paths.push_back(std::move(entry));
    }
    return false;
}

} // namespace tw
