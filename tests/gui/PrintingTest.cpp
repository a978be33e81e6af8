// Printing, the help page and the About box, without dialogs: printing goes to PDF files.
#include "TestUtil.h"
#include "app/LanguageTable.h"
#include "gui/AboutBox.h"
#include "gui/HelpPage.h"
#include "gui/MainWindow.h"
#include "gui/ResultsPrinter.h"
#include "gui/RunController.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QSignalSpy>

#include <filesystem>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// The pages of a PDF file Qt wrote ("/Type /Page" objects, not "/Pages").
int pdfPageCount(const std::string& pdf)
{
    int pages = 0;
    for (size_t at = pdf.find("/Type"); at != std::string::npos; at = pdf.find("/Type", at + 1)) {
        size_t k = at + 5;
        while (k < pdf.size() && (pdf[k] == ' ' || pdf[k] == '\n' || pdf[k] == '\r' || pdf[k] == '\t'))
            ++k;
        if (pdf.compare(k, 5, "/Page") == 0 && (k + 5 >= pdf.size() || pdf[k + 5] < 'a' || pdf[k + 5] > 'z'))
            ++pages;
    }
    return pages;
}

void toPdf(QPrinter& printer, const std::string& path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
}

TEST(Printing, ATextFileFillsTheExpectedNumberOfPages)
{
    TempDir dir;
    QPrinter probe(QPrinter::HighResolution);
    toPdf(probe, dir.file("probe.pdf"));
    const PrintMetrics m = printMetrics(probe, printFont());
    ASSERT_GT(m.linesPerPage(), 10);
    ASSERT_GT(m.printableWidth, 50 + 40 * m.charWidth);
    const struct {
        const char* name;
        int lines;
        int pages;
    } cases[] = {
        {"one line", 1, 1},
        {"a full page", m.linesPerPage(), 1},
        {"one line more", m.linesPerPage() + 1, 2},
        {"two pages and a bit", 2 * m.linesPerPage() + 3, 3},
    };
    for (const auto& c : cases) {
        std::string text;
        for (int i = 0; i < c.lines; ++i)
            text += "Line " + std::to_string(i + 1) + " - \tsome text\r\n";
        writeFile(dir.file("in.txt"), text);
        const std::string pdf = dir.file(std::string(c.name) + ".pdf");
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, pdf);
        QString error;
        EXPECT_EQ(printTextFile(QString::fromStdString(dir.file("in.txt")), printer, &error), c.pages) << c.name;
        const std::string written = readFile(pdf);
        EXPECT_EQ(written.rfind("%PDF", 0), 0u) << c.name;
        EXPECT_EQ(pdfPageCount(written), c.pages) << c.name;
    }
}

TEST(Printing, AMissingFileIsReported)
{
    TempDir dir;
    QPrinter printer(QPrinter::HighResolution);
    toPdf(printer, dir.file("out.pdf"));
    QString error;
    EXPECT_EQ(printTextFile(QString::fromStdString(dir.file("gone.txt")), printer, &error), -1);
    EXPECT_EQ(error, "Error printing file gone.txt");
}

// "Default Printer" as the output file: the run's output is printed when the run is over
// and its temporary file is gone afterwards.
TEST(Printing, DefaultPrinterOutputIsPrintedAtTheEndOfTheRun)
{
    test::ScopedTmpDir tmp;
    TempDir dir;
    writeFile(dir.file("a.txt"), "one needle\ntwo needle\n");
    GuiRunHost host;
    std::vector<QString> messages;
    host.setMessageSink([&](const QString& text) { messages.push_back(text); });
    host.setPrintRedirect(QString::fromStdString(dir.file("out.pdf")));
    ResultsModel model;
    RunController controller(host, model);
    SearchRequest request;
    SearchPair pair;
    pair.searchText = "needle";
    request.pairs.push_back(pair);
    request.pathMasks.push_back({dir.path(), "*.txt"});
    request.options.maxRegexSize = 32767;
    request.options.outputFile = "default printer";
    QSignalSpy finished(&controller, &RunController::runFinished);
    ASSERT_TRUE(controller.start(request, "<", ">"));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(pdfPageCount(readFile(dir.file("out.pdf"))), 1);
    int left = 0;
    for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
        left += e.path().filename().string().rfind("TWP", 0) == 0;
    EXPECT_EQ(left, 0);
}

TEST(Printing, ThePrintFileHoldsTheHeadingAndEveryLine)
{
    test::ScopedTmpDir tmp;
    ResultsModel model;
    model.appendLines({ResultEntry::fileLine("/d/a.txt", ""), ResultEntry{"Line   1 - x\x01\x02y\x01\x03z", 1}});
    const std::string path = writePrintFile(model, "Heading\r\n", "[", "]");
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind(tmp.path() + "TWP", 0), 0u);
    EXPECT_EQ(readFile(path), "Heading\r\nProcessing file : /d/a.txt\r\nLine   1 - x[y]z\r\n");
    std::filesystem::remove(path);
}

TEST(HelpAndAbout, TheHelpPageIsFoundAndTheAboutBoxShowsItsValues)
{
    const QString help = helpPagePath();
    ASSERT_FALSE(help.isEmpty());
    const std::string page = readFile(help.toStdString());
    EXPECT_NE(page.find("<title>"), std::string::npos);
    EXPECT_NE(page.find("twundo.sh"), std::string::npos);

    EXPECT_EQ(kbFreeText(std::nullopt), "Unavailable");
    EXPECT_EQ(kbFreeText(42), "42 KB Free");
    const QString about = aboutText();
    EXPECT_TRUE(about.contains(QString::fromLatin1(TW_VERSION))) << about.toStdString();
    EXPECT_EQ(about.count("KB Free") + about.count("Unavailable"), 2) << about.toStdString();

    // The language file's texts reach the windows.
    ASSERT_EQ(activeLanguage().load("5016\tn/a\n", programVersion()).status, LanguageTable::Status::Loaded);
    EXPECT_EQ(kbFreeText(std::nullopt), "n/a");
    activeLanguage().load("", programVersion());
    EXPECT_EQ(kbFreeText(std::nullopt), "Unavailable");
}

TEST(HelpAndAbout, PrintNeedsResultsAndHelpIsOfferedWhileIdle)
{
    TempDir config;
    MainWindow window(QString::fromStdString(config.file("tw.conf")));
    std::map<QString, QAction*> actions;
    for (QAction* menu : window.menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            actions[menu->text() + '/' + a->text()] = a;
    ASSERT_TRUE(actions.count("&Edit/&Print Search Results"));
    EXPECT_FALSE(actions["&Edit/&Print Search Results"]->isEnabled());
    for (const char* help : {"&Help/&Contents\tF1", "&Help/&Search", "&Help/&About"}) {
        ASSERT_TRUE(actions.count(help)) << help;
        EXPECT_TRUE(actions[help]->isEnabled()) << help;
    }
    EXPECT_EQ(actions["&Help/&Contents\tF1"]->shortcut(), QKeySequence(Qt::Key_F1));
    window.model().appendLines({ResultEntry::summary("Found 1")});
    EXPECT_TRUE(actions["&Edit/&Print Search Results"]->isEnabled());
}

} // namespace
} // namespace tw
