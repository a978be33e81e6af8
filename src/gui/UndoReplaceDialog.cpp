#include "gui/UndoReplaceDialog.h"

#include "gui/AccessibleName.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tw {

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

UndoReplaceDialog::UndoReplaceDialog(const UndoReplaceModel& model, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Undo Last Replace"));
    auto* heading = new QLabel(QStringLiteral("Last replace run: ") + fromStd(model.heading()), this);
    heading->setWordWrap(true);
    heading->setTextFormat(Qt::PlainText);

    auto* listLabel = new QLabel(QStringLiteral("&Files of the run:"), this);
    m_files = named(new QTreeWidget(this), listLabel->text());
    listLabel->setBuddy(m_files);
    m_files->setRootIsDecorated(false);
    m_files->setUniformRowHeights(true);
    m_files->setColumnCount(2);
    m_files->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Undo")});
    m_files->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_files->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_files->header()->setStretchLastSection(false);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(model.rowCount()));
    for (size_t row = 0; row < model.rowCount(); ++row)
        rows.append(new QTreeWidgetItem({fromStd(model.rowName(row)), fromStd(model.rowStateText(row))}));
    m_files->addTopLevelItems(rows);
    if (!rows.isEmpty())
        m_files->setCurrentItem(rows.front());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(listLabel);
    layout->addWidget(m_files, 1);
    // Records of the history that could not be read: said, not hidden.
    if (!model.problems().empty()) {
        QStringList problems;
        for (const std::string& text : model.problems())
            problems << fromStd(text);
        auto* note = new QLabel(problems.join(QLatin1Char('\n')), this);
        note->setWordWrap(true);
        note->setTextFormat(Qt::PlainText);
        layout->addWidget(note);
    }
    if (!model.anyToRestore()) {
        auto* note = new QLabel(QStringLiteral("No file of this run can be restored."), this);
        layout->addWidget(note);
    }
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    named(m_buttons->button(QDialogButtonBox::Ok), QStringLiteral("&Restore"))->setText(QStringLiteral("&Restore"));
    named(m_buttons->button(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(model.anyToRestore());
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(640, 400);
}

} // namespace tw
