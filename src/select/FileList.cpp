#include "select/FileList.h"

#include "platform/Assert.h"

#include <algorithm>

namespace tw {

void FileList::add(std::string_view path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        add(std::string_view(), path);
    else
        add(path.substr(0, slash + 1), path.substr(slash + 1));
}

void FileList::add(std::string_view directory, std::string_view name)
{
    if (m_runs.empty() || directoryOf(m_runs.back()) != directory) {
        m_runs.push_back(Run{m_count, m_directories.size(), directory.size()});
        m_directories.append(directory);
    }
    char length[10];
    size_t lengthBytes = 0;
    for (size_t n = name.size();; n >>= 7) {
        length[lengthBytes++] = static_cast<char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        if (n <= 0x7F)
            break;
    }
    const size_t record = lengthBytes + name.size();
    if (m_blocks.empty() || m_blocks.back().size() + record > kBlockBytes)
        m_blocks.emplace_back();
    std::vector<char>& block = m_blocks.back();
    if (block.size() + record > block.capacity())
        // Grown by doubling, but never past kBlockBytes (a vector reserves exactly what it
        // is asked for; a string would go on doubling and leave half of a full block unused).
        block.reserve(std::max(block.size() + record, std::min(kBlockBytes, 2 * block.capacity())));
    if ((m_count - m_base) % kStride == 0)
        m_marks.push_back(Mark{static_cast<uint32_t>(m_blocks.size() - 1), static_cast<uint32_t>(block.size())});
    block.insert(block.end(), length, length + lengthBytes);
    block.insert(block.end(), name.begin(), name.end());
    ++m_count;
    TW_ASSERT(m_marks.size() == (m_count - m_base + kStride - 1) / kStride);
}

void FileList::forget()
{
    const size_t count = m_count;
    clear();
    m_count = count;
    m_base = count;
}

void FileList::clear()
{
    // Swapped out, so that a list used again starts small.
    std::vector<std::vector<char>>().swap(m_blocks);
    std::vector<Mark>().swap(m_marks);
    std::vector<Run>().swap(m_runs);
    std::string().swap(m_directories);
    m_count = 0;
    m_base = 0;
}

size_t FileList::memoryBytes() const
{
    size_t bytes = m_blocks.capacity() * sizeof(std::vector<char>) + m_marks.capacity() * sizeof(Mark) +
                   m_runs.capacity() * sizeof(Run) + m_directories.capacity();
    for (const std::vector<char>& b : m_blocks)
        bytes += b.capacity();
    return bytes;
}

std::string FileList::at(size_t i) const
{
    TW_ASSERT(m_base <= i && i < m_count);
    Cursor cursor(*this, i);
    return std::string(cursor.next());
}

size_t FileList::runOf(size_t i) const
{
    TW_ASSERT(!m_runs.empty() && m_runs.front().first == m_base);
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), i,
                                        [](size_t index, const Run& run) { return index < run.first; });
    return static_cast<size_t>(after - m_runs.begin()) - 1;
}

std::string_view FileList::readRecord(size_t* block, size_t* offset) const
{
    if (*offset >= m_blocks[*block].size()) {
        ++*block;
        *offset = 0;
    }
    const std::vector<char>& b = m_blocks[*block];
    size_t length = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(b[(*offset)++]);
        length |= static_cast<size_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            break;
    }
    TW_ASSERT(*offset + length <= b.size());
    const std::string_view name(b.data() + *offset, length);
    *offset += length;
    return name;
}

FileList::Cursor::Cursor(const FileList& list, size_t first)
    : m_list(list), m_index(first), m_block(0), m_offset(0), m_run(SIZE_MAX), m_dirSize(0)
{
    TW_ASSERT(list.m_base <= first && first <= list.m_count);
    if (first == list.m_count) {
        // At the end: the next entry added is read from where the last block ends.
        if (!list.m_blocks.empty()) {
            m_block = list.m_blocks.size() - 1;
            m_offset = list.m_blocks.back().size();
        }
        return;
    }
    const size_t fromBase = first - list.m_base;
    const Mark& mark = list.m_marks[fromBase / kStride];
    m_block = mark.block;
    m_offset = mark.offset;
    for (size_t k = fromBase % kStride; k > 0; --k)
        list.readRecord(&m_block, &m_offset);
}

std::string_view FileList::Cursor::next()
{
    TW_ASSERT(!atEnd());
    const std::vector<Run>& runs = m_list.m_runs;
    if (m_run == SIZE_MAX || (m_run + 1 < runs.size() && runs[m_run + 1].first <= m_index)) {
        m_run = m_list.runOf(m_index);
        m_path.assign(m_list.directoryOf(runs[m_run]));
        m_dirSize = m_path.size();
    }
    m_path.resize(m_dirSize);
    m_path.append(m_list.readRecord(&m_block, &m_offset));
    ++m_index;
    return m_path;
}

} // namespace tw
