#pragma once
// "View Context": the lines around a hit in an editable text, a page at a time, with the
// previous and next hit of the results list a click (or Ctrl+Page Up/Down) away and
// "&Save" writing the edited page back into the file. The paging, the text and the save
// are ContextPager's; the window moves text between it and the widget.
#include "core/ContextPager.h"
#include "core/ProgramOptions.h"

#include <QDialog>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QEvent;
class QLabel;
class QObject;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace tw {

struct ContextSettings {
    int contextLines = 5;
    FontDescription font;
    bool detectUtf16 = true;
    ContextSaveSettings save; // data directory, backup path, end of the search
};

// The hit `step` (-1 previous, +1 next) lines away from the results list's current hit.
// With `probe` it only says whether there is one; without, the list moves to it as well.
using ContextNeighbour = std::function<std::optional<ContextHit>(int step, bool probe)>;

class ContextWindow final : public QDialog {
    Q_OBJECT
public:
    // `saved`: the stored "View Context Position" (top-left as move() takes it, size as
    // resize() takes it), empty to centre the window.
    ContextWindow(ContextHit hit, ContextSettings settings, ContextNeighbour neighbour, QRect saved,
                  QWidget* parent = nullptr);
    ~ContextWindow() override;

    // The first page could be read; otherwise the window is not to be shown, and
    // loadError() is the message to show instead.
    bool loaded() const { return m_loaded; }
    QString loadError() const { return QString::fromStdString(m_pager.error()); }
    // The rectangle to store when the window closed neither minimised nor maximised (in
    // the form `saved` takes); empty otherwise (and while it is open).
    QRect rectangleToSave() const { return m_closedRect; }
    // Messages go to a message box unless replaced.
    void setMessageSink(std::function<void(const QString&)> sink) { m_message = std::move(sink); }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPage();
    void pageUp();
    void pageDown();
    void moveToHit(int step);
    void save();
    void updateEnabling();
    QString toWidget(std::string_view display) const;
    std::string fromWidget() const;

    ContextPager m_pager;
    ContextSettings m_settings;
    ContextNeighbour m_neighbour;
    std::function<void(const QString&)> m_message;
    std::string m_baseline; // the page as the widget shows it, before any edit (display form)
    bool m_loaded = false;
    QRect m_closedRect;

    QLabel* m_label = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_pageUp = nullptr;
    QPushButton* m_pageDown = nullptr;
    QPushButton* m_save = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
};

} // namespace tw
