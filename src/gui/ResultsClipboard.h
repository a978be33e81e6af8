#pragma once
// The text "Copy Search Results" puts on the clipboard: the run heading, then the chosen
// lines (the selected ones, or all when none is selected) in their plain form, the found
// text between the "Before Hit" and "After Hit" texts, each line ending in CR LF.
#include "gui/ResultsModel.h"

#include <QString>

#include <vector>

namespace tw {

QString clipboardText(const ResultsModel& model, std::vector<int> rows, const QString& heading,
                      const QString& beforeHit, const QString& afterHit);

} // namespace tw
