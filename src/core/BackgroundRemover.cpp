#include "core/BackgroundRemover.h"

#include <iterator>

namespace tw {

void BackgroundRemover::remove(std::vector<KnownFile> files)
{
    if (m_queue.empty())
        m_queue = std::move(files);
    else
        m_queue.insert(m_queue.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
}

void BackgroundRemover::finish()
{
    if (m_queue.empty())
        return;
    m_fs.removeKnownFiles(m_queue);
    m_queue.clear();
}

} // namespace tw
