#include "gui/FilterPage.h"

#include "app/FilterEntry.h"
#include "app/DateText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tw {

FilterPage::FilterPage(std::string datePicture, FileTime today, QWidget* parent)
    : OptionsPage(parent), m_datePicture(std::move(datePicture))
{
    auto* group = new QGroupBox(QStringLiteral(" Exclude Files "), this);
    group->setAccessibleName(QStringLiteral("Exclude Files"));
    const auto edit = [group] {
        auto* e = new QLineEdit(group);
        e->setMaxLength(64);
        return e;
    };
    m_beforeDate = edit();
    m_afterDate = edit();
    m_lessThan = edit();
    m_greaterThan = edit();
    const auto label = [group](const char* text, QLineEdit* buddy) {
        auto* l = new QLabel(QString::fromLatin1(text), group);
        l->setBuddy(buddy);
        buddy->setAccessibleName(withoutAccelerator(l->text()));
        return l;
    };

    auto* dateCaption = new QLabel(
        QStringLiteral("Modified Date (today is %1):").arg(toQt(formatShortDate(today, m_datePicture))), group);
    auto* sizeCaption = new QLabel(QStringLiteral("Size in bytes:"), group);
    // One grid, so the four fields line up; the labels are indented under their captions.
    auto* grid = new QGridLayout(group);
    grid->setColumnMinimumWidth(0, 12);
    grid->setColumnStretch(3, 1);
    grid->addWidget(dateCaption, 0, 0, 1, 4);
    grid->addWidget(label("&Before date:", m_beforeDate), 1, 1);
    grid->addWidget(m_beforeDate, 1, 2);
    grid->addWidget(label("&After date:", m_afterDate), 2, 1);
    grid->addWidget(m_afterDate, 2, 2);
    grid->setRowMinimumHeight(3, 6);
    grid->addWidget(sizeCaption, 4, 0, 1, 4);
    grid->addWidget(label("&Less than:", m_lessThan), 5, 1);
    grid->addWidget(m_lessThan, 5, 2);
    grid->addWidget(label("&Greater than:", m_greaterThan), 6, 1);
    grid->addWidget(m_greaterThan, 6, 2);
    for (QLineEdit* e : {m_beforeDate, m_afterDate, m_lessThan, m_greaterThan})
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("0000000000000000")));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();
}

void FilterPage::load(const ProgramOptions& o)
{
    const FilterTexts t = formatFilterTexts(o, m_datePicture);
    m_beforeDate->setText(toQt(t.beforeDate));
    m_afterDate->setText(toQt(t.afterDate));
    m_lessThan->setText(toQt(t.lessThan));
    m_greaterThan->setText(toQt(t.greaterThan));
}

std::optional<OptionsPage::Problem> FilterPage::store(ProgramOptions& o) const
{
    const auto text = [](const QLineEdit* e) { return fromQt(e->text().trimmed()); };
    const FilterTexts t{text(m_beforeDate), text(m_afterDate), text(m_lessThan), text(m_greaterThan)};
    const auto problem = readFilterTexts(t, m_datePicture, o);
    if (!problem)
        return std::nullopt;
    QLineEdit* field = problem->field == FilterField::BeforeDate ? m_beforeDate
        : problem->field == FilterField::AfterDate               ? m_afterDate
        : problem->field == FilterField::LessThan                ? m_lessThan
                                                                 : m_greaterThan;
    return Problem{field, toQt(problem->message)};
}

} // namespace tw
