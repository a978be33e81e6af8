#include "gui/FileOperationsDialog.h"

#include "gui/AccessibleName.h"

#include "app/LanguageTable.h"
#include "gui/UiText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tw {
namespace {

QString toQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

FileOperationsDialog::FileOperationsDialog(FileOperationModel model, QWidget* parent)
    : QDialog(parent), m_model(std::move(model))
{
    setWindowTitle(QStringLiteral("File Operations"));
    m_message = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };
    m_choose = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, uiText(kTextSelectPath), start);
    };

    auto* filesLabel = new QLabel(QStringLiteral("Selected files will be processed"), this);
    m_files = named(new QListWidget(this), filesLabel->text());
    m_files->setSelectionMode(QAbstractItemView::MultiSelection);
    for (size_t i = 0; i < m_model.fileCount(); ++i) {
        m_files->addItem(toQt(m_model.fileText(i)));
        m_files->item(static_cast<int>(i))->setSelected(m_model.isSelected(i));
    }

    m_copy = named(new QRadioButton(QStringLiteral("&Copy to:"), this), QStringLiteral("&Copy to:"));
    m_move = named(new QRadioButton(QStringLiteral("&Move to:"), this), QStringLiteral("&Move to:"));
    m_delete = named(new QRadioButton(QStringLiteral("&Delete"), this), QStringLiteral("&Delete"));
    auto* group = new QButtonGroup(this);
    for (QRadioButton* b : {m_copy, m_move, m_delete})
        group->addButton(b);
    m_destination = named(new QLineEdit(toQt(m_model.destination()), this), QStringLiteral("Destination"));
    m_browse = named(new QPushButton(QStringLiteral("..."), this), QStringLiteral("Select Path"));
    m_browse->setAutoDefault(false);
    m_browse->setToolTip(QStringLiteral("Select Path"));
    const QString preserveText = QStringLiteral("&Preserve directory structure");
    m_preserve = named(new QCheckBox(preserveText, this), preserveText);
    m_preserve->setChecked(m_model.preserve());
    switch (m_model.operation()) {
    case FileOperationKind::Copy:
        m_copy->setChecked(true);
        break;
    case FileOperationKind::Move:
        m_move->setChecked(true);
        break;
    case FileOperationKind::Delete:
        m_delete->setChecked(true);
        break;
    }

    auto* choices = new QGridLayout;
    choices->addWidget(m_copy, 0, 0);
    choices->addWidget(m_destination, 0, 1);
    choices->addWidget(m_browse, 0, 2);
    choices->addWidget(m_move, 1, 0);
    choices->addWidget(m_delete, 2, 0);
    choices->addWidget(m_preserve, 3, 0, 1, 3);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : box->buttons())
        b->setAccessibleName(accessibleText(b->text()));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filesLabel);
    layout->addWidget(m_files, 1);
    layout->addLayout(choices);
    layout->addWidget(box);

    connect(box, &QDialogButtonBox::accepted, this, &FileOperationsDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(group, &QButtonGroup::buttonToggled, this, [this] { updateEnabling(); });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        storeFields();
        const QString chosen = m_choose(toQt(m_model.chooserStart()));
        if (!chosen.isEmpty())
            m_destination->setText(chosen);
    });
    updateEnabling();
    m_destination->setFocus();
}

void FileOperationsDialog::storeFields()
{
    for (size_t i = 0; i < m_model.fileCount(); ++i)
        m_model.setSelected(i, m_files->item(static_cast<int>(i))->isSelected());
    m_model.setOperation(m_copy->isChecked() ? FileOperationKind::Copy
                         : m_move->isChecked() ? FileOperationKind::Move
                                               : FileOperationKind::Delete);
    m_model.setDestination(m_destination->text().toStdString());
    m_model.setPreserve(m_preserve->isChecked());
}

void FileOperationsDialog::updateEnabling()
{
    const bool toDestination = !m_delete->isChecked();
    m_destination->setEnabled(toDestination);
    m_browse->setEnabled(toDestination);
    m_preserve->setEnabled(toDestination);
}

void FileOperationsDialog::accept()
{
    storeFields();
    if (m_model.check() == FileOperationModel::OkCheck::PathNotFound) {
        m_message(QString::fromLatin1(kPathNotFoundMessage));
        m_destination->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace tw
