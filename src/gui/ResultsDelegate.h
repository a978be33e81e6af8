#pragma once
// Paints a results line: the text before the found text (or before the file name) in the
// window text colour, the found text in the found colour, a file name or summary in the
// file colour, and the rest in the window text colour. The markers are never shown; the
// model hands over the text without them and the ranges to colour.
#include <QStyledItemDelegate>

#include <cstdint>

namespace tw {

class ResultsDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ResultsDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
    // Colours as the options keep them: 0x00BBGGRR.
    void setColors(uint32_t foundColor, uint32_t fileColor);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QColor m_found{255, 0, 0};
    QColor m_file{0, 0, 255};
};

} // namespace tw
