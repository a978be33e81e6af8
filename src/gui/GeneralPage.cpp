#include "gui/GeneralPage.h"

#include "gui/ColorButton.h"
#include "gui/ContextFont.h"
#include "gui/NumberBox.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <cstdlib>

namespace tw {

namespace {

QString describe(const FontDescription& font)
{
    return QString::fromStdString(font.faceName) + QStringLiteral(", ") + QString::number(std::abs(font.height))
        + QStringLiteral(" px");
}

} // namespace

GeneralPage::GeneralPage(QWidget* parent) : OptionsPage(parent)
{
    m_itemsSaved = new NumberBox(5, 50, true, this);
    m_contextLines = new NumberBox(5, 50, true, this);
    auto* numbers = new QFormLayout;
    numbers->addRow(labelFor(QStringLiteral("# of &Items to save:"), m_itemsSaved), m_itemsSaved);
    numbers->addRow(labelFor(QStringLiteral("&Lines to view:"), m_contextLines), m_contextLines);
    numbers->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    m_foundColor = new ColorButton(QStringLiteral("Fo&und Color"), this);
    m_fileColor = new ColorButton(QStringLiteral("&File Color"), this);
    m_foundColor->setAccessibleName(QStringLiteral("Found Color"));
    m_fileColor->setAccessibleName(QStringLiteral("File Color"));
    auto* colors = new QHBoxLayout;
    colors->addWidget(m_foundColor);
    colors->addWidget(m_fileColor);
    colors->addStretch();

    m_viewer = addLineEdit(QString());
    auto* viewerLabel = labelFor(QStringLiteral("If no &association use:"), m_viewer);
    m_viewerBrowse = addBrowseButton(QStringLiteral("Choose viewer"));
    auto* viewer = new QHBoxLayout;
    viewer->addWidget(m_viewer, 1);
    viewer->addWidget(m_viewerBrowse);

    m_cacheFileList = addCheck(QStringLiteral("&Cache file list"));
    m_fontButton = new QPushButton(QStringLiteral("&View Context Font"), this);
    m_fontButton->setAccessibleName(QStringLiteral("View Context Font"));
    m_fontButton->setAutoDefault(false);
    auto* font = new QHBoxLayout;
    font->addWidget(m_fontButton);
    font->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(numbers);
    layout->addSpacing(6);
    layout->addLayout(colors);
    layout->addSpacing(6);
    layout->addWidget(viewerLabel);
    layout->addLayout(viewer);
    layout->addSpacing(6);
    layout->addWidget(m_cacheFileList);
    layout->addLayout(font);
    layout->addStretch();

    connect(m_viewerBrowse, &QPushButton::clicked, this, &GeneralPage::chooseViewer);
    connect(m_fontButton, &QPushButton::clicked, this, &GeneralPage::chooseFont);
}

void GeneralPage::load(const ProgramOptions& o)
{
    m_itemsSaved->setValue(o.maxItemsSaved);
    m_contextLines->setValue(o.contextLines);
    m_foundColor->setColor(colorFromOption(o.stringColor));
    m_fileColor->setColor(colorFromOption(o.fileColor));
    m_viewer->setText(toQt(o.defaultViewer));
    m_cacheFileList->setChecked(o.cacheFileList);
    m_font = o.contextFont;
    m_fontButton->setToolTip(describe(m_font));
}

std::optional<OptionsPage::Problem> GeneralPage::store(ProgramOptions& o) const
{
    std::string error;
    for (NumberBox* box : {m_itemsSaved, m_contextLines})
        if (!box->value(&error))
            return Problem{box, toQt(error)};
    o.maxItemsSaved = *m_itemsSaved->value();
    o.contextLines = *m_contextLines->value();
    o.stringColor = optionFromColor(m_foundColor->color());
    o.fileColor = optionFromColor(m_fileColor->color());
    o.defaultViewer = fromQt(m_viewer->text());
    o.cacheFileList = m_cacheFileList->isChecked();
    o.contextFont = m_font;
    return std::nullopt;
}

void GeneralPage::chooseViewer()
{
    // Starts in the directory of the current viewer and proposes its name; a bare program
    // name is looked up on the search path first.
    QString current = m_viewer->text().trimmed();
    if (!current.isEmpty() && !current.contains(QLatin1Char('/'))) {
        const QString found = QStandardPaths::findExecutable(current);
        if (!found.isEmpty())
            current = found;
    }
    // Programs carry no extension here, so both filters show every file.
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), current,
                                                        QStringLiteral("Programs (*);;All Files (*)"));
    if (!chosen.isEmpty())
        m_viewer->setText(QDir::toNativeSeparators(chosen));
}

void GeneralPage::chooseFont()
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, toQFont(m_font), this, withoutAccelerator(m_fontButton->text()));
    if (!ok)
        return;
    m_font = fromQFont(font, m_font);
    m_fontButton->setToolTip(describe(m_font));
}

} // namespace tw
