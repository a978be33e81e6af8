#pragma once
// Paints a results line: the text before the found text (or before the file name) in the
// window text colour, the found text on a background of the palette's highlight family in
// the found colour, a file name or summary in the file colour (file lines in bold), and the
// rest in the window text colour. The markers are never shown; the model hands over the
// text without them and the ranges to colour.
//
// A line wider than the list is cut so that what matters stays in view: a hit line that
// would put its found text past the right edge goes on after its line number with "…" a
// little before the found text; a long path loses its middle, so the file's name stays
// visible.
//
// Colours the user has not chosen (the options' defaults) are adjusted to the list's base
// colour so that they keep a contrast of at least kMinContrast, in light and dark palettes.
#include <QStyledItemDelegate>

#include <cstdint>

namespace tw {

class ResultsDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr double kMinContrast = 4.5;

    explicit ResultsDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
    // Colours as the options keep them: 0x00BBGGRR.
    void setColors(uint32_t foundColor, uint32_t fileColor);
    // The found and file colours as drawn on a list whose base colour is `base`.
    QColor foundColorOn(const QColor& base) const;
    QColor fileColorOn(const QColor& base) const;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // A line as it is drawn in `width` pixels: its text and the range in the found or file
    // colour (begin -1: none). `fileName` marks a line whose coloured part is a path.
    struct Fitted {
        QString text;
        int begin = -1;
        int end = -1;
    };
    static Fitted fitLine(const QString& text, int begin, int end, bool fileName, const QFontMetrics& metrics,
                          int width);

private:
    QColor m_found{255, 0, 0};
    QColor m_file{0, 0, 255};
    bool m_foundChosen = false; // the user chose the colour: it is drawn as it is
    bool m_fileChosen = false;
};

} // namespace tw
