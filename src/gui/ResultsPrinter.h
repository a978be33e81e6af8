#pragma once
// Printing the results: a text file of the run heading and the lines in their plain form,
// laid out by PrintLayout in a fixed-pitch font on the printer's printable area.
#include "gui/ResultsModel.h"
#include "results/PrintLayout.h"

#include <QFont>
#include <QString>

#include <string>

class QPrinter;
class QWidget;

namespace tw {

// The fixed-pitch font of printed results.
QFont printFont();

// The page measures of `printer` (its printable area) with `font`, in device units.
PrintMetrics printMetrics(QPrinter& printer, const QFont& font);

// Prints the text file at `path` on `printer`, the document named after the file. Returns
// the number of pages printed, or -1 with *error (when given) saying what failed.
int printTextFile(const QString& path, QPrinter& printer, QString* error = nullptr);

// Writes the run heading and every line of `model` to a new temporary file ("TWP..."); its
// path, or empty when it could not be written.
std::string writePrintFile(const ResultsModel& model, const std::string& heading, const std::string& beforeHit,
                           const std::string& afterHit);

// The Print command: nothing for an empty list; else the lines go to a temporary file and
// the print dialog opens over `parent` (the whole document only: no page range, no
// selection, no printing to a file). On OK the file is printed. The file is deleted once the
// dialog has closed. Where the system has no printer, a message says so instead.
void printResults(QWidget* parent, const ResultsModel& model, const std::string& heading,
                  const std::string& beforeHit, const std::string& afterHit);

} // namespace tw
