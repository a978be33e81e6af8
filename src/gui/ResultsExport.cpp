#include "gui/ResultsExport.h"

#include "engine/CharClasses.h"
#include "platform/FileSystem.h"
#include "results/HtmlPage.h"

#include <algorithm>

namespace tw {

QString clipboardText(const ResultsModel& model, std::vector<int> rows, const QString& heading,
                      const QString& beforeHit, const QString& afterHit)
{
    if (rows.empty())
        for (int r = 0; r < model.rowCount(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end()); // list order, whatever order they were selected in
    QString out = heading;
    for (const int r : rows) {
        const QModelIndex index = model.index(r);
        QString line = index.data().toString();
        const int begin = index.data(ResultsModel::HitBeginRole).toInt();
        const int end = index.data(ResultsModel::HitEndRole).toInt();
        if (begin >= 0 && index.data(ResultsModel::NameBeginRole).toInt() < 0) {
            // The end text goes in first, so the begin position stays valid.
            line.insert(std::clamp(end, begin, static_cast<int>(line.size())), afterHit);
            line.insert(begin, beforeHit);
        }
        out += line;
        out += QStringLiteral("\r\n");
    }
    return out;
}

namespace {

// The row as a results line again: its text with the markers put back where the model
// says the file name or the found text stands.
ResultEntry markedEntry(const ResultsModel& model, int row)
{
    const QModelIndex index = model.index(row);
    const QString text = index.data().toString();
    const int name = index.data(ResultsModel::NameBeginRole).toInt();
    const int begin = index.data(ResultsModel::HitBeginRole).toInt();
    const int end = index.data(ResultsModel::HitEndRole).toInt();
    ResultEntry entry;
    // Back to the bytes the model decoded: UTF-8, or one byte per character otherwise.
    const bool utf8 = activeCharClasses().kind == CodePageKind::Utf8;
    auto bytes = [utf8](const QString& s) { return utf8 ? s.toStdString() : s.toLatin1().toStdString(); };
    if (name >= 0) {
        entry.text = bytes(text.left(name)) + std::string(kNameMarker) + bytes(text.mid(name));
    } else if (begin >= 0) {
        const int stop = std::clamp(end, begin, static_cast<int>(text.size()));
        entry.text = bytes(text.left(begin)) + std::string(kHitBegin) + bytes(text.mid(begin, stop - begin)) +
                     std::string(kHitEnd) + bytes(text.mid(stop));
    } else {
        entry.text = bytes(text);
    }
    return entry;
}

} // namespace

bool writeHtmlPage(const ResultsModel& model, const std::string& heading, const std::string& path)
{
    std::unique_ptr<File> out = realFileSystem().openWrite(path, true, true);
    if (!out)
        return false;
    HtmlOptions options;
    options.utf8 = activeCharClasses().kind == CodePageKind::Utf8;
    HtmlResultsView page(*out, heading, options);
    for (int r = 0; r < model.rowCount(); ++r)
        page.appendLine(markedEntry(model, r));
    return page.finish() && out->sync();
}

} // namespace tw
