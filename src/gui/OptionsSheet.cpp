#include "gui/OptionsSheet.h"
#include "gui/TitleFit.h"

#include "gui/FilterPage.h"
#include "gui/GeneralPage.h"
#include "gui/OutputPage.h"
#include "gui/ReplacePage.h"
#include "gui/SearchPage.h"

#include <QAbstractSpinBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tw {

namespace {

// The file time of 00:00:00 of the local calendar day.
FileTime todayFileTime()
{
    const qint64 days = QDate(1601, 1, 1).daysTo(QDate::currentDate());
    return days * 86400 * kFileTimeTicksPerSecond;
}

} // namespace

std::string OptionsSheet::localDatePicture()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat).toStdString();
}

OptionsSheet::OptionsSheet(const ProgramOptions& options, int startPage, std::string datePicture, QWidget* parent)
    : QDialog(parent), m_options(options)
{
    setWindowTitle(QStringLiteral("Tarnwick Options"));
    if (datePicture.empty())
        datePicture = localDatePicture();

    m_tabs = new QTabWidget(this);
    m_tabs->setAccessibleName(QStringLiteral("Options pages"));
    m_pages = {new GeneralPage, new SearchPage, new ReplacePage, new OutputPage,
               new FilterPage(std::move(datePicture), todayFileTime())};
    const char* titles[] = {"General", "Search", "Replace", "Output", "Filter"};
    for (int i = 0; i < PageCount; ++i) {
        m_pages[i]->load(m_options);
        m_pages[i]->setAccessibleName(QString::fromLatin1(titles[i]));
        m_tabs->addTab(m_pages[i], QString::fromLatin1(titles[i]));
    }
    m_shownPage = startPage >= 0 && startPage < PageCount ? startPage : 0;
    m_tabs->setCurrentIndex(m_shownPage);
    connect(m_tabs, &QTabWidget::currentChanged, this, &OptionsSheet::onPageChanged);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsSheet::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    setMinimumWidth(420);

    m_sink = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), text, QMessageBox::Ok, this);
        fitTitle(box);
        box.exec();
    };
}

OptionsSheet::~OptionsSheet() = default;

int OptionsSheet::currentPage() const
{
    return m_tabs->currentIndex();
}

void OptionsSheet::report(int page, QWidget* field, const QString& message)
{
    if (page != currentPage()) {
        m_reverting = true;
        m_tabs->setCurrentIndex(page);
        m_reverting = false;
    }
    m_shownPage = page;
    m_sink(message);
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->selectAll();
    else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field))
        spin->selectAll();
}

void OptionsSheet::onPageChanged(int index)
{
    if (m_reverting)
        return;
    // The page being left must take its entries; if it cannot, it comes back.
    ProgramOptions scratch = m_options;
    if (const auto problem = m_pages[m_shownPage]->store(scratch)) {
        report(m_shownPage, problem->field, problem->message);
        return;
    }
    m_shownPage = index;
}

void OptionsSheet::accept()
{
    // The current page first, so that its entry is the one reported.
    const int current = currentPage();
    std::vector<int> order{current};
    for (int i = 0; i < PageCount; ++i)
        if (i != current)
            order.push_back(i);
    ProgramOptions edited = m_options;
    for (int page : order) {
        if (const auto problem = m_pages[page]->store(edited)) {
            report(page, problem->field, problem->message);
            return;
        }
    }
    m_options = edited;
    QDialog::accept();
}

} // namespace tw
