#include "select/FileList.h"

#include "platform/Assert.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

// Appends `n` as 7 bits a byte, low bits first, the high bit set when more follow.
char* putNumber(char* out, size_t n)
{
    for (; n > 0x7F; n >>= 7)
        *out++ = static_cast<char>((n & 0x7F) | 0x80);
    *out++ = static_cast<char>(n);
    return out;
}

size_t getNumber(const char* data, size_t* offset)
{
    size_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(data[(*offset)++]);
        n |= static_cast<size_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return n;
    }
}

// The bytes `name` shares with the start of `previous`, and then with its end (not counting
// the shared start again in either).
std::pair<size_t, size_t> sharedWith(std::string_view previous, std::string_view name)
{
    const size_t most = std::min(previous.size(), name.size());
    size_t start = 0;
    while (start < most && previous[start] == name[start])
        ++start;
    size_t end = 0;
    while (start + end < most && previous[previous.size() - 1 - end] == name[name.size() - 1 - end])
        ++end;
    return {start, end};
}

} // namespace

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
    if (m_runs.empty() || m_lastDirectory != directory) {
        size_t shared = 0;
        if (m_runs.size() % kRunStride != 0)
            while (shared < std::min(directory.size(), m_lastDirectory.size()) &&
                   directory[shared] == m_lastDirectory[shared])
                ++shared;
        m_runs.push_back(Run{m_count, m_directories.size(), static_cast<uint32_t>(directory.size() - shared),
                             static_cast<uint32_t>(shared)});
        m_directories.append(directory.substr(shared));
        m_lastDirectory.assign(directory);
    }
    const bool marked = (m_count - m_base) % kStride == 0;
    appendRecord(marked ? std::string_view() : std::string_view(m_lastName), name);
    m_lastName.assign(name);
    ++m_count;
    TW_ASSERT(m_marks.size() == (m_count - m_base + kStride - 1) / kStride);
}

void FileList::appendRecord(std::string_view previous, std::string_view name)
{
    const auto [start, end] = sharedWith(previous, name);
    const size_t middle = name.size() - start - end;
    constexpr size_t kShortMiddle = 64;
    char head[1 + 3 * 10 + kShortMiddle];
    char* h = head;
    if (name.size() == previous.size() && start < 16 && middle >= 1 && middle <= 8) {
        *h++ = static_cast<char>(start << 3 | (middle - 1));
    } else {
        *h++ = static_cast<char>(0x80 | std::min<size_t>(start, 15) << 3 | std::min<size_t>(end, 7));
        if (start >= 15)
            h = putNumber(h, start - 15);
        if (end >= 7)
            h = putNumber(h, end - 7);
        h = putNumber(h, middle);
    }
    const size_t headBytes = static_cast<size_t>(h - head);
    const size_t record = headBytes + middle;
    if (m_blocks.empty() || m_blocks.back().size() + record > kBlockBytes)
        m_blocks.emplace_back();
    std::vector<char>& block = m_blocks.back();
    if (block.size() + record > block.capacity())
        // Grown by doubling, but never past kBlockBytes (a vector reserves exactly what it
        // is asked for; a string would go on doubling and leave half of a full block unused).
        block.reserve(std::max(block.size() + record, std::min(kBlockBytes, 2 * block.capacity())));
    if ((m_count - m_base) % kStride == 0)
        m_marks.push_back(Mark{static_cast<uint32_t>(m_blocks.size() - 1), static_cast<uint32_t>(block.size())});
    if (middle <= kShortMiddle) {
        // One copy into the block: the record is put together here first.
        std::memcpy(h, name.data() + start, middle);
        block.insert(block.end(), head, h + middle);
    } else {
        block.insert(block.end(), head, h);
        block.insert(block.end(), name.data() + start, name.data() + start + middle);
    }
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
    std::string().swap(m_lastDirectory);
    std::string().swap(m_lastName);
    m_count = 0;
    m_base = 0;
}

size_t FileList::memoryBytes() const
{
    size_t bytes = m_blocks.capacity() * sizeof(std::vector<char>) + m_marks.capacity() * sizeof(Mark) +
                   m_runs.capacity() * sizeof(Run) + m_directories.capacity() + m_lastDirectory.capacity() +
                   m_lastName.capacity();
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

std::string FileList::IndexReader::operator()(size_t i)
{
    if (!m_cursor || m_cursor->index() != i)
        m_cursor.emplace(m_list, i);
    return std::string(m_cursor->next());
}

std::string FileList::directoryOf(size_t r) const
{
    std::string directory;
    for (size_t k = r - r % kRunStride; k <= r; ++k) {
        TW_ASSERT(m_runs[k].shared <= directory.size());
        directory.resize(m_runs[k].shared);
        directory += restOf(m_runs[k]);
    }
    return directory;
}

size_t FileList::runOf(size_t i) const
{
    TW_ASSERT(!m_runs.empty() && m_runs.front().first == m_base);
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), i,
                                        [](size_t index, const Run& run) { return index < run.first; });
    return static_cast<size_t>(after - m_runs.begin()) - 1;
}

void FileList::readRecord(size_t* block, size_t* offset, std::string* path, size_t nameStart) const
{
    if (*offset >= m_blocks[*block].size()) {
        ++*block;
        *offset = 0;
    }
    const std::vector<char>& b = m_blocks[*block];
    const auto head = static_cast<unsigned char>(b[(*offset)++]);
    const size_t before = path->size() - nameStart;
    if (!(head & 0x80)) {
        // As long as the name before, with a few bytes replaced.
        const size_t start = head >> 3, middle = (head & 7u) + 1;
        TW_ASSERT(start + middle <= before && *offset + middle <= b.size());
        std::memcpy(path->data() + nameStart + start, b.data() + *offset, middle);
        *offset += middle;
        return;
    }
    size_t start = (head >> 3) & 15u, end = head & 7u;
    if (start == 15)
        start += getNumber(b.data(), offset);
    if (end == 7)
        end += getNumber(b.data(), offset);
    const size_t middle = getNumber(b.data(), offset);
    TW_ASSERT(start + end <= before && *offset + middle <= b.size());
    // The new name: the start of the one before, the middle, the end of the one before
    // (moved into place first, as the middle may cover where it was).
    const size_t length = start + middle + end;
    if (length > before)
        path->resize(nameStart + length);
    char* name = path->data() + nameStart;
    if (end > 0)
        std::memmove(name + start + middle, name + before - end, end);
    std::memcpy(name + start, b.data() + *offset, middle);
    path->resize(nameStart + length);
    *offset += middle;
}

FileList::Cursor::Cursor(const FileList& list, size_t first)
    : m_list(list), m_index(first), m_block(0), m_offset(0), m_run(SIZE_MAX), m_dirSize(0)
{
    TW_ASSERT(list.m_base <= first && first <= list.m_count);
    if (first == list.m_count) {
        // At the end: the next entry added is read from where the last block ends, over
        // the last name.
        if (!list.m_blocks.empty()) {
            m_block = list.m_blocks.size() - 1;
            m_offset = list.m_blocks.back().size();
        }
        m_path = list.m_lastName;
        return;
    }
    const size_t fromBase = first - list.m_base;
    const Mark& mark = list.m_marks[fromBase / kStride];
    m_block = mark.block;
    m_offset = mark.offset;
    for (size_t k = fromBase % kStride; k > 0; --k)
        list.readRecord(&m_block, &m_offset, &m_path, 0);
}

std::string_view FileList::Cursor::next()
{
    TW_ASSERT(!atEnd());
    const std::vector<Run>& runs = m_list.m_runs;
    if (m_run == SIZE_MAX || (m_run + 1 < runs.size() && runs[m_run + 1].first <= m_index)) {
        // Another directory in front of the name before: made from the one before it when
        // the cursor has just read that one's entries.
        const std::string before = m_path.substr(m_dirSize);
        if (m_run != SIZE_MAX && runs[m_run + 1].first == m_index) {
            const Run& run = runs[++m_run];
            TW_ASSERT(run.shared <= m_dirSize);
            m_path.resize(run.shared);
            m_path += m_list.restOf(run);
        } else {
            m_run = m_list.runOf(m_index);
            m_path = m_list.directoryOf(m_run);
        }
        m_dirSize = m_path.size();
        m_path += before;
    }
    m_list.readRecord(&m_block, &m_offset, &m_path, m_dirSize);
    ++m_index;
    return m_path;
}

} // namespace tw
