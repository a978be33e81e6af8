#pragma once
// The temporary outputs of a replace worker. Pairs write them alternately, each reading the
// one before (as the writer's two files on the run's own thread); the last pair's output
// is the worker's staging tail, so that a changed file's final content is handed over
// with its report as a view that stays until the run's thread has committed the file,
// without a copy, and the next file's output goes on after it.
#include "core/StagingTail.h"
#include "platform/FileSystem.h"

#include <cstddef>
#include <memory>

namespace tw {

class ReplaceOutputs {
public:
    ReplaceOutputs(FileSystem& fs, std::shared_ptr<StagingBudget> budget) : m_fs(fs), m_tail(fs, std::move(budget)) {}

    // Makes the outputs that are missing (a second one only for more than one pair); false
    // when one cannot be made.
    [[nodiscard]] bool ready(size_t pairCount);
    // Output 0 or 1 (null when not made).
    File* at(int index);
    // The last pair's output, `file`, given up to whoever holds the result, as a view of
    // its bytes; null when `file` is not that output or the view cannot be taken.
    std::shared_ptr<File> handOver(File* file);

private:
    FileSystem& m_fs;
    StagingTail m_tail;
    std::unique_ptr<File> m_other; // the output of the pairs before the last one's turn
    int m_last = 0;                // the index the last pair writes (pairs alternate)
};

} // namespace tw
