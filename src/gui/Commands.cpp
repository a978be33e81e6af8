#include "gui/Commands.h"

#include "app/ToolbarLayout.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

namespace tw {

const std::vector<CommandText>& commandTexts()
{
    static const std::vector<CommandText> texts = {
        {kCmdSearch, "&Search\tCtrl+F", "Search the files selected by mask and path", "Search"},
        {kCmdReplace, "&Replace\tCtrl+H", "Replace in the files selected by mask and path", "Replace"},
        {kCmdTouch, "&Touch...\tCtrl+T", "Set the date and time of the files selected by mask and path", "Touch"},
        {kCmdFileOperations, "&File Operations...", "Copy, move, rename or delete the files in the results",
         "File Operations"},
        {kCmdExit, "E&xit", "Quit the program", "Exit"},
        {kCmdCopyResults, "&Copy Search Results", "Copy the search results to the clipboard", "Copy Results"},
        {kCmdPrintResults, "&Print Search Results", "Print the search results", "Print Results"},
        {kCmdViewHtml, "View Results as &HTML", "Show the search results as a page in the web browser",
         "View as HTML"},
        {kCmdOpenAssociated, "&Open with Associated Viewer", "Open the selected file with its associated program",
         "Open"},
        {kCmdOpenDefaultViewer, "Open with &Default Viewer", "Open the selected file with the default viewer",
         "Default Viewer"},
        {kCmdOpenWith, "Open &with ...", "Open the selected file with a program of your choice", "Open With"},
        {kCmdViewContext, "&Context", "Show the lines around the current hit", "View Context"},
        {kCmdCustomizeToolbar, "&Customize Toolbar...", "Choose and arrange the toolbar buttons",
         "Customize Toolbar"},
        {kCmdScript, "&Script...", "Edit and use a script of search and replace pairs", "Script"},
        {kCmdOptions, "Op&tions...", "Change the program's options", "Options"},
        {kCmdCaseSensitive, "&Case Sensitive", "Match upper and lower case exactly", "Case Sensitive"},
        {kCmdSearchSubdirs, "&Search Subdirectories", "Search the subdirectories of the path too",
         "Search Subdirectories"},
        {kCmdWholeWord, "&Whole Word Match", "Find whole words only", "Whole Word"},
        {kCmdRegularExpression, "&Regular Expression", "Read the search text as a regular expression",
         "Regular Expression"},
        {kCmdSearchZips, "Search &ZIP Files", "Search inside archives too", "Search ZIPs"},
        {kCmdIgnoreWhitespace, "&Ignore Whitespace", "Let any run of whitespace match any other",
         "Ignore Whitespace"},
        {kCmdHelpContents, "&Contents\tF1", "Show the help", "Help"},
        {kCmdHelpSearch, "&Search", "Search the help", "Help Search"},
        {kCmdAbout, "&About", "Show the version, the free memory and the free disk space", "About"},
    };
    return texts;
}

const CommandText* findCommandText(int id)
{
    for (const CommandText& t : commandTexts())
        if (t.id == id)
            return &t;
    return nullptr;
}

namespace {

// A badge with a short text, for the flags.
QIcon badge(const QString& text)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(70, 90, 120), 2));
    painter.setBrush(QColor(225, 232, 242));
    painter.drawRoundedRect(QRectF(2, 4, 28, 24), 5, 5);
    QFont font;
    font.setBold(true);
    font.setPixelSize(text.size() > 2 ? 10 : 14);
    painter.setFont(font);
    painter.setPen(QColor(30, 40, 60));
    painter.drawText(QRect(2, 4, 28, 24), Qt::AlignCenter, text);
    return QIcon(pixmap);
}

} // namespace

QIcon commandIcon(int id, const QStyle* style)
{
    struct Picture {
        int id;
        const char* theme;
        QStyle::StandardPixmap standard;
    };
    static const Picture pictures[] = {
        {kCmdSearch, "edit-find", QStyle::SP_FileDialogContentsView},
        {kCmdReplace, "edit-find-replace", QStyle::SP_BrowserReload},
        {kCmdTouch, "appointment-new", QStyle::SP_FileDialogDetailedView},
        {kCmdFileOperations, "folder", QStyle::SP_DirIcon},
        {kCmdExit, "application-exit", QStyle::SP_DialogCloseButton},
        {kCmdCopyResults, "edit-copy", QStyle::SP_FileDialogListView},
        {kCmdPrintResults, "document-print", QStyle::SP_DriveFDIcon},
        {kCmdViewHtml, "text-html", QStyle::SP_DriveNetIcon},
        {kCmdOpenAssociated, "document-open", QStyle::SP_DialogOpenButton},
        {kCmdOpenDefaultViewer, "document-open", QStyle::SP_FileIcon},
        {kCmdOpenWith, "document-open", QStyle::SP_FileLinkIcon},
        {kCmdViewContext, "zoom-in", QStyle::SP_FileDialogInfoView},
        {kCmdCustomizeToolbar, "configure-toolbars", QStyle::SP_TitleBarMenuButton},
        {kCmdScript, "text-x-script", QStyle::SP_FileDialogStart},
        {kCmdOptions, "preferences-system", QStyle::SP_ComputerIcon},
        {kCmdHelpContents, "help-contents", QStyle::SP_DialogHelpButton},
        {kCmdHelpSearch, "help-contents", QStyle::SP_DialogHelpButton},
        {kCmdAbout, "help-about", QStyle::SP_MessageBoxInformation},
    };
    static const struct {
        int id;
        const char* text;
    } badges[] = {
        {kCmdCaseSensitive, "Aa"}, {kCmdSearchSubdirs, "Sub"}, {kCmdWholeWord, "W"},
        {kCmdRegularExpression, ".*"}, {kCmdSearchZips, "Zip"}, {kCmdIgnoreWhitespace, "\u2423"},
    };
    for (const auto& b : badges)
        if (b.id == id)
            return badge(QString::fromUtf8(b.text));
    for (const Picture& p : pictures) {
        if (p.id != id)
            continue;
        // Some themes draw only the one-colour "-symbolic" variants of these names.
        const QString name = QString::fromLatin1(p.theme);
        for (const QString& candidate : {name, name + QStringLiteral("-symbolic")}) {
            const QIcon themed = QIcon::fromTheme(candidate);
            if (!themed.isNull())
                return themed;
        }
        return style ? style->standardIcon(p.standard) : QIcon();
    }
    return {};
}

std::vector<int> defaultToolbarItems()
{
    return {kCmdSearch, kCmdReplace, kCmdTouch, kToolbarSeparator,
            kCmdCopyResults, kCmdPrintResults, kCmdViewHtml, kToolbarSeparator,
            kCmdViewContext, kCmdScript, kCmdOptions, kToolbarSeparator,
            kCmdCaseSensitive, kCmdWholeWord, kCmdRegularExpression, kCmdSearchSubdirs,
            kCmdSearchZips, kCmdIgnoreWhitespace, kToolbarSeparator, kCmdHelpContents};
}

} // namespace tw
