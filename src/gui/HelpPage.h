#pragma once
// The help page (an HTML file shipped with the program), opened in the system's browser.
#include <QString>

class QWidget;

namespace tw {

// The help page's path: the installed page, then the page installed beside the program
// (bin/../share/tarnwick/), then the page of the source tree the program was built from.
// Empty when none exists.
QString helpPagePath();

// Opens the help page with its default action; a message over `parent` when it cannot.
void openHelp(QWidget* parent);

} // namespace tw
