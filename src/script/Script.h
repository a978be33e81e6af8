#pragma once
// A script: everything for a run over many search/replace pairs and many paths. Its
// pairs and path entries become a run's SearchRequest; its description, expression,
// private options and subdirectory state travel with it. Scripts are kept in ".tws" files
// (ScriptFile.h).
#include "core/ProgramOptions.h"
#include "core/SearchRequest.h"

#include <optional>
#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kScriptFileFilter = "TW Script Files (*.tws)";
inline constexpr const char* kScriptDefaultName = "script.tws";
inline constexpr const char* kScriptExtension = "tws";

// The script's "Search Subdirectories" state.
enum class ScriptSubdirs { No = 0, Yes = 1, FromWindow = 2 };

struct Script {
    std::string filePath;    // the file last loaded or saved; empty for a new script
    std::string description; // may span lines
    std::string expression;  // the file-selection expression; empty: every file with a hit
    // The options the script runs with; none: the program's own options.
    std::optional<ProgramOptions> options;
    ScriptSubdirs subdirectories = ScriptSubdirs::FromWindow;
    // Pair k (from 1) is the expression's variable E k.
    std::vector<SearchPair> pairs;
    // Each entry a directory ending in "/" and its ";"-separated masks.
    std::vector<PathMaskPair> paths;

    // Empties the path, the pairs and the path entries.
    void reset()
    {
        filePath.clear();
        pairs.clear();
        paths.clear();
    }
    bool empty() const { return pairs.empty() && paths.empty(); }
};

} // namespace tw
