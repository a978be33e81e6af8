#pragma once
// The main window's run inputs: the four texts and the search flags. The command line
// and the settings store both fill this record; a run reads it.
#include <string>

namespace tw {

struct MainInputs {
    std::string searchText;
    std::string replaceText;
    std::string mask;                  // ";"-separated masks
    std::string path;                  // start path, normally ending in "/"
    bool caseSensitive = false;
    bool wholeWord = false;
    bool regularExpression = false;
    bool ignoreWhitespace = false;
    bool searchZips = true;
    std::string ignoreWhitespaceMask = " \\t\\r\\n"; // backslash escapes, expanded when used
};

} // namespace tw
