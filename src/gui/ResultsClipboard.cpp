#include "gui/ResultsClipboard.h"

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

} // namespace tw
