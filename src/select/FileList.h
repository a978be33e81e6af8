#pragma once
// The ordered list of selected files, kept compact: a list of ten million files in a tree
// of small directories takes about thirty megabytes. Consecutive paths of one directory
// share one copy of the directory (a "run"), kept as what it adds to the directory of the
// run before (what follows the bytes they share). Each name is stored as its difference
// from the name before it: how many bytes it shares with the start and with the end of
// that name, and the bytes in between ("f10.txt" after "f09.txt" costs three bytes: one
// for where "09" was, and "10"). The records follow one another in blocks of at most
// kBlockBytes that never move once full, so the list grows without copying what it holds.
// Every kStride-th entry is marked (its block and place) and stored whole, so at() decodes
// at most kStride - 1 names before the one asked for; a Cursor reads the paths in order,
// decoding each name over the one before it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class FileList {
public:
    // Adds a path; the part up to its last "/" is its directory.
    void add(std::string_view path);
    // Adds the path `directory` + `name` (`directory` empty or ending with "/", `name`
    // without one).
    void add(std::string_view directory, std::string_view name);
    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    // The path of entry i (first() <= i < size()); up to kStride names are decoded for it,
    // so a reader going through the list in order uses a Cursor or an IndexReader.
    std::string at(size_t i) const;
    void clear();
    // Lets go of the entries so far: size() and the indices of the entries added later stay
    // as they were, but only those can be read. For a list that is read as it grows and
    // need not be kept.
    void forget();
    // The first entry that can be read (0 unless forget() was called).
    size_t first() const { return m_base; }
    // The bytes the list holds on the heap (its blocks, marks, runs and directories).
    size_t memoryBytes() const;

    // Reads the paths from entry `first` on, in order. The list may grow meanwhile (on the
    // same thread): the cursor then reads on into the new entries.
    class Cursor {
    public:
        explicit Cursor(const FileList& list, size_t first = 0);
        bool atEnd() const { return m_index >= m_list.m_count; }
        size_t index() const { return m_index; }
        // The path of entry index() and moves on; valid until the next call. Not at the end.
        std::string_view next();

    private:
        const FileList& m_list;
        size_t m_index;    // the entry next() reads
        size_t m_block;    // where its name's record begins
        size_t m_offset;
        size_t m_run;      // the run of the entry before it (SIZE_MAX: none read yet)
        size_t m_dirSize;  // m_path begins with the directory of run m_run, this long
        std::string m_path; // that directory, then the name of the entry before m_index
    };

    // Reads entries by index for a caller that takes an index (a function of i) but goes
    // through the list in order: each read after the one before costs what a Cursor's
    // next() does; any other index starts a new cursor there.
    class IndexReader {
    public:
        explicit IndexReader(const FileList& list) : m_list(list) {}
        std::string operator()(size_t i);

    private:
        const FileList& m_list;
        std::optional<Cursor> m_cursor;
    };

    static constexpr size_t kBlockBytes = 64 * 1024;
    static constexpr size_t kStride = 64;

private:
    // Consecutive entries of one directory: entries first.. up to the next run's first. Its
    // directory is the first `shared` bytes of the directory of the run before, then the
    // `restSize` bytes at m_directories[restStart]; every kRunStride-th run (counted from
    // the first) shares nothing, so that any run's directory is made from at most
    // kRunStride pieces.
    struct Run {
        size_t first = 0;
        size_t restStart = 0;
        uint32_t restSize = 0;
        uint32_t shared = 0;
    };
    static constexpr size_t kRunStride = 16;
    // Where the record of an entry begins.
    struct Mark {
        uint32_t block = 0;
        uint32_t offset = 0;
    };
    std::string_view restOf(const Run& run) const
    {
        return std::string_view(m_directories).substr(run.restStart, run.restSize);
    }
    // The directory of m_runs[r], made from the runs before it.
    std::string directoryOf(size_t r) const;
    size_t runOf(size_t i) const;
    // Appends a record to the last block (a new one when it does not fit), which makes
    // `name` out of `previous`.
    void appendRecord(std::string_view previous, std::string_view name);
    // Decodes the record at m_blocks[*block][*offset] over the name that `path` holds from
    // `nameStart` on (the one before it), and moves on past it (to the next block when this
    // one ends there).
    void readRecord(size_t* block, size_t* offset, std::string* path, size_t nameStart) const;

    // Invariants: m_base <= m_count; m_marks.size() == (m_count - m_base + kStride - 1) /
    // kStride; m_runs is ordered by `first`, begins at entry m_base when not empty, and no
    // run is empty; a block holds at most kBlockBytes unless it holds one record alone; the
    // record of a marked entry shares nothing with the name before it.
    // A record makes a name out of the one before it. Either it is as long as that one with
    // 1 to 8 bytes replaced: one byte with the high bit clear, the place they begin (4 bits)
    // and their number less one (3 bits), then the bytes. Or one byte with the high bit
    // set, the number of bytes shared with the start of the name before (4 bits, 15 when it
    // is 15 or more and then followed by the rest as a number) and with its end (3 bits,
    // likewise from 7), then the number of bytes in between, then those bytes. Numbers take
    // 7 bits a byte, low bits first, the high bit set when more follow.
    std::vector<std::vector<char>> m_blocks;
    std::vector<Mark> m_marks;         // entry m_base + k * kStride
    std::vector<Run> m_runs;
    std::string m_directories;   // what each run's directory adds to the one before
    std::string m_lastDirectory; // the directory of the last run
    std::string m_lastName;      // the name of the last entry
    size_t m_count = 0;
    size_t m_base = 0; // the entries before it are forgotten
};

} // namespace tw
