#pragma once
// The results list as the desktop program shows it: a display-only list model over the
// run's lines, filled in batches from the worker thread's lines. Lines are kept compactly
// (their shown text in one shared buffer, paths once per run of lines about the same
// file), so a list of a million lines costs tens of megabytes and no widget per line.
#include "results/ResultEntry.h"

#include <QAbstractListModel>

#include <cstdint>
#include <string>
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
    };

    explicit ResultsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole is the line without its markers.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Appends the lines with one insertion (one rowsInserted for the whole batch).
    void appendLines(const std::vector<ResultEntry>& lines);
    void clear();

    // The kind and the path of a row without building a QVariant.
    LineKind kindAt(int row) const { return m_rows[static_cast<size_t>(row)].kind; }
    const std::string& pathAt(int row) const;

private:
    static constexpr uint32_t kNoPath = UINT32_MAX;
    static constexpr uint32_t kNoHit = UINT32_MAX;
    struct Row {
        uint64_t textOffset = 0; // the shown text is m_text[textOffset, textOffset + textLength)
        uint32_t textLength = 0;
        uint32_t pathIndex = kNoPath; // into m_paths, or kNoPath
        int64_t lineNumber = 0;
        uint32_t hitBegin = kNoHit; // byte offsets into the shown text; both kNoHit or both set
        uint32_t hitEnd = kNoHit;
        LineKind kind = LineKind::Other;
    };

    QString shownText(const Row& row) const;
    QString decode(const char* bytes, size_t length) const;

    std::vector<Row> m_rows;
    std::string m_text;               // the shown texts of all rows, back to back
    std::vector<std::string> m_paths; // distinct from their neighbours: a path repeated by
                                      // consecutive lines is stored once
    bool m_utf8 = true;               // texts are UTF-8; else a single-byte code page
};

} // namespace tw
