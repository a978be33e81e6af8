#include "core/ProgramOptions.h"
#include "gui/ColorContrast.h"
#include "gui/ResultsDelegate.h"
#include "gui/ResultsModel.h"
#include "results/ResultText.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QTest>

namespace tw {
namespace {

TEST(ColorContrast, MeasuresAndReachesTheMinimum)
{
    EXPECT_NEAR(contrastRatio(0x000000, 0xFFFFFF), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(0x777777, 0xFFFFFF), 4.48, 0.01);
    EXPECT_NEAR(contrastRatio(0xFF0000, 0xFFFFFF), 4.0, 0.01);
    EXPECT_NEAR(contrastRatio(0x0000FF, 0x2B2B2B), 1.65, 0.01); // blue on a dark list
    // Colours that are readable already stay; the others move no further than needed.
    EXPECT_EQ(readableColor(0x0000FF, 0xFFFFFF, 4.5), 0x0000FFu);
    for (const uint32_t base : {0xFFFFFFu, 0xF0F0F0u, 0x2B2B2Bu, 0x000000u, 0x808080u}) {
        for (const uint32_t wanted : {0xFF0000u, 0x0000FFu, 0xFFFF00u, 0x00FF00u}) {
            const uint32_t got = readableColor(wanted, base, 4.5);
            SCOPED_TRACE(std::to_string(wanted) + " on " + std::to_string(base));
            EXPECT_GE(contrastRatio(got, base), 4.5);
            EXPECT_LT(contrastRatio(got, base), 4.5 * 1.1 + (got == wanted ? 100 : 0));
        }
    }
}

// The options' default colours are drawn with enough contrast on light and dark lists; a
// colour the user chose is drawn as chosen.
TEST(ResultsDelegate, DefaultColoursAreReadableOnLightAndDarkLists)
{
    const ProgramOptions defaults;
    ResultsDelegate delegate;
    delegate.setColors(defaults.stringColor, defaults.fileColor);
    for (const QColor base : {QColor(Qt::white), QColor(0xF5, 0xF5, 0xF5), QColor(0x2B, 0x2B, 0x2B), QColor(0x1E, 0x1E, 0x1E)}) {
        SCOPED_TRACE(base.name().toStdString());
        for (const QColor c : {delegate.foundColorOn(base), delegate.fileColorOn(base)})
            EXPECT_GE(contrastRatio(c.rgb() & 0xFFFFFF, base.rgb() & 0xFFFFFF), ResultsDelegate::kMinContrast)
                << c.name().toStdString();
        // The found colour stays a red, the file colour a blue.
        EXPECT_GT(delegate.foundColorOn(base).red(), delegate.foundColorOn(base).blue());
        EXPECT_GT(delegate.fileColorOn(base).blue(), delegate.fileColorOn(base).red());
    }
    delegate.setColors(0x00FFFF, defaults.fileColor); // yellow, chosen
    EXPECT_EQ(delegate.foundColorOn(Qt::white), QColor(Qt::yellow));
}

// A line wider than the list keeps what matters in view: the found text of a hit line, the
// name at the end of a long path.
TEST(ResultsDelegate, LongLinesKeepTheHitAndTheFileNameInView)
{
    const QFontMetrics metrics(QApplication::font());
    const int width = 300;
    const QString before(400, QLatin1Char('x'));
    const QString hitLine = QStringLiteral("Line   1 - ") + before + QStringLiteral("needle tail");
    const int begin = static_cast<int>(hitLine.indexOf("needle"));
    const ResultsDelegate::Fitted hit = ResultsDelegate::fitLine(hitLine, begin, begin + 6, false, metrics, width);
    EXPECT_EQ(hit.text.mid(hit.begin, hit.end - hit.begin), "needle");
    EXPECT_LE(metrics.horizontalAdvance(hit.text.left(hit.end)), width);
    EXPECT_TRUE(hit.text.startsWith(QStringLiteral("Line   1 - ") + QChar(0x2026))) << hit.text.toStdString();
    // A short line is left alone.
    const ResultsDelegate::Fitted shortLine = ResultsDelegate::fitLine("Line 1 - a needle", 11, 17, false, metrics, width);
    EXPECT_EQ(shortLine.text, "Line 1 - a needle");

    const QString prefix = QStringLiteral("Processing file : ");
    const QString path = QStringLiteral("/home/user/") + QString(60, QLatin1Char('d')) + QStringLiteral("/deep/name.c");
    const ResultsDelegate::Fitted file =
        ResultsDelegate::fitLine(prefix + path, static_cast<int>(prefix.size()), static_cast<int>((prefix + path).size()),
                                 true, metrics, width);
    EXPECT_TRUE(file.text.startsWith(prefix + "/home"));
    EXPECT_TRUE(file.text.endsWith("name.c")) << file.text.toStdString();
    EXPECT_TRUE(file.text.contains(QChar(0x2026)));
    EXPECT_LE(metrics.horizontalAdvance(file.text), width);
    EXPECT_EQ(file.end, file.text.size());
}

// Drawn in a narrow list, the found text of a long line shows, on a background of its own
// that also marks it on a selected line; the file line's tip is its whole path.
TEST(ResultsDelegate, DrawsTheHitOfALongLineInView)
{
    ResultsModel model;
    ResultEntry hit;
    hit.kind = LineKind::Hit;
    hit.path = "/d/a.txt";
    hit.lineNumber = 1;
    hit.text = "Line   1 - " + std::string(300, 'x') + std::string(kHitBegin) + "needle" + std::string(kHitEnd);
    model.appendLines({ResultEntry::fileLine("/d/a.txt"), hit, hit});
    EXPECT_EQ(model.data(model.index(0), Qt::ToolTipRole).toString(), "/d/a.txt");
    EXPECT_FALSE(model.data(model.index(1), Qt::ToolTipRole).isValid());

    QListView list;
    ResultsDelegate delegate;
    const ProgramOptions defaults;
    delegate.setColors(defaults.stringColor, defaults.fileColor);
    list.setItemDelegate(&delegate);
    list.setModel(&model);
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list.resize(320, 120);
    list.selectionModel()->select(model.index(2), QItemSelectionModel::Select);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QImage image = list.viewport()->grab().toImage();
    const QPalette palette = list.palette();
    for (const int row : {1, 2}) {
        SCOPED_TRACE(row);
        const QRect rect = list.visualRect(model.index(row));
        const QRgb plainBackground =
            palette.color(row == 2 ? QPalette::Highlight : QPalette::Base).rgb();
        int red = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= std::min(rect.right(), image.width() - 1); ++x) {
                const QColor c = image.pixelColor(x, y);
                red += c.red() > 2 * c.green() + 40 && c.red() > 2 * c.blue() + 40;
            }
        if (row == 1) {
            EXPECT_GT(red, 10); // the found text in the found colour
        }
        // The tint behind the found text: just inside the row's top edge, above the glyphs,
        // a band of another colour than the row's background.
        int band = 0;
        for (int x = rect.left(); x <= std::min(rect.right(), image.width() - 1); ++x)
            band += image.pixel(x, rect.top() + 2) != plainBackground;
        EXPECT_GT(band, 20);
    }
}

} // namespace
} // namespace tw
