#pragma once
// Builds a hit line: its text (the line-number or offset prefix, then the context around
// the hit with the begin and end markers) and its results entry.
#include "engine/CharClasses.h"
#include "results/ResultEntry.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

struct HitLineInput {
    const uint8_t* block = nullptr; // the block that holds the hit
    size_t blockLength = 0;
    size_t hitStart = 0;            // in-block index of the hit's first byte
    size_t hitLength = 0;           // bytes of the hit (markers go around them)
    bool binary = false;
    long lineNumber = 0;            // text files
    int64_t fileOffset = 0;         // binary files: absolute offset of the hit
    int maxDisplayChars = 512;
};

// `contextStart`, when given, receives the in-block index where the shown text before the
// hit begins.
std::string BuildHitLine(const HitLineInput& in, const CharClasses& cc = activeCharClasses(),
                         size_t* contextStart = nullptr);
// The same text written over `out` (its capacity is reused, so a scan that keeps one string
// builds its hit lines without allocating).
void buildHitLineInto(std::string& out, const HitLineInput& in, const CharClasses& cc, size_t* contextStart);

// The results line of a hit in `path`: `text` is BuildHitLine(in, cc, &contextStart); the
// fields come from `in` (the hit length leaves out line ends at the start of the hit).
ResultEntry hitEntry(const HitLineInput& in, std::string text, const std::string& path, size_t contextStart);
// Sets the fields of a hit entry whose text is already in `e.text` (its path and archive
// path are left alone).
void setHitFields(ResultEntry& e, const HitLineInput& in, size_t contextStart);

// Binary when any of the first min(length, 1024) bytes is below 0x09.
bool looksBinary(const uint8_t* data, size_t length);

} // namespace tw
