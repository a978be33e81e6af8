#pragma once
// A replace pair's temporary output seen through a hash: every call goes on to the file
// behind it, and while the bytes are strictly appended from offset 0 of an emptied file
// their SHA-256 is taken as they pass. Any other change (a write where the content does not
// end, a truncate to another length, a failed call) makes the hash unusable until the file
// is emptied again, so a hash it gives is always that of the file's whole content. Seeks
// and reads change no content; they only move where the next write lands.
//
// The worker that writes a changed file's final output takes its hash here, so the run's
// committing thread, which rewrites the originals one after another, need not hash it.
#include "engine/Sha256.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>

namespace tw {

class HashedOutput final : public File {
public:
    // Puts the hash in front of `target`, whose content is unknown until it is truncated
    // to 0 through this object.
    File& bind(File& target);
    File* target() const { return m_target; }
    // The SHA-256 (64 hex digits) of the target's whole content and its length; false
    // when the hash is unusable. The hash is spent: the next one needs an emptied file.
    [[nodiscard]] bool takeDigest(std::string* hex, int64_t* length);

    [[nodiscard]] int64_t read(void* buffer, size_t count) override;
    [[nodiscard]] bool write(const void* data, size_t count) override;
    [[nodiscard]] bool seek(int64_t offset) override;
    [[nodiscard]] int64_t position() override;
    [[nodiscard]] bool truncate(int64_t length) override;
    [[nodiscard]] bool sync() override { return m_target->sync(); }
    const std::string& path() const override { return m_target->path(); }
    [[nodiscard]] bool status(FileStatus* out) override { return m_target->status(out); }

private:
    File* m_target = nullptr;
    Sha256 m_sha;
    // Where the next read or write happens; -1 when not known (a failed call).
    int64_t m_position = -1;
    // Invariant: when >= 0, the target's content is exactly the m_hashed bytes fed to m_sha.
    // -1: the hash is unusable.
    int64_t m_hashed = -1;
};

} // namespace tw
