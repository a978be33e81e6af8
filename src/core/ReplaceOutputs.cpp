#include "core/ReplaceOutputs.h"

namespace tw {

bool ReplaceOutputs::ready(size_t pairCount)
{
    m_last = pairCount > 0 ? static_cast<int>((pairCount - 1) % 2) : 0;
    if (pairCount > 1 && !m_other)
        m_other = m_fs.createScratch("TW");
    return m_tail.ready() && (pairCount <= 1 || m_other);
}

File* ReplaceOutputs::at(int index)
{
    if (index == m_last)
        return &m_tail;
    return index == 1 - m_last ? m_other.get() : nullptr;
}

std::shared_ptr<File> ReplaceOutputs::handOver(File* file)
{
    return file == &m_tail ? m_tail.keep() : nullptr;
}

} // namespace tw
