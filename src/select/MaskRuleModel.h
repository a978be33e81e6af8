#pragma once
// The entry-by-entry editing of a mask list behind the "Include/Exclude Files and
// Directories" dialog: cutting the mask text into entries, parsing one entry into the
// dialog's fields, composing the fields back into an entry, the list edits (Add, Insert,
// Apply, Delete, Up, Down) with their availability, and joining the entries again.
//
// Separators: an entry's directory part may use "\" or "/"; composing adds the separator
// the directory text already uses ("/" when it holds a "/" and no "\", else "\").
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct MaskRuleFields {
    bool exclude = false;        // type: Include or Exclude
    std::string filesMatching;   // the file part
    bool useMatch = false;       // directories: All (false) or Use match
    std::string directory;       // the directory pattern without the marks
    bool anyLevels = false;      // "Any # of levels under start directory"
    bool subdirectories = false; // "Also process its subdirectories"
    bool operator==(const MaskRuleFields&) const = default;
};

// The entry the fields describe; empty when they describe none.
[[nodiscard]] std::string composeMaskRule(const MaskRuleFields& fields);
// The fields of one entry.
[[nodiscard]] MaskRuleFields parseMaskRule(std::string_view entry);
// The entries of a mask list text, in order; empty pieces (";;", a trailing ";") are none.
[[nodiscard]] std::vector<std::string> splitMaskText(std::string_view maskText);
// The mask list text of the entries: joined with ";", placeholders left out.
[[nodiscard]] std::string joinMaskEntries(const std::vector<std::string>& entries);

class MaskRuleModel {
public:
    static constexpr int kNone = -1;

    // Cuts the text into entries and selects (and parses) the first one.
    explicit MaskRuleModel(std::string_view maskText = {});

    const std::vector<std::string>& entries() const { return m_entries; }
    int selected() const { return m_selected; }
    // The fields as edited; the dialog writes them before each edit.
    MaskRuleFields& fields() { return m_fields; }
    const MaskRuleFields& fields() const { return m_fields; }

    // Selects an entry (kNone for none) and parses it into the fields.
    void select(int index);
    // Appends a placeholder entry, selects it and applies the fields to it.
    void add();
    // Puts a placeholder before the selected entry (at the front with none selected),
    // selects it and applies the fields to it.
    void insert();
    // Writes the fields into the selected entry; an entry that comes out empty is deleted.
    void apply();
    // Removes the selected entry and selects the one now at that place, or the last one.
    void remove();
    // Apply, then swap the selected entry with its neighbour; it stays selected.
    void moveUp();
    void moveDown();

    bool canApply() const { return m_selected != kNone; }
    bool canDelete() const { return m_selected != kNone; }
    bool canMoveUp() const { return m_selected > 0; }
    bool canMoveDown() const { return m_selected != kNone && m_selected + 1 < static_cast<int>(m_entries.size()); }

    // The mask list text of the entries.
    std::string text() const { return joinMaskEntries(m_entries); }

private:
    void putPlaceholder(size_t at);

    std::vector<std::string> m_entries;
    int m_selected = kNone; // kNone or a valid index into m_entries
    MaskRuleFields m_fields;
};

} // namespace tw
