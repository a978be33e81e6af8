#pragma once
// The lines around a hit, a page at a time, for the View Context window, and the save of
// an edited page back into its file.
//
// A page is 2N + 1 lines (N = contextLines). Lines end at LF. The text is read through a
// DecodingSource, as the search read it, so line numbers and hit offsets are those of the
// results list: a UTF-16 file shows its decoded text, a UTF-8 byte-order mark is left out
// (with "Detect UTF-16" on). An archive member is read from its archive, forwards.
// A line longer than a block (102400 bytes) is shown cut there and ends the page; the next
// page starts after its end. Memory stays bounded by the page: (2N + 1) blocks at most.
//
// The display text: every line ending in LF without a CR before it gets CR LF, the last
// line without a line end loses a trailing CR, and control bytes other than tab and the
// line ends are shown as in hit lines (length kept), so display offsets differ from file
// offsets only by the inserted and dropped CRs.
#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// A hit as a results line gives it.
struct ContextHit {
    std::string path;        // the file, or the member's name inside `archivePath`
    std::string archivePath; // empty for a plain file
    long line = 0;           // 1-based line of the hit
    int column = 0;          // bytes from the start of that line to the hit
    int length = 0;          // bytes of the hit
    int64_t offset = -1;     // the results line's file offset when known (exact also on
                             // lines too long for the column); -1: line and column are used
};

// What a save needs besides the page.
struct ContextSaveSettings {
    std::string dataDir;     // the data directory (safety copies, recovery list, undo script)
    std::string backupPath;  // the backup directory, empty for none
    FileTime searchEnded = 0; // when the run that found the hit ended
};

enum class SaveStatus { Saved, Modified, Failed };

struct SaveOutcome {
    SaveStatus status = SaveStatus::Failed;
    std::string message; // what to tell the user; empty when saved
};

inline constexpr const char* kContextModifiedText =
    "File may have been modified since the last search.\nYou might want to re-run the search.";

class ContextPager {
public:
    static constexpr size_t kBlock = 102400;

    ContextPager(FileSystem& fs, int contextLines, bool detectUtf16);
    ~ContextPager();

    // Shows lines L - N ... L + N around the hit (from line 1 when L - N is below 1). On
    // failure error() says why and the page shown before stays.
    bool open(const ContextHit& hit);
    bool pageDown();
    bool pageUp();

    bool canPageUp() const { return m_page.first > 1; }
    bool canPageDown() const { return !m_page.atEnd; }
    const std::string& error() const { return m_error; }

    const ContextHit& hit() const { return m_hit; }
    long firstLine() const { return m_page.first; }
    long lastLine() const { return m_page.last; }
    // The shown range of the decoded text: [startOffset, endOffset).
    int64_t startOffset() const { return m_page.start; }
    int64_t endOffset() const { return m_page.end; }
    bool atStart() const { return m_page.first == 1; }
    bool atEnd() const { return m_page.atEnd; }
    // The path as the label shows it ("archive | member" for a member).
    std::string shownPath() const;
    // " (&lines F-L)".
    std::string linesText() const;

    const std::string& displayText() const { return m_display; }
    // The hit's selection [begin, end) in display bytes; false when the hit is not shown.
    bool selection(size_t* begin, size_t* end) const;
    // The text is UTF-8 whatever the code page (a decoded UTF-16 file).
    bool decodedUtf16() const { return m_utf16; }

    // Save is offered for plain files whose shown text is their bytes, writable by the owner.
    bool canSave() const;
    // Writes `edited` (the page in display form, lines ending in CR LF) in place of the
    // shown range. `shown` is the page as the editor showed it before the edit (the display
    // text, or what an editor made of it): lines equal in both keep the file's exact bytes
    // and line ends; changed lines are written with the line ends of the lines they replace.
    // Refused with kContextModifiedText when the file changed since the search or since the
    // page was read. The write is the crash-safe rewrite of replace, with a backup and an
    // undo line when a backup path is set. After a save the page is read again.
    SaveOutcome save(std::string_view shown, std::string_view edited, const ContextSaveSettings& settings);

private:
    struct Page {
        long first = 1, last = 1;
        int64_t start = 0, end = 0; // decoded offsets, end exclusive
        bool atEnd = false;
        bool cut = false;           // the last line is longer than a block and was cut
        std::string raw;            // the decoded bytes of [start, end)
        FileStatus status;          // the plain file's status when the page was read
    };
    class Reader;

    // Reads the page of lines first .. first + 2N from `start` (-1: counting from line 1);
    // with `skipLine` the bytes up to the next LF are passed over first.
    bool load(long first, int64_t start, bool skipLine);
    bool skipLines(Reader& reader, long first, bool skipLine, long* line, int64_t* pos);
    // Takes up to 2N + 1 lines into the page; `partial`: the last one has no LF.
    bool collectLines(Reader& reader, Page& page, long* lines, bool* partial);
    bool findLineStartBack(int64_t before, long lines, int64_t* start);
    void makeDisplay();
    std::string newRangeBytes(std::string_view shown, std::string_view edited, bool* ok) const;
    bool commitSave(File& original, const std::string& range, const ContextSaveSettings& settings,
                    std::string* note);
    bool setError(const std::string& text);

    FileSystem& m_fs;
    long m_n;                  // N, 1 to 50
    bool m_detect;
    ContextHit m_hit;
    Page m_page;
    std::string m_display;
    std::vector<size_t> m_insertedAt; // raw offsets of the LFs that got a CR in the display
    bool m_droppedCr = false;  // the display left out the raw text's last byte, a CR
    bool m_utf16 = false;
    int64_t m_markLength = 0;  // bytes of a UTF-8 byte-order mark before the decoded text
    // Writes to m_trustedPath up to m_trustedSince are our own saves, not changes since
    // the search.
    std::string m_trustedPath;
    FileTime m_trustedSince = 0;
    std::string m_error;
};

} // namespace tw
