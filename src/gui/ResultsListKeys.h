#pragma once
// The keys of the results list beyond those of the list view: Shift+F10 opens its menu (as
// the Menu key does), Ctrl+Home and Ctrl+End select the first and the last line.
#include <functional>

class QListView;

namespace tw {

void addListKeys(QListView* list, std::function<void()> openMenu);

} // namespace tw
