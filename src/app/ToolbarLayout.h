#pragma once
// The toolbar's saved arrangement ("ToolBar"): which buttons it shows, in which order
// (0 marks a separator), followed by the window's own saved toolbar state (its place and
// visibility, as QMainWindow::saveState() writes it). The value comes from the settings
// file, so reading it trusts nothing: a value that is not exactly this layout is ignored.
#include <QByteArray>

#include <functional>
#include <optional>
#include <vector>

namespace tw {

inline constexpr int kToolbarSeparator = 0;
// More buttons than any toolbar of this program can hold: a longer list is not ours.
inline constexpr int kMaxToolbarItems = 64;

struct ToolbarLayout {
    std::vector<int> items; // command identifiers and separators, left to right
    QByteArray windowState; // QMainWindow::saveState(), possibly empty

    bool operator==(const ToolbarLayout&) const = default;
};

QByteArray encodeToolbarLayout(const ToolbarLayout& layout);

// Nothing when `blob` is not a layout this program wrote. Identifiers for which
// `isCommand` is false (a command of another version) are dropped, as are repeated
// ones; separators are kept but never two in a row, nor at either end.
std::optional<ToolbarLayout> decodeToolbarLayout(const QByteArray& blob,
                                                 const std::function<bool(int)>& isCommand);

} // namespace tw
