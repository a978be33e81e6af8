#include "gui/ScriptEditorDialog.h"

#include "engine/Utf8Text.h"
#include "gui/AccessibleName.h"

#include "gui/HelpPage.h"
#include "gui/MaskRulesDialog.h"
#include "gui/ScriptCommentsDialog.h"
#include "gui/ScriptListModel.h"
#include "gui/UiText.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <utility>

namespace tw {
namespace {

QString toQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string fromQt(const QString& text) { return text.toStdString(); }

// A list cell shows at most the first 1,024 bytes of a text (cut before a UTF-8 character
// that would not fit), with an ellipsis: a row cannot show more, and turning a megabyte of
// text into a string on every paint would stall the list.
QString cellText(const std::string& text)
{
    constexpr size_t kMaxCellBytes = 1024;
    if (text.size() <= kMaxCellBytes)
        return toQt(text);
    return toQt(cutUtf8(text.substr(0, kMaxCellBytes + 1), kMaxCellBytes)) + QChar(0x2026);
}

QPushButton* button(const QString& text, QWidget* parent)
{
    auto* b = named(new QPushButton(text, parent), text);
    // Enter belongs to Use Script wherever the focus is (but in the description).
    b->setAutoDefault(false);
    return b;
}

// A "..." button beside the field named `field`.
QPushButton* moreButton(const QString& field, QWidget* parent)
{
    auto* b = new QPushButton(QStringLiteral("..."), parent);
    b->setAccessibleName(accessibleText(field).remove(QLatin1Char(':')) + QStringLiteral(" ..."));
    b->setAutoDefault(false);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    return b;
}

// A labelled line edit and its "..." button in row `row` of `grid`; the button is
// returned in `more`.
QLineEdit* addField(QGridLayout* grid, int row, const QString& label, QPushButton** more, QWidget* parent)
{
    auto* caption = new QLabel(label, parent);
    auto* edit = named(new QLineEdit(parent), label);
    // A line edit cuts what it is given to 32,767 characters unless told otherwise; a
    // script's texts may be longer, and Apply must not store a shortened copy.
    edit->setMaxLength(std::numeric_limits<int>::max());
    caption->setBuddy(edit);
    *more = moreButton(label, parent);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(*more, row, 2);
    return edit;
}

QCheckBox* checkBox(const QString& text, QWidget* parent) { return named(new QCheckBox(text, parent), text); }

QVBoxLayout* buttonColumn(std::initializer_list<QPushButton*> buttons)
{
    auto* column = new QVBoxLayout;
    for (QPushButton* b : buttons)
        column->addWidget(b);
    column->addStretch();
    return column;
}

Qt::CheckState checkState(ScriptSubdirs state)
{
    switch (state) {
    case ScriptSubdirs::No: return Qt::Unchecked;
    case ScriptSubdirs::Yes: return Qt::Checked;
    case ScriptSubdirs::FromWindow: break;
    }
    return Qt::PartiallyChecked;
}

ScriptSubdirs subdirs(Qt::CheckState state)
{
    switch (state) {
    case Qt::Unchecked: return ScriptSubdirs::No;
    case Qt::Checked: return ScriptSubdirs::Yes;
    case Qt::PartiallyChecked: break;
    }
    return ScriptSubdirs::FromWindow;
}

QString chooseScriptFile(QWidget* parent, const QString& start, bool saving)
{
    const QFileInfo startInfo(start);
    QFileDialog dialog(parent, saving ? QStringLiteral("Save Script As") : QStringLiteral("Load Script"),
                       startInfo.absolutePath(), QString::fromLatin1(kScriptFileFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(kScriptExtension));
    // Saving asks before replacing an existing file (the dialog's default); opening takes
    // only an existing file.
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.selectFile(startInfo.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

ScriptEditorDialog::ScriptEditorDialog(Script& script, ScriptEditorSeed seed, ScriptEditorServices services,
                                       QWidget* parent)
    : QDialog(parent), m_model(script, std::move(seed), services.load, services.save), m_services(std::move(services))
{
    m_sink = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), text, QMessageBox::Ok, this);
        box.exec();
    };
    m_question = [this](const QString& text) {
        return QMessageBox::question(this, QStringLiteral("Tarnwick"), text, QMessageBox::Yes | QMessageBox::No)
               == QMessageBox::Yes;
    };
    m_chooseFile = [this](const QString& start, bool saving) { return chooseScriptFile(this, start, saving); };
    m_ctrlHeld = [] { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier); };

    m_tabs = named(new QTabWidget(this), QStringLiteral("Pages"));
    m_tabs->addTab(buildPairsPage(), QStringLiteral("Search/Replace"));
    m_tabs->addTab(buildPathsPage(), QStringLiteral("Path/Mask"));
    m_tabs->addTab(buildAdvancedPage(), QStringLiteral("Advanced"));
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->widget(i)->setAccessibleName(m_tabs->tabText(i));

    QPushButton* save = button(QStringLiteral("&Save As..."), this);
    QPushButton* load = button(QStringLiteral("L&oad..."), this);
    QPushButton* use = button(QStringLiteral("Use Sc&ript"), this);
    QPushButton* cancel = button(QStringLiteral("Canc&el"), this);
    QPushButton* help = button(QStringLiteral("&Help"), this);
    use->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {save, load, use, cancel, help})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(save, &QPushButton::clicked, this, &ScriptEditorDialog::saveAs);
    connect(load, &QPushButton::clicked, this, &ScriptEditorDialog::load);
    connect(use, &QPushButton::clicked, this, &ScriptEditorDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &ScriptEditorDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { openHelp(this); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &ScriptEditorDialog::pageChanged);
    connectPairs();
    connectPaths();

    showEverything();
    updateTitle();
    resize(640, 460);
}

ScriptEditorDialog::~ScriptEditorDialog()
{
    // The pages go while the editor model that their lists read is still there.
    delete m_tabs;
}

void ScriptEditorDialog::setMessageSink(std::function<void(const QString&)> sink) { m_sink = std::move(sink); }

void ScriptEditorDialog::setQuestion(std::function<bool(const QString&)> question)
{
    m_question = std::move(question);
}

void ScriptEditorDialog::setFileChooser(std::function<QString(const QString&, bool)> chooser)
{
    m_chooseFile = std::move(chooser);
}

void ScriptEditorDialog::setCtrlHeld(std::function<bool()> ctrlHeld) { m_ctrlHeld = std::move(ctrlHeld); }

// --- Building ------------------------------------------------------------------------

QTableView* ScriptEditorDialog::makeTable(ScriptListModel* rows, const QString& name)
{
    auto* table = named(new QTableView, name);
    table->setModel(rows);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(true);
    table->setWordWrap(false);
    table->setTabKeyNavigation(false); // Tab leaves the list for the next control
    table->verticalHeader()->hide();
    // Fixed row heights: the view never measures the rows of a long list.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch); // each half the width
    return table;
}

QWidget* ScriptEditorDialog::buildPairsPage()
{
    auto* page = new QWidget;
    auto* fields = new QGridLayout;
    m_search = addField(fields, 0, QStringLiteral("Search Stri&ng:"), &m_searchBlock, page);
    m_replace = addField(fields, 1, QStringLiteral("Re&place String:"), &m_replaceBlock, page);
    auto* flags = new QHBoxLayout;
    m_case = checkBox(QStringLiteral("&Case Sensitive"), page);
    m_wholeWord = checkBox(QStringLiteral("Match &Whole Word"), page);
    m_regex = checkBox(QStringLiteral("Regular E&xpression"), page);
    m_ignoreWhitespace = checkBox(QStringLiteral("&Ignore Whitespace"), page);
    for (QCheckBox* b : {m_case, m_wholeWord, m_regex, m_ignoreWhitespace})
        flags->addWidget(b);
    flags->addStretch();

    m_pairRows = new ScriptListModel(
        {QStringLiteral("Search String"), QStringLiteral("Replace String")},
        [this] { return static_cast<int>(m_model.script().pairs.size()); },
        [this](int row, int column) {
            const SearchPair& p = m_model.script().pairs[size_t(row)];
            return cellText(column == 0 ? p.searchText : p.replaceText);
        },
        this);
    m_pairs = makeTable(m_pairRows, QStringLiteral("Pairs"));
    m_pairApply = button(QStringLiteral("&Apply"), page);
    m_pairInsert = button(QStringLiteral("Inser&t"), page);
    m_pairRemove = button(QStringLiteral("Remo&ve"), page);
    m_pairRemoveAll = button(QStringLiteral("Remove A&ll"), page);
    m_pairUp = button(QStringLiteral("Move &Up"), page);
    m_pairDown = button(QStringLiteral("Move &Down"), page);
    m_comment = button(QStringLiteral("Co&mment"), page);
    auto* list = new QHBoxLayout;
    list->addWidget(m_pairs, 1);
    list->addLayout(buttonColumn({m_pairApply, m_pairInsert, m_pairRemove, m_pairRemoveAll, m_pairUp, m_pairDown,
                                  m_comment}));
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(fields);
    layout->addLayout(flags);
    layout->addLayout(list, 1);
    // The list, made without a parent, comes before its buttons in the Tab order.
    QWidget::setTabOrder(m_ignoreWhitespace, m_pairs);
    QWidget::setTabOrder(m_pairs, m_pairApply);
    return page;
}

QWidget* ScriptEditorDialog::buildPathsPage()
{
    auto* page = new QWidget;
    auto* fields = new QGridLayout;
    m_mask = addField(fields, 0, QStringLiteral("File &Mask(s):"), &m_maskRules, page);
    m_path = addField(fields, 1, QStringLiteral("&Path:"), &m_choosePath, page);
    m_maskRules->setToolTip(QStringLiteral("Include/Exclude Files and Directories"));
    m_choosePath->setToolTip(uiText(kTextSelectPath));

    m_pathRows = new ScriptListModel(
        {QStringLiteral("Path"), QStringLiteral("File Mask")},
        [this] { return static_cast<int>(m_model.script().paths.size()); },
        [this](int row, int column) {
            const PathMaskPair& p = m_model.script().paths[size_t(row)];
            return cellText(column == 0 ? p.path : p.mask);
        },
        this);
    m_paths = makeTable(m_pathRows, QStringLiteral("Paths"));
    m_pathApply = button(QStringLiteral("&Apply"), page);
    m_pathInsert = button(QStringLiteral("Inser&t"), page);
    m_pathRemove = button(QStringLiteral("Remo&ve"), page);
    m_pathRemoveAll = button(QStringLiteral("Remove A&ll"), page);
    m_pathUp = button(QStringLiteral("Move &Up"), page);
    m_pathDown = button(QStringLiteral("Move &Down"), page);
    auto* list = new QHBoxLayout;
    list->addWidget(m_paths, 1);
    list->addLayout(buttonColumn({m_pathApply, m_pathInsert, m_pathRemove, m_pathRemoveAll, m_pathUp, m_pathDown}));
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(fields);
    layout->addLayout(list, 1);
    QWidget::setTabOrder(m_choosePath, m_paths);
    QWidget::setTabOrder(m_paths, m_pathApply);
    return page;
}

QWidget* ScriptEditorDialog::buildAdvancedPage()
{
    auto* page = new QWidget;
    auto* descriptionLabel = new QLabel(QStringLiteral("S&cript Description:"), page);
    m_description = named(new QPlainTextEdit(page), descriptionLabel->text());
    m_description->setTabChangesFocus(true);
    descriptionLabel->setBuddy(m_description);
    auto* expressionLabel = new QLabel(QStringLiteral("&Process file when expression is non-zero:"), page);
    m_expression = named(new QLineEdit(page), expressionLabel->text());
    expressionLabel->setBuddy(m_expression);
    m_options = button(QStringLiteral("Opt&ions"), page);
    m_useProgramOptions = checkBox(QStringLiteral("&Use Program Options"), page);
    m_subdirectories = checkBox(QStringLiteral("Search Sub&directories"), page);
    m_subdirectories->setTristate(true);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(m_options);
    boxes->addWidget(m_useProgramOptions);
    boxes->addWidget(m_subdirectories);
    boxes->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(descriptionLabel);
    layout->addWidget(m_description, 1);
    layout->addWidget(expressionLabel);
    layout->addWidget(m_expression);
    layout->addLayout(boxes);

    m_options->setEnabled(static_cast<bool>(m_services.editOptions));
    connect(m_options, &QPushButton::clicked, this, &ScriptEditorDialog::editOptions);
    // `clicked` comes from the user only, never from the dialog showing the fields.
    connect(m_useProgramOptions, &QCheckBox::clicked, this, [this](bool on) {
        m_model.setUseProgramOptions(on);
        showAdvancedBoxes();
    });
    connect(m_subdirectories, &QCheckBox::clicked, this, [this] {
        m_model.setSubdirectories(subdirs(m_subdirectories->checkState()));
        showAdvancedBoxes();
    });
    return page;
}

void ScriptEditorDialog::connectPairs()
{
    connect(m_pairApply, &QPushButton::clicked, this,
            [this] { editPairs(ListChange::Row, [this] { m_model.applyPair(); }); });
    connect(m_pairInsert, &QPushButton::clicked, this, [this] {
        const bool ctrl = m_ctrlHeld();
        editPairs(ListChange::All, [this, ctrl] { m_model.insertPair(ctrl); });
    });
    connect(m_pairRemove, &QPushButton::clicked, this,
            [this] { editPairs(ListChange::All, [this] { m_model.removePair(); }); });
    connect(m_pairRemoveAll, &QPushButton::clicked, this, [this] {
        const bool ctrl = m_ctrlHeld();
        editPairs(ListChange::All, [this, ctrl] { m_model.removeAllPairs(ctrl); });
    });
    connect(m_pairUp, &QPushButton::clicked, this,
            [this] { editPairs(ListChange::Swap, [this] { m_model.movePairUp(); }); });
    connect(m_pairDown, &QPushButton::clicked, this,
            [this] { editPairs(ListChange::Swap, [this] { m_model.movePairDown(); }); });
    connect(m_comment, &QPushButton::clicked, this, &ScriptEditorDialog::editComments);
    connect(m_searchBlock, &QPushButton::clicked, this, [this] { editBinaryBlock(BlockSide::Search); });
    connect(m_replaceBlock, &QPushButton::clicked, this, [this] { editBinaryBlock(BlockSide::Replace); });
    connect(m_regex, &QCheckBox::clicked, this, [this](bool on) {
        m_model.pairFields().regularExpression = on;
        updatePairEnabling();
    });
    connect(m_pairs->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_syncing)
            return;
        storePairFields(); // the check boxes stay as they are when nothing is selected
        m_model.selectPair(selectedRow(m_pairs));
        showPairFields();
    });
}

void ScriptEditorDialog::connectPaths()
{
    connect(m_pathApply, &QPushButton::clicked, this,
            [this] { editPaths(ListChange::Row, [this] { m_model.applyPath(); }); });
    connect(m_pathInsert, &QPushButton::clicked, this, [this] {
        const bool ctrl = m_ctrlHeld();
        editPaths(ListChange::All, [this, ctrl] { m_model.insertPath(ctrl); });
    });
    connect(m_pathRemove, &QPushButton::clicked, this,
            [this] { editPaths(ListChange::All, [this] { m_model.removePath(); }); });
    connect(m_pathRemoveAll, &QPushButton::clicked, this, [this] {
        const bool ctrl = m_ctrlHeld();
        editPaths(ListChange::All, [this, ctrl] { m_model.removeAllPaths(ctrl); });
    });
    connect(m_pathUp, &QPushButton::clicked, this,
            [this] { editPaths(ListChange::Swap, [this] { m_model.movePathUp(); }); });
    connect(m_pathDown, &QPushButton::clicked, this,
            [this] { editPaths(ListChange::Swap, [this] { m_model.movePathDown(); }); });
    connect(m_maskRules, &QPushButton::clicked, this, [this] {
        MaskRulesDialog dialog(m_mask->text(), this);
        if (dialog.exec() == QDialog::Accepted)
            m_mask->setText(dialog.maskText());
    });
    connect(m_choosePath, &QPushButton::clicked, this, [this] {
        QString start = m_path->text();
        if (start.size() > 1 && start.endsWith(QLatin1Char('/')))
            start.chop(1);
        const QString dir = QFileDialog::getExistingDirectory(this, uiText(kTextSelectPath), start);
        if (!dir.isEmpty())
            m_path->setText(dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/'));
    });
    connect(m_paths->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_syncing)
            return;
        m_model.selectPath(selectedRow(m_paths));
        showPathFields();
    });
}

// --- Moving values between the controls and the model --------------------------------

template <typename Edit>
void ScriptEditorDialog::editPairs(ListChange change, Edit&& edit)
{
    storePairFields();
    const int before = m_model.selectedPair();
    edit();
    refreshList(m_pairRows, m_pairs, change, before, m_model.selectedPair());
    showPairFields();
}

template <typename Edit>
void ScriptEditorDialog::editPaths(ListChange change, Edit&& edit)
{
    storePathFields();
    const int before = m_model.selectedPath();
    edit();
    refreshList(m_pathRows, m_paths, change, before, m_model.selectedPath());
    showPathFields();
}

void ScriptEditorDialog::refreshList(ScriptListModel* rows, QTableView* table, ListChange change, int before,
                                     int after)
{
    {
        const QScopedValueRollback<bool> quiet(m_syncing, true);
        // Apply rewrites one row and a move swaps two: only those are shown again.
        if (change == ListChange::All)
            rows->reload();
        else if (change == ListChange::Row)
            rows->rowsChanged(before, before);
        else if (before >= 0 && after >= 0)
            rows->rowsChanged(std::min(before, after), std::max(before, after));
    }
    showRow(table, after);
}

void ScriptEditorDialog::showRow(QTableView* table, int row)
{
    const QScopedValueRollback<bool> quiet(m_syncing, true);
    QItemSelectionModel* selection = table->selectionModel();
    if (row < 0) {
        selection->clear();
        return;
    }
    const QModelIndex at = table->model()->index(row, 0);
    selection->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table->scrollTo(at);
}

int ScriptEditorDialog::selectedRow(const QTableView* table)
{
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? ScriptEditorModel::kNone : rows.first().row();
}

void ScriptEditorDialog::storePairFields()
{
    SearchPair& f = m_model.pairFields();
    f.searchText = fromQt(m_search->text());
    f.replaceText = fromQt(m_replace->text());
    f.caseSensitive = m_case->isChecked();
    f.wholeWord = m_wholeWord->isChecked();
    f.regularExpression = m_regex->isChecked();
    f.ignoreWhitespace = m_ignoreWhitespace->isChecked();
}

void ScriptEditorDialog::showPairFields()
{
    const SearchPair& f = m_model.pairFields();
    m_search->setText(toQt(f.searchText));
    m_replace->setText(toQt(f.replaceText));
    m_case->setChecked(f.caseSensitive);
    m_wholeWord->setChecked(f.wholeWord);
    m_regex->setChecked(f.regularExpression);
    m_ignoreWhitespace->setChecked(f.ignoreWhitespace);
    updatePairEnabling();
}

void ScriptEditorDialog::updatePairEnabling()
{
    m_pairApply->setEnabled(m_model.canApplyPair());
    m_pairRemove->setEnabled(m_model.canRemovePair());
    m_pairUp->setEnabled(m_model.canMovePairUp());
    m_pairDown->setEnabled(m_model.canMovePairDown());
    m_comment->setEnabled(m_model.canCommentPair());
    m_wholeWord->setEnabled(m_model.canSetWholeWord());
    m_ignoreWhitespace->setEnabled(m_model.canSetIgnoreWhitespace());
    m_searchBlock->setEnabled(static_cast<bool>(m_services.editBlock));
    m_replaceBlock->setEnabled(static_cast<bool>(m_services.editBlock));
}

void ScriptEditorDialog::storePathFields()
{
    m_model.pathField() = fromQt(m_path->text());
    m_model.maskField() = fromQt(m_mask->text());
}

void ScriptEditorDialog::showPathFields()
{
    m_path->setText(toQt(m_model.pathField()));
    m_mask->setText(toQt(m_model.maskField()));
    updatePathEnabling();
}

void ScriptEditorDialog::updatePathEnabling()
{
    m_pathApply->setEnabled(m_model.canApplyPath());
    m_pathRemove->setEnabled(m_model.canRemovePath());
    m_pathUp->setEnabled(m_model.canMovePathUp());
    m_pathDown->setEnabled(m_model.canMovePathDown());
}

void ScriptEditorDialog::storeAdvancedFields()
{
    AdvancedFields& f = m_model.advancedFields();
    f.description = fromQt(m_description->toPlainText());
    f.expression = fromQt(m_expression->text());
}

void ScriptEditorDialog::showAdvancedFields()
{
    const AdvancedFields& f = m_model.advancedFields();
    m_description->setPlainText(toQt(f.description));
    m_expression->setText(toQt(f.expression));
    showAdvancedBoxes();
}

void ScriptEditorDialog::showAdvancedBoxes()
{
    const AdvancedFields& f = m_model.advancedFields();
    m_useProgramOptions->setChecked(f.useProgramOptions);
    m_subdirectories->setCheckState(checkState(f.subdirectories));
    m_subdirectories->setEnabled(m_model.canSetSubdirectories());
}

void ScriptEditorDialog::storeAllFields()
{
    storePairFields();
    storePathFields();
    if (m_model.page() == ScriptEditorPage::Advanced)
        storeAdvancedFields();
}

void ScriptEditorDialog::showEverything()
{
    {
        const QScopedValueRollback<bool> quiet(m_syncing, true);
        m_pairRows->reload();
        m_pathRows->reload();
    }
    showRow(m_pairs, m_model.selectedPair());
    showRow(m_paths, m_model.selectedPath());
    showPairFields();
    showPathFields();
    showAdvancedFields();
}

// --- Commands ------------------------------------------------------------------------

void ScriptEditorDialog::pageChanged(int index)
{
    if (m_syncing)
        return;
    if (m_model.page() == ScriptEditorPage::Advanced)
        storeAdvancedFields();
    std::vector<std::string> messages;
    if (!m_model.switchPage(static_cast<ScriptEditorPage>(index), &messages)) {
        {
            const QScopedValueRollback<bool> quiet(m_syncing, true);
            m_tabs->setCurrentIndex(static_cast<int>(m_model.page()));
        }
        m_expression->setFocus();
        showMessages(messages);
        return;
    }
    if (m_model.page() == ScriptEditorPage::Advanced)
        showAdvancedFields();
}

void ScriptEditorDialog::editBinaryBlock(BlockSide side)
{
    if (!m_services.editBlock)
        return;
    storePairFields();
    const SearchPair& f = m_model.pairFields();
    const std::string& block = side == BlockSide::Search ? f.binarySearchBlock : f.binaryReplaceBlock;
    const std::optional<std::string> edited = m_services.editBlock(block, side, m_regex->isChecked(), this);
    if (!edited)
        return;
    if (side == BlockSide::Search)
        m_model.setBinarySearchBlock(*edited);
    else
        m_model.setBinaryReplaceBlock(*edited);
    showPairFields();
}

void ScriptEditorDialog::editComments()
{
    if (!m_model.canCommentPair())
        return;
    storePairFields();
    const SearchPair& pair = m_model.script().pairs[size_t(m_model.selectedPair())];
    ScriptCommentsDialog dialog(toQt(pair.searchComment), toQt(pair.replaceComment), this);
    if (dialog.exec() == QDialog::Accepted)
        m_model.setPairComments(fromQt(dialog.searchComment()), fromQt(dialog.replaceComment()));
}

void ScriptEditorDialog::editOptions()
{
    if (!m_services.editOptions)
        return;
    const std::optional<ProgramOptions> edited = m_services.editOptions(m_model.optionsForSheet(), this);
    if (!edited)
        return;
    m_model.acceptSheetOptions(*edited);
    showAdvancedBoxes();
}

void ScriptEditorDialog::saveAs()
{
    storeAllFields();
    std::vector<std::string> messages;
    if (m_model.prepareSaveAs(&messages)) {
        const QString path = m_chooseFile(toQt(m_model.fileChoiceStart()), true);
        if (!path.isEmpty()) {
            m_model.saveAs(fromQt(path), &messages);
            updateTitle();
        }
    }
    showMessages(messages);
}

void ScriptEditorDialog::load()
{
    const QString path = m_chooseFile(toQt(m_model.fileChoiceStart()), false);
    if (path.isEmpty())
        return;
    std::vector<std::string> messages;
    m_model.load(fromQt(path), &messages);
    showEverything();
    updateTitle();
    showMessages(messages);
}

void ScriptEditorDialog::accept()
{
    storeAllFields();
    std::vector<std::string> messages;
    const EditorClose state = m_model.useScript(&messages);
    finish(state, true, messages);
}

void ScriptEditorDialog::reject()
{
    storeAllFields();
    std::vector<std::string> messages;
    const EditorClose state = m_model.cancel(&messages);
    finish(state, false, messages);
}

void ScriptEditorDialog::finish(EditorClose state, bool accepting, std::vector<std::string>& messages)
{
    showMessages(messages);
    if (state == EditorClose::AskToSave) {
        const bool yes = m_question(QString::fromLatin1(kSaveChangesQuestion));
        if (yes)
            saveAs();
        messages.clear();
        state = m_model.answerSaveChanges(yes, &messages);
        showMessages(messages);
    }
    if (state != EditorClose::Close)
        return;
    if (accepting)
        QDialog::accept();
    else
        QDialog::reject();
}

void ScriptEditorDialog::showMessages(const std::vector<std::string>& messages)
{
    for (const std::string& m : messages)
        m_sink(toQt(m));
}

void ScriptEditorDialog::updateTitle()
{
    QString title = QStringLiteral("Script Editor");
    if (!m_model.script().filePath.empty())
        title += QStringLiteral(" - ") + toQt(m_model.script().filePath);
    setWindowTitle(title);
}

void ScriptEditorDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_openingShown)
        return;
    m_openingShown = true;
    // What opening the script's file said, once the editor is on the screen.
    if (!m_model.openingMessages().empty())
        QTimer::singleShot(0, this, [this] { showMessages(m_model.openingMessages()); });
}

} // namespace tw
