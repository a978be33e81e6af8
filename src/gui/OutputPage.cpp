#include "gui/OutputPage.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {

OutputPage::OutputPage(QWidget* parent) : OptionsPage(parent)
{
    auto* group = new QGroupBox(QStringLiteral(" Hit Line Display "), this);
    group->setAccessibleName(QStringLiteral("Hit Line Display"));
    m_showFilesWithoutHits = addCheck(QStringLiteral("Display Files &Without Hits"));
    m_showFirstHitLine = addCheck(QStringLiteral("Display &First Hit Line"));
    m_displayReplaceString = addCheck(QStringLiteral("Display &Replace String"));
    m_displayFileStats = addCheck(QStringLiteral("Display &Number of Hits in File"));
    auto* groupLayout = new QVBoxLayout(group);
    for (QCheckBox* box : {m_showFilesWithoutHits, m_showFirstHitLine, m_displayReplaceString, m_displayFileStats}) {
        box->setParent(group);
        groupLayout->addWidget(box);
    }

    m_outputFile = addLineEdit(QString());
    auto* outputLabel = labelFor(QStringLiteral("Write &Output to File:"), m_outputFile);
    QPushButton* browse = addBrowseButton(QStringLiteral("Choose output file"));
    auto* output = new QHBoxLayout;
    output->addWidget(m_outputFile, 1);
    output->addWidget(browse);

    m_beforeHit = addLineEdit(QString());
    m_afterHit = addLineEdit(QString());
    auto* markers = new QFormLayout;
    markers->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    markers->addRow(labelFor(QStringLiteral("&Before Hit:"), m_beforeHit), m_beforeHit);
    markers->addRow(labelFor(QStringLiteral("&After Hit:"), m_afterHit), m_afterHit);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addSpacing(6);
    layout->addWidget(outputLabel);
    layout->addLayout(output);
    layout->addSpacing(6);
    layout->addLayout(markers);
    layout->addStretch();

    connect(browse, &QPushButton::clicked, this, &OutputPage::chooseOutputFile);
}

void OutputPage::load(const ProgramOptions& o)
{
    m_showFilesWithoutHits->setChecked(o.showFilesWithoutHits);
    m_showFirstHitLine->setChecked(o.showFirstHitLine);
    m_displayReplaceString->setChecked(o.displayReplaceString);
    m_displayFileStats->setChecked(o.displayFileStats);
    m_outputFile->setText(toQt(o.outputFile));
    m_beforeHit->setText(toQt(o.beforeHit));
    m_afterHit->setText(toQt(o.afterHit));
}

std::optional<OptionsPage::Problem> OutputPage::store(ProgramOptions& o) const
{
    o.showFilesWithoutHits = m_showFilesWithoutHits->isChecked();
    o.showFirstHitLine = m_showFirstHitLine->isChecked();
    o.displayReplaceString = m_displayReplaceString->isChecked();
    o.displayFileStats = m_displayFileStats->isChecked();
    o.outputFile = fromQt(m_outputFile->text());
    o.beforeHit = fromQt(m_beforeHit->text());
    o.afterHit = fromQt(m_afterHit->text());
    return std::nullopt;
}

void OutputPage::chooseOutputFile()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("All Files (*)"));
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    // Proposes "results.txt", in the directory of the current output file when one is set.
    const QString current = m_outputFile->text().trimmed();
    if (!current.isEmpty())
        dialog.setDirectory(QFileInfo(current).absolutePath());
    dialog.selectFile(QStringLiteral("results.txt"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_outputFile->setText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}

} // namespace tw
