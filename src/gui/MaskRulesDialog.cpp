#include "gui/MaskRulesDialog.h"

#include "gui/AccessibleName.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tw {
namespace {

QString toQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string fromQt(const QString& text) { return text.toStdString(); }

} // namespace

MaskRulesDialog::MaskRulesDialog(const QString& maskText, QWidget* parent)
    : QDialog(parent), m_model(fromQt(maskText))
{
    setWindowTitle(QStringLiteral("Include/Exclude Files and Directories"));

    m_entries = named(new QListWidget(this), QStringLiteral("Masks"));
    m_entries->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* type = named(new QGroupBox(QStringLiteral(" Type "), this), QStringLiteral("Type"));
    m_include = named(new QRadioButton(QStringLiteral("In&clude"), type), QStringLiteral("In&clude"));
    m_exclude = named(new QRadioButton(QStringLiteral("&Exclude"), type), QStringLiteral("&Exclude"));
    auto* typeLayout = new QVBoxLayout(type);
    typeLayout->addWidget(m_include);
    typeLayout->addWidget(m_exclude);

    auto* filesLabel = new QLabel(QStringLiteral("&Files Matching:"), this);
    m_files = named(new QLineEdit(this), filesLabel->text());
    filesLabel->setBuddy(m_files);

    auto* dirs = named(new QGroupBox(QStringLiteral(" Directories "), this), QStringLiteral("Directories"));
    m_all = named(new QRadioButton(QStringLiteral("A&ll"), dirs), QStringLiteral("A&ll"));
    m_useMatch = named(new QRadioButton(QStringLiteral("&Use match"), dirs), QStringLiteral("&Use match"));
    auto* dirLabel = new QLabel(QStringLiteral("Ma&tching:"), dirs);
    m_directory = named(new QLineEdit(dirs), dirLabel->text());
    dirLabel->setBuddy(m_directory);
    const QString anyText = QStringLiteral("A&ny # of levels under\nstart directory");
    const QString subText = QStringLiteral("Al&so process its\nsubdirectories");
    m_anyLevels = named(new QCheckBox(anyText, dirs), anyText);
    m_subdirectories = named(new QCheckBox(subText, dirs), subText);
    auto* dirLayout = new QGridLayout(dirs);
    dirLayout->addWidget(m_all, 0, 0);
    dirLayout->addWidget(m_useMatch, 0, 1);
    dirLayout->addWidget(dirLabel, 1, 0);
    dirLayout->addWidget(m_directory, 1, 1);
    dirLayout->addWidget(m_anyLevels, 2, 0, 1, 2);
    dirLayout->addWidget(m_subdirectories, 3, 0, 1, 2);

    auto makeButton = [this](const char* text) {
        auto* b = named(new QPushButton(QString::fromLatin1(text), this), QString::fromLatin1(text));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* add = makeButton("&Add");
    QPushButton* insert = makeButton("&Insert");
    m_apply = makeButton("Appl&y");
    m_delete = makeButton("&Delete");
    m_up = makeButton("U&p");
    m_down = makeButton("Do&wn");
    auto* editButtons = new QVBoxLayout;
    for (QPushButton* b : {add, insert, m_apply, m_delete, m_up, m_down})
        editButtons->addWidget(b);
    editButtons->addStretch();

    auto* fields = new QVBoxLayout;
    fields->addWidget(type);
    fields->addWidget(filesLabel);
    fields->addWidget(m_files);
    fields->addWidget(dirs);
    fields->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(m_entries, 1);
    top->addLayout(fields);
    top->addLayout(editButtons);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : box->buttons())
        b->setAccessibleName(accessibleText(b->text()));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(box);

    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add, &QPushButton::clicked, this, [this] { edit([this] { m_model.add(); }); });
    connect(insert, &QPushButton::clicked, this, [this] { edit([this] { m_model.insert(); }); });
    connect(m_apply, &QPushButton::clicked, this, [this] { edit([this] { m_model.apply(); }); });
    connect(m_delete, &QPushButton::clicked, this, [this] { edit([this] { m_model.remove(); }); });
    connect(m_up, &QPushButton::clicked, this, [this] { edit([this] { m_model.moveUp(); }); });
    connect(m_down, &QPushButton::clicked, this, [this] { edit([this] { m_model.moveDown(); }); });
    connect(m_entries, &QListWidget::currentRowChanged, this, [this](int row) {
        m_model.select(row);
        showFields();
        updateEnabling();
    });
    connect(m_useMatch, &QRadioButton::toggled, this, &MaskRulesDialog::updateEnabling);

    showEntries();
    showFields();
    updateEnabling();
    m_files->setFocus();
}

QString MaskRulesDialog::maskText() const { return toQt(m_model.text()); }

void MaskRulesDialog::accept()
{
    storeFields();
    const int selected = m_model.selected();
    if (m_model.canApply() && m_model.fields() != parseMaskRule(m_model.entries()[static_cast<size_t>(selected)]))
        m_model.apply();
    QDialog::accept();
}

template <typename Edit>
void MaskRulesDialog::edit(Edit&& change)
{
    storeFields();
    change();
    showEntries();
    showFields();
    updateEnabling();
}

void MaskRulesDialog::storeFields()
{
    MaskRuleFields& f = m_model.fields();
    f.exclude = m_exclude->isChecked();
    f.filesMatching = fromQt(m_files->text());
    f.useMatch = m_useMatch->isChecked();
    f.directory = fromQt(m_directory->text());
    f.anyLevels = m_anyLevels->isChecked();
    f.subdirectories = m_subdirectories->isChecked();
}

void MaskRulesDialog::showFields()
{
    const MaskRuleFields& f = m_model.fields();
    (f.exclude ? m_exclude : m_include)->setChecked(true);
    m_files->setText(toQt(f.filesMatching));
    (f.useMatch ? m_useMatch : m_all)->setChecked(true);
    m_directory->setText(toQt(f.directory));
    m_anyLevels->setChecked(f.anyLevels);
    m_subdirectories->setChecked(f.subdirectories);
}

void MaskRulesDialog::showEntries()
{
    const QSignalBlocker quiet(m_entries);
    m_entries->clear();
    for (const std::string& e : m_model.entries())
        m_entries->addItem(toQt(e));
    m_entries->setCurrentRow(m_model.selected());
}

void MaskRulesDialog::updateEnabling()
{
    m_apply->setEnabled(m_model.canApply());
    m_delete->setEnabled(m_model.canDelete());
    m_up->setEnabled(m_model.canMoveUp());
    m_down->setEnabled(m_model.canMoveDown());
    // The directory controls only mean something with "Use match".
    const bool match = m_useMatch->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_directory, m_anyLevels, m_subdirectories})
        w->setEnabled(match);
}

} // namespace tw
