#include "gui/Commands.h"

#include "app/ToolbarLayout.h"
#include "gui/UiText.h"

#include <QFont>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include <functional>

namespace tw {

const std::vector<CommandText>& commandTexts()
{
    // Menu order within each menu. The texts come from the language table, which is set up
    // before the first window asks for them and never changes afterwards.
    static const std::vector<CommandText> texts = [] {
        const int ids[] = {kCmdSearch, kCmdReplace, kCmdTouch, kCmdFileOperations, kCmdExit,
                           kCmdCopyResults, kCmdPrintResults, kCmdViewHtml, kCmdPreviewReplace, kCmdUndoReplace, kCmdOpenAssociated,
                           kCmdOpenDefaultViewer, kCmdOpenWith, kCmdViewContext, kCmdCustomizeToolbar,
                           kCmdScript, kCmdOptions, kCmdCaseSensitive, kCmdSearchSubdirs, kCmdWholeWord,
                           kCmdRegularExpression, kCmdSearchZips, kCmdIgnoreWhitespace, kCmdHelpContents,
                           kCmdHelpSearch, kCmdAbout};
        std::vector<CommandText> list;
        for (const int id : ids) {
            // The string of a command is its hint, a line break and its tool tip.
            const QString both = uiText(kCommandHintOffset + id);
            const qsizetype br = both.indexOf(QLatin1Char('\n'));
            list.push_back({id, uiText(id), both.left(br), br < 0 ? both : both.mid(br + 1)});
        }
        return list;
    }();
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

// An icon made when it is first drawn or measured. Decoding a style's picture in all its
// sizes, or painting a badge, costs a noticeable part of the program's start, and most
// commands' icons are drawn only in menus that may never be opened.
class DeferredIconEngine final : public QIconEngine {
public:
    explicit DeferredIconEngine(std::function<QIcon()> make) : m_make(std::move(make)) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    // Every command has a picture: asking must not make it.
    bool isNull() override { return false; }
    QIconEngine* clone() const override { return new DeferredIconEngine(*this); }
    QString key() const override { return QStringLiteral("DeferredIconEngine"); }

private:
    const QIcon& icon()
    {
        if (m_make) {
            m_icon = m_make();
            m_make = nullptr;
        }
        return m_icon;
    }
    std::function<QIcon()> m_make; // set until the icon is made
    QIcon m_icon;
};

QIcon deferred(std::function<QIcon()> make)
{
    return QIcon(new DeferredIconEngine(std::move(make)));
}

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
        {kCmdPreviewReplace, "document-print-preview", QStyle::SP_FileDialogContentsView},
        {kCmdUndoReplace, "edit-undo", QStyle::SP_ArrowBack},
        {kCmdOpenAssociated, "document-open", QStyle::SP_DialogOpenButton},
        {kCmdOpenDefaultViewer, "document-open", QStyle::SP_FileIcon},
        {kCmdOpenWith, "document-open", QStyle::SP_FileLinkIcon},
        {kCmdViewContext, "zoom-in", QStyle::SP_FileDialogInfoView},
        {kCmdCustomizeToolbar, "document-properties", QStyle::SP_FileDialogDetailedView},
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
            return deferred([text = QString::fromUtf8(b.text)] { return badge(text); });
    for (const Picture& p : pictures) {
        if (p.id != id)
            continue;
        // The style is the window's, which outlives its icons.
        return deferred([p, style] {
            // Some themes draw only the one-colour "-symbolic" variants of these names.
            const QString name = QString::fromLatin1(p.theme);
            for (const QString& candidate : {name, name + QStringLiteral("-symbolic")}) {
                const QIcon themed = QIcon::fromTheme(candidate);
                if (!themed.isNull())
                    return themed;
            }
            return style ? style->standardIcon(p.standard) : QIcon();
        });
    }
    return {};
}

std::vector<int> defaultToolbarItems()
{
    return {kCmdSearch, kCmdReplace, kCmdPreviewReplace, kCmdTouch, kToolbarSeparator,
            kCmdCopyResults, kCmdPrintResults, kCmdViewHtml, kToolbarSeparator,
            kCmdViewContext, kCmdScript, kCmdOptions, kToolbarSeparator,
            kCmdCaseSensitive, kCmdWholeWord, kCmdRegularExpression, kCmdSearchSubdirs,
            kCmdSearchZips, kCmdIgnoreWhitespace, kToolbarSeparator, kCmdHelpContents};
}

} // namespace tw
