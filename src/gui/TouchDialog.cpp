#include "gui/TouchDialog.h"

#include "gui/AccessibleName.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <iterator>

namespace tw {
namespace {

QString toQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

Qt::CheckState checkStateOf(AttributeState state)
{
    switch (state) {
    case AttributeState::Clear:
        return Qt::Unchecked;
    case AttributeState::Set:
        return Qt::Checked;
    case AttributeState::Keep:
        break;
    }
    return Qt::PartiallyChecked;
}

AttributeState attributeStateOf(Qt::CheckState state)
{
    if (state == Qt::Unchecked)
        return AttributeState::Clear;
    return state == Qt::Checked ? AttributeState::Set : AttributeState::Keep;
}

} // namespace

TouchDialog::TouchDialog(TouchPictures pictures, FileTime localNow,
                         const std::vector<std::optional<uint32_t>>& fileAttributes, QWidget* parent)
    : QDialog(parent), m_model(std::move(pictures), localNow)
{
    setWindowTitle(QStringLiteral("Touch"));
    m_model.presetAttributes(fileAttributes);

    const QString modeTexts[3] = {QStringLiteral("Set Files' Date/Time &Only"),
                                  QStringLiteral("Set Files' Attri&butes Only"),
                                  QStringLiteral("Set Date/Time a&nd Attributes")};
    auto* modes = new QVBoxLayout;
    for (int i = 0; i < 3; ++i) {
        m_modes[i] = named(new QRadioButton(modeTexts[i], this), modeTexts[i]);
        modes->addWidget(m_modes[i]);
    }

    auto* times = named(new QGroupBox(QStringLiteral(" Date/Time "), this), QStringLiteral("Date/Time"));
    auto* dateLabel = new QLabel(QStringLiteral("&Date:"), times);
    m_date = named(new QLineEdit(times), dateLabel->text());
    dateLabel->setBuddy(m_date);
    auto* timeLabel = new QLabel(QStringLiteral("&Time:"), times);
    m_time = named(new QLineEdit(times), timeLabel->text());
    timeLabel->setBuddy(m_time);
    auto* update = named(new QPushButton(QStringLiteral("&Update"), times), QStringLiteral("&Update"));
    update->setAutoDefault(false);
    const QString creationText = QStringLiteral("Also Set &Creation Date");
    const QString accessText = QStringLiteral("Also Set Acc&ess Date");
    m_creation = named(new QCheckBox(creationText, times), creationText);
    m_access = named(new QCheckBox(accessText, times), accessText);
    auto* secondsLabel = new QLabel(QStringLiteral("or Add to File Ti&me:"), times);
    m_seconds = named(new QLineEdit(times), secondsLabel->text());
    secondsLabel->setBuddy(m_seconds);
    auto* timeGrid = new QGridLayout(times);
    timeGrid->addWidget(dateLabel, 0, 0);
    timeGrid->addWidget(m_date, 0, 1);
    timeGrid->addWidget(update, 0, 2, 2, 1);
    timeGrid->addWidget(timeLabel, 1, 0);
    timeGrid->addWidget(m_time, 1, 1);
    timeGrid->addWidget(m_creation, 2, 0, 1, 3);
    timeGrid->addWidget(m_access, 3, 0, 1, 3);
    timeGrid->addWidget(secondsLabel, 4, 0);
    timeGrid->addWidget(m_seconds, 4, 1);
    timeGrid->addWidget(new QLabel(QStringLiteral("seconds"), times), 4, 2);

    auto* attributes = named(new QGroupBox(QStringLiteral(" Attributes "), this), QStringLiteral("Attributes"));
    auto* attributeLayout = new QVBoxLayout(attributes);
    auto makeBox = [&](const char* text) {
        auto* box = named(new QCheckBox(QString::fromLatin1(text), attributes), QString::fromLatin1(text));
        box->setTristate(true);
        attributeLayout->addWidget(box);
        // A click on an attribute box with the date-only mode switches to attributes only.
        connect(box, &QCheckBox::clicked, this, [this] {
            storeFields();
            m_model.attributeClicked();
            showFields();
        });
        return box;
    };
    m_readOnly = makeBox("&Read Only");
    m_archive = makeBox("&Archive");
    m_hidden = makeBox("&Hidden");
    m_system = makeBox("&System");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TouchDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TouchDialog::reject);
    connect(update, &QPushButton::clicked, this, [this] {
        storeFields();
        m_model.setNow(localNowFileTime());
        showFields();
    });

    auto* middle = new QHBoxLayout;
    middle->addWidget(times, 1);
    middle->addWidget(attributes);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(modes);
    layout->addLayout(middle);
    layout->addWidget(buttons);

    // Tab goes down the modes, through the date and time fields, then the attributes.
    QWidget* order[] = {m_modes[0], m_modes[1], m_modes[2], m_date, m_time, update, m_creation, m_access,
                        m_seconds, m_readOnly, m_archive, m_hidden, m_system,
                        buttons->button(QDialogButtonBox::Ok), buttons->button(QDialogButtonBox::Cancel)};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    m_sink = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), text, QMessageBox::Ok, this);
        box.exec();
    };
    showFields();
    m_date->setFocus();
}

void TouchDialog::accept()
{
    storeFields();
    TouchRequest request;
    if (const std::optional<TouchProblem> problem = m_model.accept(&request)) {
        m_sink(toQt(problem->message));
        QLineEdit* field = problem->field == TouchField::Date   ? m_date
                           : problem->field == TouchField::Time ? m_time
                                                                : m_seconds;
        field->setFocus();
        field->selectAll();
        return;
    }
    m_request = request;
    QDialog::accept();
}

void TouchDialog::storeFields()
{
    TouchFields& f = m_model.fields();
    for (int i = 0; i < 3; ++i)
        if (m_modes[i]->isChecked())
            f.mode = static_cast<TouchMode>(i);
    f.dateText = m_date->text().toStdString();
    f.timeText = m_time->text().toStdString();
    f.alsoCreation = m_creation->isChecked();
    f.alsoAccess = m_access->isChecked();
    f.addSecondsText = m_seconds->text().toStdString();
    f.attributes.readOnly = attributeStateOf(m_readOnly->checkState());
    f.attributes.archive = attributeStateOf(m_archive->checkState());
    f.attributes.hidden = attributeStateOf(m_hidden->checkState());
    f.attributes.system = attributeStateOf(m_system->checkState());
}

void TouchDialog::showFields()
{
    const TouchFields& f = m_model.fields();
    m_modes[static_cast<int>(f.mode)]->setChecked(true);
    m_date->setText(toQt(f.dateText));
    m_time->setText(toQt(f.timeText));
    m_creation->setChecked(f.alsoCreation);
    m_access->setChecked(f.alsoAccess);
    m_seconds->setText(toQt(f.addSecondsText));
    m_readOnly->setCheckState(checkStateOf(f.attributes.readOnly));
    m_archive->setCheckState(checkStateOf(f.attributes.archive));
    m_hidden->setCheckState(checkStateOf(f.attributes.hidden));
    m_system->setCheckState(checkStateOf(f.attributes.system));
}

} // namespace tw
