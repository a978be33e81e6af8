#include "gui/SearchPage.h"

#include "gui/NumberBox.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {

QString chooseDirectory(QWidget* parent, const QString& start)
{
    const QString chosen = QFileDialog::getExistingDirectory(parent, QStringLiteral("Select Path"), start);
    return chosen.isEmpty() ? chosen : QDir::toNativeSeparators(chosen);
}

SearchPage::SearchPage(QWidget* parent) : OptionsPage(parent)
{
    m_maxRegexSize = new NumberBox(50, 32767, false, this);
    auto* size = new QFormLayout;
    size->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    size->addRow(labelFor(QStringLiteral("Ma&ximum Regular Expression Size:"), m_maxRegexSize), m_maxRegexSize);

    m_unzipDir = addLineEdit(QString());
    auto* unzipLabel = labelFor(QStringLiteral("&Unzip files to:"), m_unzipDir);
    QPushButton* browse = addBrowseButton(QStringLiteral("Choose unzip directory"));
    auto* unzip = new QHBoxLayout;
    unzip->addWidget(m_unzipDir, 1);
    unzip->addWidget(browse);

    m_stopAfterFirstHit = addCheck(QStringLiteral("&Stop processing after first hit in file"));
    m_useIgnoreFiles = addCheck(QStringLiteral("Skip files &ignored by git"));
    m_detectUtf16 = addCheck(QStringLiteral("Detect &UTF-16 files"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(size);
    layout->addSpacing(6);
    layout->addWidget(unzipLabel);
    layout->addLayout(unzip);
    layout->addSpacing(6);
    layout->addWidget(m_stopAfterFirstHit);
    layout->addWidget(m_useIgnoreFiles);
    layout->addWidget(m_detectUtf16);
    layout->addStretch();

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = chooseDirectory(this, m_unzipDir->text());
        if (!chosen.isEmpty())
            m_unzipDir->setText(chosen);
    });
}

void SearchPage::load(const ProgramOptions& o)
{
    m_maxRegexSize->setValue(o.maxRegexSize);
    m_unzipDir->setText(toQt(o.unzipDir));
    m_stopAfterFirstHit->setChecked(o.stopAfterFirstHit);
    m_useIgnoreFiles->setChecked(o.useIgnoreFiles);
    m_detectUtf16->setChecked(o.detectUtf16);
}

std::optional<OptionsPage::Problem> SearchPage::store(ProgramOptions& o) const
{
    std::string error;
    const auto size = m_maxRegexSize->value(&error);
    if (!size)
        return Problem{m_maxRegexSize, toQt(error)};
    o.maxRegexSize = *size;
    o.unzipDir = fromQt(m_unzipDir->text());
    o.stopAfterFirstHit = m_stopAfterFirstHit->isChecked();
    o.useIgnoreFiles = m_useIgnoreFiles->isChecked();
    o.detectUtf16 = m_detectUtf16->isChecked();
    return std::nullopt;
}

} // namespace tw
