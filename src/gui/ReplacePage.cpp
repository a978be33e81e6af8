#include "gui/ReplacePage.h"

#include "gui/NumberBox.h"
#include "gui/SearchPage.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace tw {

ReplacePage::ReplacePage(QWidget* parent) : OptionsPage(parent)
{
    m_backupPath = addLineEdit(QString());
    auto* backupLabel = labelFor(QStringLiteral("&Backup File Path:"), m_backupPath);
    QPushButton* browse = addBrowseButton(QStringLiteral("Choose backup directory"));
    auto* backup = new QHBoxLayout;
    backup->addWidget(m_backupPath, 1);
    backup->addWidget(browse);

    m_writeToBackupDir = addCheck(QStringLiteral("Write &Output files to Backup Path"));

    auto* group = new QGroupBox(QStringLiteral(" Replace Prompts "), this);
    group->setAccessibleName(QStringLiteral("Replace Prompts"));
    m_prompts = new QButtonGroup(this);
    auto* groupLayout = new QVBoxLayout(group);
    const char* modes[] = {"Prompt on &all", "Prompt on &each file", "No &Prompts"};
    for (int mode = 0; mode < 3; ++mode) {
        auto* radio = new QRadioButton(QString::fromLatin1(modes[mode]), group);
        radio->setAccessibleName(withoutAccelerator(radio->text()));
        m_prompts->addButton(radio, mode);
        groupLayout->addWidget(radio);
    }

    m_keepFileTime = addCheck(QStringLiteral("&Do not change file date/time"));

    // The undo history keeps the originals of the latest replace runs within this space.
    m_undoSpace = new NumberBox(0, INT_MAX, false, this);
    m_undoSpace->setToolTip(QStringLiteral("0 keeps no undo history"));
    auto* undo = new QFormLayout;
    undo->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    undo->addRow(labelFor(QStringLiteral("&Undo Space (MB):"), m_undoSpace), m_undoSpace);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(backupLabel);
    layout->addLayout(backup);
    layout->addWidget(m_writeToBackupDir);
    layout->addSpacing(6);
    layout->addWidget(group);
    layout->addSpacing(6);
    layout->addWidget(m_keepFileTime);
    layout->addSpacing(6);
    layout->addLayout(undo);
    layout->addStretch();

    connect(browse, &QPushButton::clicked, this, [this] {
        // Seeded with the text and a trailing separator, so the chooser opens inside it.
        QString start = m_backupPath->text();
        if (!start.isEmpty() && !start.endsWith(QDir::separator()))
            start += QDir::separator();
        const QString chosen = chooseDirectory(this, start);
        if (!chosen.isEmpty())
            m_backupPath->setText(chosen);
    });
}

void ReplacePage::load(const ProgramOptions& o)
{
    m_backupPath->setText(toQt(o.backupPath));
    m_writeToBackupDir->setChecked(o.writeToBackupDir);
    // A mode outside 0-2 (a hand-edited store) selects no button and is kept as it is.
    if (QAbstractButton* b = m_prompts->button(o.promptMode))
        b->setChecked(true);
    m_keepFileTime->setChecked(o.keepFileTime);
    m_undoSpace->setValue(static_cast<int>(std::min<int64_t>(o.undoSpaceBytes >> 20, INT_MAX)));
}

std::optional<OptionsPage::Problem> ReplacePage::store(ProgramOptions& o) const
{
    o.backupPath = fromQt(m_backupPath->text());
    o.writeToBackupDir = m_writeToBackupDir->isChecked();
    if (const int mode = m_prompts->checkedId(); mode >= 0)
        o.promptMode = mode;
    std::string error;
    const std::optional<int> undoSpace = m_undoSpace->value(&error);
    if (!undoSpace)
        return Problem{m_undoSpace, toQt(error)};
    o.keepFileTime = m_keepFileTime->isChecked();
    o.undoSpaceBytes = int64_t(*undoSpace) << 20;
    return std::nullopt;
}

} // namespace tw
