#pragma once
// The output file of a run: every delivered line in its output form, after the run heading.
#include <cstddef>
#include <functional>
#include <string>

namespace tw {

class OutputFileSink {
public:
    virtual ~OutputFileSink() = default;
    // The texts that stand for the hit markers in the output file.
    virtual void setHitTexts(std::string before, std::string after) = 0;
    // Creates (empties) the output file `name` for the lines of a run; an empty name: no
    // output file. Refused when the name leads to one of the `fileCount` files to process
    // (`fileAt(i)` names them). False when refused or not created.
    virtual bool openOutputFile(const std::string& name, size_t fileCount,
                                const std::function<std::string(size_t)>& fileAt) = 0;
    virtual bool hasOutputFile() const = 0;
    // Closes the output file of the run (a failure flag stays readable).
    virtual void closeOutputFile() = 0;
    // Writes raw text to the output file (the run heading).
    virtual void writeToOutput(const std::string& text) = 0;
};

} // namespace tw
