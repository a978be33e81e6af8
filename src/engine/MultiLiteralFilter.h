#pragma once
// Tells, in one pass over a text, which of a set of byte strings occur in it: the screen a
// search run with many literal pairs puts in front of their scans, so that a pair whose
// search bytes are not in a file is not scanned there at all.
//
// The text may come in pieces (feed() after feed()); a string that straddles two pieces
// is found as well, from the tail of the earlier piece kept for the next one. A string
// counts as seen only once its bytes have been compared in full (case folded through the
// code page's fold for a case-insensitive one), so the answer is exact: seen() is true
// exactly when the string occurs in the text fed so far. Whole-word and every other
// condition of a scan are left to the scan.
//
// The pass looks at four bytes per position at once: four consecutive bytes of each
// string (its rarest four by a guess at byte frequencies; fewer for shorter strings) give
// its bucket's bit in a table per position, and only a position whose four bytes leave a
// bucket bit set is compared. With AVX2 the tables are
// looked up by nibbles, 32 positions a step; without it (or forceScalar) byte by byte. A
// string once seen leaves the tables, so strings that are common in a text stop costing
// anything after their first occurrence, and the pass ends once all are seen.
#include "engine/CharClasses.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

class MultiLiteralFilter {
public:
    struct Needle {
        std::string bytes;
        bool caseSensitive = true;
    };

    explicit MultiLiteralFilter(std::vector<Needle> needles, const CharClasses& classes = activeCharClasses());

    size_t size() const { return m_needles.size(); }
    // Starts a new text: nothing seen (an empty string counts as seen at once).
    void begin();
    // The next `len` bytes of the text.
    void feed(const uint8_t* data, size_t len);
    // Needle `i` occurs in the text fed since begin().
    bool seen(size_t i) const { return m_seen[i] != 0; }
    // Every needle is seen: the rest of the text cannot change an answer.
    bool allSeen() const { return m_unseen == 0; }
    // Compares through the byte-by-byte tables only (tests compare both ways).
    void forceScalar(bool scalar) { m_scalar = scalar; }

private:
    static constexpr size_t kPositions = 4; // bytes of a string looked up per position
    static constexpr size_t kBuckets = 8;   // bits of a table entry

    struct Entry {
        std::string folded; // the bytes through the fold (case-insensitive strings)
        bool caseSensitive;
        size_t bucket = 0;
        size_t offset = 0;  // the bytes looked up: folded[offset, offset + kPositions)
        // Per position: the bytes that can stand there; empty past the string's end (any).
        std::array<std::vector<uint8_t>, kPositions> accepted{};
    };

    // Makes the tables from the strings not yet seen.
    void rebuild();
    bool rebuildDue() const;
    static size_t rarestWindow(const std::string& bytes, bool caseSensitive, const CharClasses& classes);
    // Compares the strings of `bits`' buckets whose looked-up bytes would begin at data[p];
    // true when one was newly seen.
    bool verifyAt(const uint8_t* data, size_t len, size_t p, uint8_t bits);
    // Looks at the places [from, startLimit) of data[0, len) where a string's looked-up
    // bytes may begin; a string is compared only where it lies wholly inside data.
    void scanRange(const uint8_t* data, size_t len, size_t from, size_t startLimit);
    size_t scanVector(const uint8_t* data, size_t len, size_t from, size_t startLimit);
    uint8_t bitsAt(const uint8_t* data, size_t len, size_t s) const;

    const CharClasses& m_classes;
    std::vector<Needle> m_needles;
    std::vector<Entry> m_entries;   // per needle
    std::vector<uint8_t> m_seen;    // per needle: 1 once seen since begin()
    size_t m_unseen = 0;            // needles not seen; m_seen has that many zeros
    size_t m_maxLength = 0;
    bool m_scalar = false;
    bool m_tablesFresh = false;     // the tables hold every non-empty needle (as after begin())
    size_t m_inTables = 0;          // unseen needles when the tables were made (>= m_unseen)
    // Per position j of a string and byte value v: the buckets of unseen strings that can
    // have v at j (all of them for strings shorter than j + 1).
    std::array<std::array<uint8_t, 256>, kPositions> m_table{};
    // The same by nibbles, for the vector pass: m_low[j][v & 15] & m_high[j][v >> 4]
    // holds m_table[j][v] and possibly more bits.
    std::array<std::array<uint8_t, 16>, kPositions> m_low{}, m_high{};
    // Per bucket, the unseen needles in it.
    std::array<std::vector<uint32_t>, kBuckets> m_inBucket;
    // The last bytes of the text fed so far (at most the longest string less one): starts
    // among them may hold a string that the next piece completes.
    std::vector<uint8_t> m_tail;
    std::vector<uint8_t> m_joint; // the tail followed by the next piece's first bytes
};

} // namespace tw
