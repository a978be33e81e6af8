#pragma once
// The results list as the desktop program shows it: a display-only list model over the
// run's lines, filled in batches from the worker thread's lines. Every row keeps what its
// line is about (the line's ResultFields, its path and archive path), so a hit row leads
// back to its file, archive member, line or byte offset and hit column exactly; views read
// them through the roles below (or fieldsAt, pathAt and archivePathAt), never from the
// text. Lines are kept compactly (their shown texts back to back in large chunks, the path
// and archive path once per run of lines about the same file, referred to by index), so a
// line costs 56 bytes besides its text and no widget, and growing it never copies what is
// stored already.
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
    // The roles a view reads besides DisplayRole and ToolTipRole. The place of a line
    // (path to hit length) holds the values of the ResultEntry the run made, unchanged;
    // the strings are decoded as the texts are, and PathBytesRole and ArchivePathBytesRole
    // give their bytes exactly (a name need not be valid in the text's encoding).
    enum Role {
        KindRole = Qt::UserRole + 1, // int: the LineKind
        PathRole,                    // QString: the file the line is about (an archive member:
                                     // its name in the archive); empty when none
        LineNumberRole,              // qlonglong: hit lines of text files, from 1; else 0
        HitBeginRole,                // int: where the found text starts in DisplayRole; -1 when none
        HitEndRole,                  // int: where the found text ends in DisplayRole; -1 when none
        NameBeginRole,               // int: where the part in the file colour starts; -1 when none
        ArchivePathRole,             // QString: the archive that holds PathRole; empty for plain files
        FileOffsetRole,              // qlonglong: hit lines: byte offset of the hit in the file
                                     // (or member); else -1 (ResultFields::fileOffset)
        HitColumnRole,               // int: hit lines: where the found text starts in the context
                                     // shown after the line's prefix, in bytes; else -1
        HitLengthRole,               // int: hit lines: the hit's length in bytes; else 0
                                     // (ResultFields::hitLength)
        BinaryRole,                  // bool: hit lines: found in a binary file (placed by
                                     // FileOffsetRole; LineNumberRole is 0)
        PathBytesRole,               // QByteArray: PathRole's bytes as the run named the file
        ArchivePathBytesRole,        // QByteArray: ArchivePathRole's bytes
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

    // What a row is about, without building a QVariant: its kind and place in the file,
    // and the path and archive path exactly as the run's line had them.
    LineKind kindAt(int row) const { return m_rows[static_cast<size_t>(row)].kind; }
    const ResultFields& fieldsAt(int row) const { return m_rows[static_cast<size_t>(row)].fields(); }
    const std::string& pathAt(int row) const;
    const std::string& archivePathAt(int row) const;

private:
    static constexpr uint32_t kNoPlace = UINT32_MAX;
    static constexpr uint32_t kNoHit = UINT32_MAX;
    // The file a run of lines is about.
    struct Place {
        std::string path, archivePath; // as in ResultEntry; not both empty
        bool operator==(const Place&) const = default;
    };
    // A line's fields as a whole, then what the model adds, starting in their tail padding.
    // Invariants (checked by rowStored): [offset, offset + textLength) lies in
    // m_chunks[chunk]; place is kNoPlace or below m_places.size(); hitBegin and hitEnd are
    // both kNoHit or hitBegin <= hitEnd <= textLength; nameBegin is kNoHit or at most
    // textLength.
    struct Row : ResultFields {
        // The text is not valid UTF-8 (a line of a file in another encoding): it is shown
        // byte for byte as Latin-1 rather than with replacement characters.
        bool latin1 = false;
        uint32_t place = kNoPlace; // into m_places: the path and archive path, or kNoPlace
        uint32_t chunk = 0;        // the shown text is m_chunks[chunk][offset, offset + textLength)
        uint32_t offset = 0;
        uint32_t textLength = 0;
        uint32_t hitBegin = kNoHit; // byte offsets into the shown text
        uint32_t hitEnd = kNoHit;
        uint32_t nameBegin = kNoHit; // byte offset of the file-coloured part, or kNoHit
    };
    static_assert(sizeof(Row) <= 56, "a row is stored for every line of a run");

    static constexpr size_t kChunkBytes = size_t(1) << 20;

    QString shownText(const Row& row) const;
    // The first `length` bytes of the row's text, decoded as the whole row is.
    QString decodeRow(const Row& row, size_t length) const;
    // Stores a shown text and returns where (a text longer than a chunk gets its own).
    void storeText(std::string_view text, Row& row);
    QString decode(const char* bytes, size_t length) const;
    QString decode(const std::string& s) const { return decode(s.data(), s.size()); }
    // The place of a row; null when it has none.
    const Place* placeOf(const Row& row) const { return row.place == kNoPlace ? nullptr : &m_places[row.place]; }
    // The invariants of a stored row (see Row).
    bool rowStored(const Row& row) const;

    std::deque<Row> m_rows;                // one per line, in the run's order
    std::deque<std::string> m_chunks;      // the shown texts; a chunk's capacity is reserved
                                           // up front, so it never moves once filled
    std::vector<Place> m_places; // each distinct from the one before: a place repeated by
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
    // its place, when set, is below m_placeCount; m_places[0, m_placeCount) are the places
    // of the rows, each distinct from the one before; entries past m_placeCount are spare
    // (their strings keep their capacity); m_placeCount <= m_places.size().
    std::vector<Row> m_rows;
    std::string m_text;
    std::vector<Place> m_places;
    size_t m_placeCount = 0;
    bool m_utf8 = true; // the code page when the batch began
    ListLine m_shown;   // scratch for listForm
};

} // namespace tw
