#pragma once
// The "Tarnwick Options" sheet: five pages over a copy of a ProgramOptions record, with
// OK and Cancel. A page with an entry it cannot take cannot be left, and OK is refused,
// until the entry is corrected; the message goes to the message sink (a message box
// unless a test sets another). The sheet keeps no settings; the caller stores the page
// to reopen on ("Last Tab") and takes over the edited copy on OK.
#include "core/ProgramOptions.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QTabWidget;

namespace tw {

class OptionsPage;

class OptionsSheet final : public QDialog {
    Q_OBJECT
public:
    enum Page { GeneralPageIndex, SearchPageIndex, ReplacePageIndex, OutputPageIndex, FilterPageIndex, PageCount };

    // `datePicture` is the short-date picture of the Filter page ("dd/MM/yyyy"); an empty
    // one takes the system locale's. A `startPage` that is no page opens the first.
    OptionsSheet(const ProgramOptions& options, int startPage, std::string datePicture = {},
                 QWidget* parent = nullptr);
    ~OptionsSheet() override;

    // The edited copy: every field as the pages hold it once OK was accepted, else the
    // record the sheet was opened with.
    const ProgramOptions& options() const { return m_options; }
    int currentPage() const;
    QTabWidget* tabs() const { return m_tabs; }

    using MessageSink = std::function<void(const QString&)>;
    void setMessageSink(MessageSink sink) { m_sink = std::move(sink); }

    // The system locale's short-date picture.
    static std::string localDatePicture();

public slots:
    // Refuses to close while a page holds an entry it cannot take.
    void accept() override;

private:
    void onPageChanged(int index);
    // Brings `page` to the front, shows `message` and returns the focus to `field`.
    void report(int page, QWidget* field, const QString& message);

    ProgramOptions m_options;         // the record opened with; the edited copy after OK
    QTabWidget* m_tabs = nullptr;
    std::vector<OptionsPage*> m_pages; // in tab order, PageCount of them
    int m_shownPage = 0;               // the page that was current before a change
    bool m_reverting = false;          // a refused page change is being undone
    MessageSink m_sink;
};

} // namespace tw
