#include "gui/ResultsPrinter.h"
#include "gui/TitleFit.h"

#include "engine/CharClasses.h"
#include "gui/ResultsExport.h"
#include "gui/UiText.h"
#include "platform/FileSystem.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <fstream>
#include <memory>

namespace tw {

namespace {

bool textIsUtf8() { return activeCharClasses().kind == CodePageKind::Utf8; }

QString decode(const std::string& bytes, bool utf8)
{
    const auto n = static_cast<qsizetype>(bytes.size());
    return utf8 ? QString::fromUtf8(bytes.data(), n) : QString::fromLatin1(bytes.data(), n);
}

void showWarning(QWidget* parent, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Tarnwick"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    fitTitle(*box);
    box->open();
}

// One Print command while its dialog is open: owns the printer the dialog edits and the
// temporary file, which it deletes when it goes.
class PrintJob final : public QObject {
public:
    PrintJob(QWidget* parent, std::string path) : QObject(parent), m_path(std::move(path))
    {
        m_dialog = new QPrintDialog(&m_printer, parent);
        m_dialog->setWindowTitle(uiText(kTextPrintTitle));
        m_dialog->setAccessibleName(uiText(kTextPrintTitle));
        // The whole document only.
        m_dialog->setOption(QAbstractPrintDialog::PrintToFile, false);
        m_dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
        m_dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
        m_dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        connect(m_dialog, &QDialog::finished, this, [this, parent](int result) {
            if (result == QDialog::Accepted) {
                QString error;
                if (printTextFile(QString::fromStdString(m_path), m_printer, &error) < 0)
                    showWarning(parent, error);
            }
            deleteLater();
        });
        m_dialog->open();
    }
    ~PrintJob() override
    {
        // The dialog goes first: it refers to m_printer.
        delete m_dialog.data();
        realFileSystem().removeFile(m_path);
    }

private:
    QPrinter m_printer{QPrinter::HighResolution};
    QPointer<QPrintDialog> m_dialog;
    std::string m_path;
};

} // namespace

QFont printFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    return font;
}

PrintMetrics printMetrics(QPrinter& printer, const QFont& font)
{
    const QFontMetrics fm(font, &printer);
    const QRectF area = printer.pageRect(QPrinter::DevicePixel);
    PrintMetrics m;
    m.printableWidth = static_cast<int>(area.width());
    m.printableHeight = static_cast<int>(area.height());
    m.charWidth = std::max(fm.horizontalAdvance(QLatin1Char('M')), 1);
    // The font's height plus its external leading (never less than the height).
    m.lineHeight = std::max(fm.height() + std::max(fm.leading(), 0), 1);
    m.utf8 = textIsUtf8();
    return m;
}

int printTextFile(const QString& path, QPrinter& printer, QString* error)
{
    const auto fail = [&] {
        if (error)
            *error = uiText(kTextPrintFailed).arg(QFileInfo(path).fileName());
        return -1;
    };
    std::ifstream in(path.toStdString(), std::ios::binary);
    if (!in)
        return fail();
    printer.setDocName(QFileInfo(path).fileName());
    QPainter painter;
    if (!painter.begin(&printer))
        return fail();
    const QFont font = printFont();
    painter.setFont(font);
    const PrintMetrics metrics = printMetrics(printer, font);
    const int ascent = QFontMetrics(font, &printer).ascent();
    bool ok = true;
    PrintLayout layout(metrics, [&](const PrintPage& page) {
        if (!ok)
            return;
        if (layout.pagesDone() > 0 && !printer.newPage()) {
            ok = false;
            return;
        }
        for (size_t i = 0; i < page.lines.size(); ++i) {
            // A line's top lies at (its number on the page) x line height.
            const int baseline = static_cast<int>(i + 1) * metrics.lineHeight + ascent;
            for (const PrintSegment& s : page.lines[i])
                painter.drawText(s.x, baseline, decode(s.text, metrics.utf8));
        }
    });
    std::string line;
    while (ok && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        layout.addLine(line);
    }
    ok = ok && !in.bad();
    layout.finish();
    const bool ended = painter.end();
    if (!ok || !ended || printer.printerState() == QPrinter::Error)
        return fail();
    return layout.pagesDone();
}

std::string writePrintFile(const ResultsModel& model, const std::string& heading, const std::string& beforeHit,
                           const std::string& afterHit)
{
    std::unique_ptr<File> file = realFileSystem().createTemp("TWP");
    if (!file)
        return {};
    const std::string path = file->path();
    if (!writeResultsText(model, heading, beforeHit, afterHit, *file) || !file->sync()) {
        file.reset();
        realFileSystem().removeFile(path);
        return {};
    }
    return path;
}

void printResults(QWidget* parent, const ResultsModel& model, const std::string& heading,
                  const std::string& beforeHit, const std::string& afterHit)
{
    if (model.rowCount() == 0)
        return;
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        showWarning(parent, uiText(kTextNoPrinter));
        return;
    }
    const std::string path = writePrintFile(model, heading, beforeHit, afterHit);
    if (path.empty()) {
        showWarning(parent, uiText(kTextPrintTempFailed));
        return;
    }
    new PrintJob(parent, path); // deletes itself when its dialog has closed
}

} // namespace tw
