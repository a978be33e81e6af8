#pragma once
// Runs one search/replace case through every way a run can read a file, through the public
// run API: several block sizes (so hits, anchors and line ends straddle blocks), one and two
// threads, search and replace, the text as a plain file, as a UTF-16 file with a byte-order
// mark ("Detect UTF-16" on), and as the member of a zip archive. Every way must give the
// reference's lines (their path-independent parts) and, for a replace, its output bytes.
#include "core/SearchRequest.h"

#include <optional>
#include <string>
#include <vector>

namespace tw::test {

struct ScanCase {
    std::string content;    // the bytes of each file; must not begin with a byte-order mark
    SearchPair pair;        // search text, flags and replace text
    int copies = 1;         // files holding `content`: f00.txt, f01.txt, ... (members likewise); at most 100
    bool replace = true;    // also replace, and compare the files' new bytes
    bool displayReplaceString = false;
    int maxDisplayChars = 512;
    int maxRegexSize = 32767;
    // Block sizes of the runs; the first, on one thread from a plain file, is the reference.
    std::vector<size_t> blockSizes = {102400, 13, 64};
    // The UTF-16 way is taken only when the content and the replace text are UTF-8 (else
    // they have no UTF-16 form); set false to leave it out anyway. A replacement built
    // from a hit (references, case changes) must stay UTF-8 too, or the UTF-16 file is
    // rightly left as it was and the ways differ.
    bool utf16 = true;
    // Expectations of the reference, checked when given: its lines (output form, hits
    // between "<" and ">", the files' directory left out: see below), its hits, and the
    // bytes of every file after the replace.
    std::optional<std::vector<std::string>> lines;
    std::optional<long> hits;
    std::optional<std::string> output;
};

struct ScanCaseResult {
    // The reference's lines in output form. A file line names the file alone
    // ("Processing file : f00.txt"), and the directory the files are in is left out of
    // every other line and of the output, so that "%%TWPATH%%" of a file reads as that of
    // a member of the archive's top level: empty.
    std::vector<std::string> lines;
    long hits = 0;
    std::string output; // f00.txt after the replace; empty without one
};

// Checks `c` on every way; each way that differs from the reference is a test failure
// naming the way and `trace`. Returns the reference's results.
ScanCaseResult checkScanCase(const ScanCase& c, const std::string& trace = {});

// The pair of a literal or pattern search.
SearchPair scanPair(const std::string& search, const std::string& replace, bool regex = false,
                    bool caseSensitive = true, bool wholeWord = false);

} // namespace tw::test
