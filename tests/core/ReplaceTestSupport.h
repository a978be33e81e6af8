#pragma once
// Shared fixtures of the replace tests: a scripted host, a recording results sink, a
// temporary directory that also serves as the data directory, and a file system that
// fails writes to one file after a number of bytes.
#include "core/RunHost.h"
#include "platform/FileSystem.h"
#include "results/HeldBackLines.h"
#include "results/ResultStream.h"
#include "results/ResultText.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tw::test {

class ScriptedHost : public RunHost {
public:
    std::deque<Answer> answers;                         // given in order; none left = test failure
    std::vector<std::pair<Question, std::string>> asked; // every question, in order
    std::vector<std::string> askedDetail; // the detail lines in their plain form
    std::vector<std::pair<std::string, bool>> messages; // text and suppressed-by-quiet

    void message(const std::string& text, bool suppressedByQuiet) override { messages.emplace_back(text, suppressedByQuiet); }
    Answer ask(Question kind, const std::string& text, const HeldBackLines& detail) override
    {
        asked.emplace_back(kind, text);
        askedDetail.push_back(heldBackText(detail, "<", ">"));
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return Answer::Cancel;
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Records the lines it is sent as their texts (a file line as the list would make it);
// they are also what it shows as held back to a question.
class RecordingSink : public ResultStream, private HeldBackLines {
public:
    std::vector<std::string> lines;
    std::string pending;

    void setPendingFile(const std::string& path, const std::string&) override { pending = path; }
    void emitPendingFileLine() override
    {
        if (!pending.empty())
            lines.push_back("Processing file : \x01\x01" + pending);
        pending.clear();
    }
    void addLine(const ResultEntry& entry) override { lines.push_back(entry.text); }
    const HeldBackLines& heldBack() const { return *this; }
    bool contains(const std::string& text) const
    {
        for (const auto& l : lines)
            if (l == text)
                return true;
        return false;
    }

private:
    // Every recorded line counts as held back.
    size_t count() const override { return lines.size(); }
    void forEach(const std::function<bool(const ResultEntry&)>& visit) const override
    {
        for (const auto& l : lines)
            if (!visit(ResultEntry{l, 0}))
                return;
    }
};

// A fresh directory below the temporary directory, removed with everything in it. While it
// lives, XDG_DATA_HOME points into it, so the data directory is "<dir>/data/tarnwick/".
class DataTempDir {
public:
    DataTempDir()
    {
        std::string templ = ::testing::TempDir() + "twtestXXXXXX";
        m_path = ::mkdtemp(templ.data());
        m_path += "/";
        m_oldData = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        ::setenv("XDG_DATA_HOME", (m_path + "data").c_str(), 1);
    }
    ~DataTempDir()
    {
        std::system(("chmod -R u+w '" + m_path + "' 2>/dev/null; rm -rf '" + m_path + "'").c_str());
        if (m_oldData.empty())
            ::unsetenv("XDG_DATA_HOME");
        else
            ::setenv("XDG_DATA_HOME", m_oldData.c_str(), 1);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path; // ends with "/"
    std::string m_oldData;
};

// Every byte value, repeated to `size` bytes, so offsets and byte values both matter.
inline std::string patternBytes(size_t size, int seed)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed) + i / 251) & 0xFF);
    return s;
}

// Passes everything to the real file system, except that files opened for writing on
// `target` fail every write once `failAfter` bytes were written through that handle. Only
// the first `faultyOpens` such opens are faulty (-1: all of them).
class FaultyFileSystem : public FileSystem {
public:
    std::string target;
    int64_t failAfter = 0;
    int faultyOpens = -1;
    int writeOpens = 0; // opens for writing of `target` so far

    std::unique_ptr<File> openRead(const std::string& path, int* error) override
    {
        return real().openRead(path, error);
    }
    std::unique_ptr<File> openWrite(const std::string& path, bool create, bool truncate, int* error) override
    {
        auto file = real().openWrite(path, create, truncate, error);
        if (!file || path != target)
            return file;
        ++writeOpens;
        if (faultyOpens >= 0 && writeOpens > faultyOpens)
            return file;
        return std::make_unique<FailingFile>(std::move(file), failAfter);
    }
    std::unique_ptr<File> createTemp(const std::string& prefix, int* error) override
    {
        return real().createTemp(prefix, error);
    }
    bool status(const std::string& path, FileStatus* out, bool followLinks) override
    {
        return real().status(path, out, followLinks);
    }
    bool listDirectory(const std::string& path, std::vector<DirEntry>* out) override
    {
        return real().listDirectory(path, out);
    }
    bool removeFile(const std::string& path) override { return real().removeFile(path); }

private:
    static FileSystem& real() { return realFileSystem(); }

    class FailingFile : public File {
    public:
        FailingFile(std::unique_ptr<File> inner, int64_t budget) : m_inner(std::move(inner)), m_budget(budget) {}
        int64_t read(void* b, size_t n) override { return m_inner->read(b, n); }
        bool write(const void* d, size_t n) override
        {
            const auto allowed = static_cast<size_t>(std::max<int64_t>(0, m_budget));
            if (n <= allowed) {
                m_budget -= static_cast<int64_t>(n);
                return m_inner->write(d, n);
            }
            // Like a full disk: part of the data lands, then the write fails.
            if (allowed > 0)
                (void)m_inner->write(d, allowed); // the write fails either way
            m_budget = 0;
            return false;
        }
        bool seek(int64_t o) override { return m_inner->seek(o); }
        int64_t position() override { return m_inner->position(); }
        bool truncate(int64_t l) override { return m_inner->truncate(l); }
        bool sync() override { return m_inner->sync(); }
        const std::string& path() const override { return m_inner->path(); }
        bool status(FileStatus* out) override { return m_inner->status(out); }
        bool lockExclusive(int ms) override { return m_inner->lockExclusive(ms); }
        bool setMode(uint32_t mode) override { return m_inner->setMode(mode); }
        bool setTimes(const PreciseTimes& t) override { return m_inner->setTimes(t); }
        bool readTimes(PreciseTimes* t) override { return m_inner->readTimes(t); }

    private:
        std::unique_ptr<File> m_inner;
        int64_t m_budget; // bytes that may still be written
    };
};

} // namespace tw::test
