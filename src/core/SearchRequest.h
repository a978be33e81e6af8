#pragma once
// One run: its search/replace pairs, where to look, and the options in force.
#include "core/ProgramOptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

class ExpectedFiles;
class ReplacePreview;

inline constexpr const char* kBinaryPlaceholder = "Binary mode -->>";
inline constexpr const char* kScriptPrefix = "Use Script file: ";

struct SearchPair {
    std::string searchText;
    std::string replaceText;
    std::string binarySearchBlock;  // used when searchText is the binary placeholder
    std::string binaryReplaceBlock; // used when replaceText is the binary placeholder
    std::string searchComment, replaceComment;
    bool caseSensitive = true;
    bool wholeWord = false;
    bool regularExpression = false;
    bool ignoreWhitespace = false;
    std::string ignoreWhitespaceMask = " \\t\\r\\n";
    bool appendToFile = false;
    bool prependToFile = false;
    int reformatColumns = 0;
    // Counters, kept for script pairs.
    long hitsInFile = 0, replacementsInFile = 0, totalHits = 0, totalReplacements = 0, filesWithHits = 0;
};

struct PathMaskPair {
    std::string path; // start path(s), ";"-separated
    std::string mask; // masks, ";"-separated
};

struct SearchRequest {
    std::vector<SearchPair> pairs;
    std::vector<PathMaskPair> pathMasks;
    bool replaceMode = false;
    bool pairsFromScript = false, pathsFromScript = false, masksFromScript = false;
    std::string expression;
    ProgramOptions options;
    bool searchSubdirectories = false;
    bool searchZips = true;
    std::string zipMask = "*.zip";
    std::string zipFileMask;
    bool quiet = false;
    bool unattended = false;
    int maxDisplayChars = 512; // "Max Display Chars"
    size_t blockSize = 102400; // read block; tests make it small to force block boundaries
    // A search with several pairs reads each file once and scans only the pairs that can
    // hit it (FileSearch, PairScreen); false: every pair reads the file on its own, as the
    // check of that path in the tests does.
    bool readFilesOnce = true;
    // Search runs spread their files over this many worker threads (0: one per core; 1:
    // the run's own thread only). Replace runs always use the run's own thread.
    size_t threads = 1;
    // The date and time of the run heading in the user's short formats; empty: the C
    // library's local formats.
    std::string startedText;
    // A file the front end writes from the run's results once the run is over (the HTML
    // page of tarnwick-cli --html); empty: none. A run whose files include it, or whose
    // output file it is, is refused before anything is written.
    std::string resultsPage;
    // Replace runs: a preview (core/ReplacePreview.h) takes each replaced file's changes as
    // a patch in place of the commit, so that no file is written; null: a real run.
    ReplacePreview* preview = nullptr;
    // Replace runs: only these files are searched and replaced, each only while it has the
    // size and modification time given (a preview's files); null: every file selected.
    const ExpectedFiles* onlyFiles = nullptr;
};

} // namespace tw
