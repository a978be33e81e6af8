#pragma once
// The temporary outputs of a replace worker: two unnamed files in the temporary directory
// (the second only for more than one pair; pairs write them alternately, each reading the
// one before), as the writer keeps them on the run's own thread. A changed file's final
// output is wanted until the run's thread has committed the file, so the worker hands that
// file over with the file's report and takes a fresh one for the next file.
#include "core/SpareOutputs.h"
#include "platform/FileSystem.h"

#include <cstddef>
#include <memory>

namespace tw {

class ReplaceOutputs {
public:
    ReplaceOutputs(FileSystem& fs, SpareOutputs& spare) : m_fs(fs), m_spare(spare) {}

    // Makes the outputs that are missing (the second only for more than one pair); false
    // when one cannot be made.
    [[nodiscard]] bool ready(size_t pairCount);
    // Output 0 or 1 (null when not made).
    File* at(int index) const;
    // Gives up `file`, one of the outputs, to whoever holds the result; its place stays
    // empty until the next ready().
    std::shared_ptr<File> handOver(File* file);

private:
    FileSystem& m_fs;
    SpareOutputs& m_spare;
    std::shared_ptr<File> m_files[2]; // unnamed: each is gone with its last holder
};

} // namespace tw
