#pragma once
// The results list as the desktop program shows it: a display-only list model over the
// run's lines, filled in batches from the worker thread's lines. Lines are kept compactly
// (their shown texts back to back in large chunks, paths once per run of lines about the
// same file), so a line costs about 40 bytes besides its text and no widget,
// and growing it never copies what is stored already.
#include "results/ResultEntry.h"
#include "results/ResultText.h"

#include <QAbstractListModel>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <span>
#include <vector>

namespace tw {

class ResultsModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        KindRole = Qt::UserRole + 1, // int: the LineKind
        PathRole,                    // QString: the file the line is about; empty when none
        LineNumberRole,              // qlonglong: hit lines of text files, from 1; else 0
        HitBeginRole,                // int: where the found text starts in DisplayRole; -1 when none
        HitEndRole,                  // int: where the found text ends in DisplayRole; -1 when none
        NameBeginRole,               // int: where the part in the file colour starts; -1 when none
    };

    explicit ResultsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole is the line without its markers; ToolTipRole the whole path of a file line.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    class Batch;
    // Appends the lines with one insertion (one rowsInserted for the whole batch).
    void appendLines(std::span<const ResultEntry> lines);
    // The same for lines made ready beforehand; empties `batch`, which keeps its capacity.
    void appendBatch(Batch& batch);
    void appendLines(const std::vector<ResultEntry>& lines) { appendLines(std::span<const ResultEntry>(lines)); }
    void clear();

    // The kind and the path of a row without building a QVariant.
    LineKind kindAt(int row) const { return m_rows[static_cast<size_t>(row)].kind; }
    const std::string& pathAt(int row) const;

private:
    static constexpr uint32_t kNoPath = UINT32_MAX;
    static constexpr uint32_t kNoHit = UINT32_MAX;
    struct Row {
        uint32_t chunk = 0;      // the shown text is m_chunks[chunk][offset, offset + textLength)
        uint32_t offset = 0;
        uint32_t textLength = 0;
        uint32_t pathIndex = kNoPath; // into m_paths, or kNoPath
        int64_t lineNumber = 0; // ResultEntry::lineNumber
        uint32_t hitBegin = kNoHit; // byte offsets into the shown text; both kNoHit or both set
        uint32_t hitEnd = kNoHit;
        uint32_t nameBegin = kNoHit; // byte offset of the file-coloured part, or kNoHit
        LineKind kind = LineKind::Other;
        // The text is not valid UTF-8 (a line of a file in another encoding): it is shown
        // byte for byte as Latin-1 rather than with replacement characters.
        bool latin1 = false;
    };

    static constexpr size_t kChunkBytes = size_t(1) << 20;

    QString shownText(const Row& row) const;
    // The first `length` bytes of the row's text, decoded as the whole row is.
    QString decodeRow(const Row& row, size_t length) const;
    // Stores a shown text and returns where (a text longer than a chunk gets its own).
    void storeText(std::string_view text, Row& row);
    QString decode(const char* bytes, size_t length) const;

    std::deque<Row> m_rows;                // one per line, in the run's order
    std::deque<std::string> m_chunks;      // the shown texts; a chunk's capacity is reserved
                                           // up front, so it never moves once filled
    std::vector<std::string> m_paths; // distinct from their neighbours: a path repeated by
                                      // consecutive lines is stored once
    bool m_utf8 = true;               // texts are UTF-8; else a single-byte code page
};

// The status bar's text once a run has ended: the run's summary (the list's last line),
// which a long list has scrolled out of view, after "Stopped - " for a stopped run; without
// a summary "Stopped" or "Ready".
QString runEndStatus(const ResultsModel& model, bool stopped);

// Lines in the form the model keeps them, made ready on any thread: building the shown
// text of a line and checking it are most of what a line costs, so the results view does
// that on the run's thread and the GUI thread only moves the rows in. Used by one thread
// at a time.
class ResultsModel::Batch {
public:
    void add(const ResultEntry& entry);
    size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }
    // Empties the batch; its buffers keep their capacity for the next lines.
    void clear();

private:
    friend class ResultsModel;
    // Invariants: a row's offset and length point into m_text (its chunk field is unused);
    // its pathIndex, when set, is below m_pathCount; m_paths[0, m_pathCount) are the paths
    // of the rows, each distinct from the one before; entries past m_pathCount are spare.
    std::vector<Row> m_rows;
    std::string m_text;
    std::vector<std::string> m_paths;
    size_t m_pathCount = 0;
    bool m_utf8 = true; // the code page when the batch began
    ListLine m_shown;   // scratch for listForm
};

} // namespace tw
