#include "gui/ContextWindow.h"

#include "gui/WindowGeometry.h"

#include "gui/CodePageText.h"
#include "gui/ContextFont.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include <vector>

namespace tw {
namespace {

constexpr int kMinWidth = 550;
constexpr int kMinHeight = 400;

QPushButton* button(const char* text, QWidget* parent)
{
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setAutoDefault(false);
    return b;
}

QToolButton* arrow(Qt::ArrowType type, const char* name, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setArrowType(type);
    b->setAccessibleName(QString::fromLatin1(name));
    b->setToolTip(QString::fromLatin1(name));
    b->setAutoRaise(true);
    return b;
}

} // namespace

ContextWindow::ContextWindow(ContextHit hit, ContextSettings settings, ContextNeighbour neighbour, QRect saved,
                             QWidget* parent)
    : QDialog(parent), m_pager(realFileSystem(), settings.contextLines, settings.detectUtf16),
      m_settings(std::move(settings)), m_neighbour(std::move(neighbour))
{
    setWindowTitle(QStringLiteral("View Context"));
    setMinimumSize(kMinWidth, kMinHeight);
    m_message = [this](const QString& text) { QMessageBox::warning(this, QStringLiteral("Tarnwick"), text); };

    m_label = new QLabel(this);
    m_label->setTextFormat(Qt::PlainText);
    m_previous = arrow(Qt::UpArrow, "Previous Hit", this);
    m_next = arrow(Qt::DownArrow, "Next Hit", this);
    m_text = new QPlainTextEdit(this);
    m_text->setAccessibleName(QStringLiteral("Context Text"));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFont font = toQFont(m_settings.font);
    m_text->setFont(font);
    m_text->setTabStopDistance(2 * QFontMetricsF(font).averageCharWidth());
    m_text->installEventFilter(this);
    m_label->setBuddy(m_text);
    m_pageUp = button("Page &Up", this);
    m_pageDown = button("Page &Down", this);
    m_save = button("&Save", this);
    QPushButton* cancel = button("&Cancel", this);

    auto* top = new QHBoxLayout;
    top->addWidget(m_label, 1);
    top->addWidget(m_previous);
    top->addWidget(m_next);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_pageUp);
    bottom->addWidget(m_pageDown);
    bottom->addStretch(1);
    bottom->addWidget(m_save);
    bottom->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_text, 1);
    layout->addLayout(bottom);

    connect(m_pageUp, &QPushButton::clicked, this, &ContextWindow::pageUp);
    connect(m_pageDown, &QPushButton::clicked, this, &ContextWindow::pageDown);
    connect(m_save, &QPushButton::clicked, this, &ContextWindow::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_previous, &QToolButton::clicked, this, [this] { moveToHit(-1); });
    connect(m_next, &QToolButton::clicked, this, [this] { moveToHit(1); });

    const QRect placed = placedRect(saved, QSize(640, 480), QSize(kMinWidth, kMinHeight));
    move(placed.topLeft());
    resize(placed.size());

    // A first page that cannot be read leaves the window unopened; the caller tells why.
    m_loaded = m_pager.open(hit);
    if (m_loaded)
        showPage();
    updateEnabling();
    m_text->setFocus();
}

ContextWindow::~ContextWindow() = default;

QString ContextWindow::toWidget(std::string_view display) const
{
    // A decoded UTF-16 text is UTF-8 whatever the code page. The display's CRs all come
    // before an LF; the widget keeps lines, not line ends. Characters the text document
    // would take as block breaks of its own are shown as U+FFFD.
    QString text = m_pager.decodedUtf16() ? QString::fromUtf8(display.data(), static_cast<qsizetype>(display.size()))
                                          : textFromCodePage(display);
    text.remove(QLatin1Char('\r'));
    for (QChar& c : text)
        if (c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1)
            c = QChar::ReplacementCharacter;
    return text;
}

std::string ContextWindow::fromWidget() const
{
    QString text = m_text->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const std::string bytes = m_pager.decodedUtf16() ? text.toStdString() : codePageFromText(text);
    std::string display;
    display.reserve(bytes.size() + bytes.size() / 16);
    for (const char c : bytes) {
        if (c == '\n')
            display += '\r';
        display += c;
    }
    return display;
}

void ContextWindow::showPage()
{
    QString path = QString::fromStdString(m_pager.shownPath());
    path.replace(QLatin1Char('&'), QStringLiteral("&&"));
    m_label->setText(path + QString::fromStdString(m_pager.linesText()));
    const std::string& display = m_pager.displayText();
    m_text->setPlainText(toWidget(display));
    m_baseline = fromWidget();
    QTextCursor cursor(m_text->document());
    size_t begin = 0, end = 0;
    if (m_pager.selection(&begin, &end)) {
        // Display bytes to positions in the widget's text.
        const auto at = [&](size_t bytes) { return static_cast<int>(toWidget(display.substr(0, bytes)).size()); };
        cursor.setPosition(at(begin));
        cursor.setPosition(at(end), QTextCursor::KeepAnchor);
    }
    m_text->setTextCursor(cursor);
    m_text->centerCursor();
    updateEnabling();
}

void ContextWindow::updateEnabling()
{
    m_pageUp->setEnabled(m_loaded && m_pager.canPageUp());
    m_pageDown->setEnabled(m_loaded && m_pager.canPageDown());
    m_save->setEnabled(m_loaded && m_pager.canSave());
    m_previous->setEnabled(m_loaded && m_neighbour && m_neighbour(-1, true).has_value());
    m_next->setEnabled(m_loaded && m_neighbour && m_neighbour(1, true).has_value());
}

void ContextWindow::pageUp()
{
    if (!m_pager.canPageUp())
        return;
    if (!m_pager.pageUp())
        m_message(QString::fromStdString(m_pager.error()));
    showPage();
}

void ContextWindow::pageDown()
{
    if (!m_pager.canPageDown())
        return;
    if (!m_pager.pageDown())
        m_message(QString::fromStdString(m_pager.error()));
    showPage();
}

void ContextWindow::moveToHit(int step)
{
    if (!m_neighbour)
        return;
    const std::optional<ContextHit> hit = m_neighbour(step, false);
    if (!hit)
        return;
    if (!m_pager.open(*hit))
        m_message(QString::fromStdString(m_pager.error()));
    showPage();
}

void ContextWindow::save()
{
    if (!m_pager.canSave())
        return;
    const SaveOutcome outcome = m_pager.save(m_baseline, fromWidget(), m_settings.save);
    if (outcome.status == SaveStatus::Saved)
        showPage(); // the page as it now is in the file
    if (!outcome.message.empty())
        m_message(QString::fromStdString(outcome.message));
}

bool ContextWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        if (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown) {
            const bool up = key->key() == Qt::Key_PageUp;
            if (ctrl) {
                if ((up ? m_previous : m_next)->isEnabled())
                    moveToHit(up ? -1 : 1);
            } else if (up) {
                pageUp();
            } else {
                pageDown();
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ContextWindow::done(int result)
{
    // Cancel, Escape and the close box all end here.
    // The rectangle as move() and resize() take it, as the main window stores its own.
    m_closedRect = (isMinimized() || isMaximized() || isFullScreen()) ? QRect() : QRect(pos(), size());
    QDialog::done(result);
}

} // namespace tw
