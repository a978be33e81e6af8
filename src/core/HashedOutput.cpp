#include "core/HashedOutput.h"

namespace tw {

File& HashedOutput::bind(File& target)
{
    m_target = &target;
    m_position = -1;
    m_hashed = -1;
    return *this;
}

bool HashedOutput::takeDigest(std::string* hex, int64_t* length)
{
    if (m_hashed < 0)
        return false;
    *hex = Sha256::hex(m_sha.finish());
    *length = m_hashed;
    m_hashed = -1; // finish() spent the state
    return true;
}

int64_t HashedOutput::read(void* buffer, size_t count)
{
    const int64_t n = m_target->read(buffer, count);
    if (n < 0)
        m_position = -1;
    else if (m_position >= 0)
        m_position += n;
    return n;
}

bool HashedOutput::write(const void* data, size_t count)
{
    if (!m_target->write(data, count)) {
        // Some of the bytes may have landed, somewhere.
        m_position = -1;
        m_hashed = -1;
        return false;
    }
    // Only a write at the content's end extends what was hashed; anything else changes
    // bytes the hash has already taken, or leaves a hole it never saw.
    if (m_hashed >= 0 && m_position == m_hashed) {
        m_sha.update(data, count);
        m_hashed += static_cast<int64_t>(count);
    } else {
        m_hashed = -1;
    }
    if (m_position >= 0)
        m_position += static_cast<int64_t>(count);
    return true;
}

bool HashedOutput::seek(int64_t offset)
{
    const bool ok = m_target->seek(offset);
    m_position = ok ? offset : -1;
    return ok;
}

int64_t HashedOutput::position()
{
    const int64_t at = m_target->position();
    m_position = at >= 0 ? at : -1;
    return at;
}

bool HashedOutput::truncate(int64_t length)
{
    if (!m_target->truncate(length)) {
        m_hashed = -1;
        return false;
    }
    // The position stays where it was (as with ftruncate); an emptied file starts a hash.
    if (length == 0) {
        m_sha.reset();
        m_hashed = 0;
    } else if (length != m_hashed) {
        m_hashed = -1;
    }
    return true;
}

} // namespace tw
