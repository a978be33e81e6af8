#pragma once
// Message boxes size themselves to their text, and a short text leaves too little room for
// the title in the window manager's title bar, beside its buttons ("Tar… ick"). This widens
// a box so that its title shows whole.
class QMessageBox;
class QString;

namespace tw {

// The width a title bar needs for `title`: the text in a bold title font and room for the
// window manager's icon and buttons.
int titleBarWidth(const QString& title);
// Gives `box` at least the width its title needs (call after the title is set).
void fitTitle(QMessageBox& box);

} // namespace tw
