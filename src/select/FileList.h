#pragma once
// The ordered list of selected files: one growing block of NUL-terminated full paths,
// read back in insertion order.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class FileList {
public:
    void add(std::string_view path)
    {
        m_offsets.push_back(m_block.size());
        m_block.append(path);
        m_block.push_back('\0');
    }
    size_t size() const { return m_offsets.size(); }
    bool empty() const { return m_offsets.empty(); }
    std::string_view at(size_t i) const
    {
        const size_t b = m_offsets[i];
        const size_t e = (i + 1 < m_offsets.size() ? m_offsets[i + 1] : m_block.size()) - 1;
        return std::string_view(m_block).substr(b, e - b);
    }
    void clear()
    {
        m_block.clear();
        m_offsets.clear();
    }

private:
    std::string m_block;          // every path followed by a NUL
    std::vector<size_t> m_offsets; // start of entry i in m_block
};

} // namespace tw
