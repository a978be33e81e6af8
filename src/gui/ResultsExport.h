#pragma once
// The results list leaving the program: the clipboard text and the HTML page.
//
// The text "Copy Search Results" puts on the clipboard: the run heading, then the chosen
// lines (the selected ones, or all when none is selected) in their plain form, the found
// text between the "Before Hit" and "After Hit" texts, each line ending in LF (the output
// file and the printed text keep CR LF).
#include "gui/ResultsModel.h"
#include "platform/FileSystem.h"

#include <QString>

#include <vector>

namespace tw {

QString clipboardText(const ResultsModel& model, std::vector<int> rows, const QString& heading,
                      const QString& beforeHit, const QString& afterHit);

// Writes the run heading and every line of the list in its plain form, each with CR LF, to
// `out` (the text that is printed); false when a write failed.
bool writeResultsText(const ResultsModel& model, const std::string& heading, const std::string& beforeHit,
                      const std::string& afterHit, File& out);

// Writes the HTML page of every line of the list after the run heading to `path`
// (created or emptied); false when it could not be written.
bool writeHtmlPage(const ResultsModel& model, const std::string& heading, const std::string& path);

} // namespace tw
