#pragma once
// Reads the text form of a script into a Script, section by section (SectionScan.h).
#include "script/ScriptFile.h"
#include "script/SectionScan.h"

#include <optional>
#include <string_view>

namespace tw {

class TextScriptReader {
public:
    // `script` must have been reset; the reader only adds to it.
    TextScriptReader(std::string_view text, Script& script, const ScriptReadContext& context)
        : m_text(text), m_script(script), m_context(context)
    {
    }

    // Reads the whole text; true when at least one pair or path entry was read. One pass:
    // every byte is looked at a bounded number of times, whatever the sections hold.
    bool read();
    // Whether reading stopped at kMaxScriptEntries.
    bool cutOff() const { return m_cutOff; }

private:
    // The description, then "[Expression]" and "[Options]" when they follow it in that
    // order; returns where the sections begin (npos: reading ends).
    size_t readPreamble();
    size_t readExpression(size_t pos);
    size_t readOptions(size_t pos);
    // Takes the section at `pos`; returns where the next one begins (npos: reading ends).
    size_t readSection(size_t pos);
    size_t readSearch(size_t pos);
    size_t readReplace(size_t pos);
    size_t readPath(size_t pos);
    // The content of the section whose header is at `pos`; nothing when the block has no end.
    std::optional<ContentBlock> sectionContent(size_t pos, SectionHeader* header = nullptr) const;
    void appendCurrentPair();
    // True (and reading is to end) when the script holds kMaxScriptEntries entries.
    bool full();

    std::string_view m_text;
    Script& m_script;
    const ScriptReadContext& m_context;
    // The pair whose "[Search" section has been read and whose "[Replace" has not come yet.
    std::optional<SearchPair> m_current;
    bool m_cutOff = false; // a section was left unread because the script was full
};

} // namespace tw
