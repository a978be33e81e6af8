#pragma once
// The About box: the program's name and version, the memory available and the free disk
// space of the data directory.
#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace tw {

// "N KB Free", or "Unavailable" when the value could not be read.
QString kbFreeText(std::optional<uint64_t> kb);

// The box's text, from the values read now.
QString aboutText();

// Shows the box over `parent` (window-modal, it does not block the caller).
void showAbout(QWidget* parent);

} // namespace tw
