#pragma once
// Test file systems that pass everything to the real one, except that the scratch files
// (the held-back store) go through a wrapper a test supplies: to count or to fail writes.
#include "platform/FileSystem.h"

#include <memory>
#include <string>
#include <vector>

namespace tw::test {

// A file that passes every call to `inner`; wrappers override what they watch.
class ForwardingFile : public File {
public:
    explicit ForwardingFile(std::unique_ptr<File> inner) : m_inner(std::move(inner)) {}
    int64_t read(void* b, size_t n) override { return m_inner->read(b, n); }
    // Positioned, as the inner file reads: views of a worker's staged outputs are read on
    // the run's thread while the worker writes on.
    int64_t readAt(void* b, size_t n, int64_t o) override { return m_inner->readAt(b, n, o); }
    bool write(const void* d, size_t n) override { return m_inner->write(d, n); }
    bool seek(int64_t o) override { return m_inner->seek(o); }
    int64_t position() override { return m_inner->position(); }
    bool truncate(int64_t l) override { return m_inner->truncate(l); }
    bool sync() override { return m_inner->sync(); }
    const std::string& path() const override { return m_inner->path(); }
    bool status(FileStatus* out) override { return m_inner->status(out); }

private:
    std::unique_ptr<File> m_inner;
};

class ScratchWrappingFs : public FileSystem {
public:
    std::unique_ptr<File> openRead(const std::string& p, int* e) override { return real().openRead(p, e); }
    std::unique_ptr<File> openWrite(const std::string& p, bool c, bool t, int* e) override
    {
        return real().openWrite(p, c, t, e);
    }
    std::unique_ptr<File> createTemp(const std::string& p, int* e) override { return real().createTemp(p, e); }
    std::unique_ptr<File> createNew(const std::string& p, uint32_t m, int* e) override
    {
        return real().createNew(p, m, e);
    }
    std::unique_ptr<File> createScratch(const std::string& p, int* e) override
    {
        auto inner = real().createScratch(p, e);
        return inner ? wrapScratch(std::move(inner)) : nullptr;
    }
    bool status(const std::string& p, FileStatus* o, bool f) override { return real().status(p, o, f); }
    bool listDirectory(const std::string& p, std::vector<DirEntry>* o) override { return real().listDirectory(p, o); }
    bool removeFile(const std::string& p) override { return real().removeFile(p); }

protected:
    virtual std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) = 0;

private:
    static FileSystem& real() { return realFileSystem(); }
};

} // namespace tw::test
