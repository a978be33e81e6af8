#pragma once
// The program's icon, built into the program as a resource so that it shows also when the
// program runs from the build directory, before the desktop's icon theme holds it.
#include <QIcon>

namespace tw {

// The icon in every size it is drawn at (16 to 256 pixels); the installed theme's icon of
// the same name takes its place where the desktop has one.
QIcon applicationIcon();

} // namespace tw
