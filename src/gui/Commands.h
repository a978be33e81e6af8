#pragma once
// The texts and pictures of the main window's commands. Each command has a menu text, a
// hint (shown in the status bar while its menu item is highlighted) and a tool tip (the
// short name on its toolbar button); the menu and the toolbar share one QAction per
// command, so both show the same picture and the same enabled state.
#include "app/CommandRules.h"

#include <QIcon>
#include <QString>

#include <vector>

class QStyle;

namespace tw {

struct CommandText {
    int id;
    QString menuText; // with its accelerator and, after a tab, its key
    QString hint;     // what the command does, for the status bar
    QString tip;      // the toolbar button's tool tip
};

// Every command of the menus, in menu order within each menu, with the texts of the
// language table (app/LanguageTable.h).
const std::vector<CommandText>& commandTexts();
// The entry of `id`; nullptr for an unknown identifier.
const CommandText* findCommandText(int id);

// The command's picture: from the desktop's icon theme, else one of the style's standard
// pictures, else (for the flags, which no theme draws) a small lettered badge.
QIcon commandIcon(int id, const QStyle* style);

// The toolbar a fresh installation shows.
std::vector<int> defaultToolbarItems();

} // namespace tw
