#include "gui/ResultsExport.h"

#include "engine/CharClasses.h"
#include "platform/FileSystem.h"
#include "results/HtmlPage.h"
#include "results/ResultText.h"

#include <algorithm>

namespace tw {

namespace {

// The texts' bytes as the model decoded them: UTF-8, or one byte per character otherwise.
bool textIsUtf8() { return activeCharClasses().kind == CodePageKind::Utf8; }
std::string toBytes(const QString& s) { return textIsUtf8() ? s.toStdString() : s.toLatin1().toStdString(); }
QString fromBytes(const std::string& s)
{
    return textIsUtf8() ? QString::fromStdString(s) : QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// The row as a results line again: its fields, path and archive path as the run made
// them, and its text with the markers put back where the model says the file name or the
// found text stands.
ResultEntry markedEntry(const ResultsModel& model, int row)
{
    const QModelIndex index = model.index(row);
    const QString text = index.data().toString();
    const int name = index.data(ResultsModel::NameBeginRole).toInt();
    const int begin = index.data(ResultsModel::HitBeginRole).toInt();
    const int end = index.data(ResultsModel::HitEndRole).toInt();
    ResultEntry entry;
    entry.fields() = model.fieldsAt(row);
    entry.path = model.pathAt(row);
    entry.archivePath = model.archivePathAt(row);
    const auto bytes = toBytes;
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

QString clipboardText(const ResultsModel& model, std::vector<int> rows, const QString& heading,
                      const QString& beforeHit, const QString& afterHit)
{
    if (rows.empty())
        for (int r = 0; r < model.rowCount(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end()); // list order, whatever order they were selected in
    const std::string before = toBytes(beforeHit), after = toBytes(afterHit);
    // The lines end with LF: a Linux editor or terminal shows the CR of the output file's
    // CR LF as "^M". Results lines hold no other CR (control bytes are shown as spaces or "?").
    QString out = QString(heading).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const int r : rows) {
        std::string line = outputFileLine(markedEntry(model, r), before, after);
        if (line.ends_with("\r\n"))
            line.erase(line.size() - 2, 1);
        out += fromBytes(line);
    }
    return out;
}

bool writeResultsText(const ResultsModel& model, const std::string& heading, const std::string& beforeHit,
                      const std::string& afterHit, File& out)
{
    bool ok = out.write(heading.data(), heading.size());
    for (int r = 0; ok && r < model.rowCount(); ++r) {
        const std::string line = outputFileLine(markedEntry(model, r), beforeHit, afterHit);
        ok = out.write(line.data(), line.size());
    }
    return ok;
}

bool writeHtmlPage(const ResultsModel& model, const std::string& heading, const std::string& path)
{
    std::unique_ptr<File> out = realFileSystem().openWrite(path, true, true);
    if (!out)
        return false;
    HtmlOptions options;
    options.utf8 = textIsUtf8();
    HtmlResultsView page(*out, heading, options);
    for (int r = 0; r < model.rowCount(); ++r)
        page.appendLine(markedEntry(model, r));
    return page.finish() && out->sync();
}

} // namespace tw
