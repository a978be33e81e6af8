#include "core/ReplaceOutputs.h"

#include "platform/Assert.h"

namespace tw {

bool ReplaceOutputs::ready(size_t pairCount)
{
    const size_t count = pairCount > 1 ? 2 : 1;
    for (size_t i = 0; i < count; ++i)
        if (!m_files[i]) {
            m_files[i] = m_spare.take();
            if (!m_files[i])
                m_files[i] = m_fs.createScratch("TW");
            if (!m_files[i])
                return false;
        }
    return true;
}

File* ReplaceOutputs::at(int index) const
{
    return index >= 0 && index < 2 ? m_files[index].get() : nullptr;
}

std::shared_ptr<File> ReplaceOutputs::handOver(File* file)
{
    for (std::shared_ptr<File>& slot : m_files)
        if (slot && slot.get() == file)
            return std::move(slot);
    TW_ASSERT(!"handOver: not one of the outputs");
    return nullptr;
}

} // namespace tw
