#include "gui/BinaryModeDialog.h"

#include "gui/AccessibleName.h"

#include "app/ProgramScripts.h"
#include "gui/CodePageText.h"
#include "gui/CodeTableModel.h"
#include "platform/Environment.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace tw {
namespace {

constexpr const char* kReplaceBlockLabel = "Replace Bloc&k:";
constexpr const char* kMessageTitle = "Binary Mode";

// The editor's positions count UTF-16 units, the model's count bytes of the block.
size_t byteOffset(const QString& text, int position)
{
    return codePageFromText(text.left(position)).size();
}

int unitOffset(const std::string& block, size_t byte)
{
    return static_cast<int>(textFromCodePage(std::string_view(block).substr(0, byte)).size());
}

QString chooseScriptFile(QWidget* parent, const QString& folder, const QString& name)
{
    QFileDialog chooser(parent, QStringLiteral("Apply Script"));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilter(QStringLiteral("TW Script Files (*.tws)"));
    chooser.setDefaultSuffix(QStringLiteral("tws"));
    chooser.setDirectory(folder.isEmpty() ? QDir::currentPath() : folder);
    chooser.selectFile(name);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return {};
    return chooser.selectedFiles().constFirst();
}

} // namespace

BinaryModeDialog::BinaryModeDialog(std::string block, BlockSide side, bool regularExpression,
                                   std::string lastScriptFile, BinaryScriptAccess scripts, QWidget* parent)
    : QDialog(parent), m_model(block, side, regularExpression), m_scripts(std::move(scripts)),
      m_block(std::move(block))
{
    setWindowTitle(QStringLiteral("Binary Mode"));
    m_model.setLastScriptFile(std::move(lastScriptFile));
    // Without the opener's reader, scripts are read with the default inputs and options.
    if (!m_scripts.load)
        m_scripts.load = programScriptLoader(MainInputs(), ProgramOptions());
    if (!m_scripts.environment)
        m_scripts.environment = getEnvironmentVariable;
    m_message = [this](const QString& text) {
        QMessageBox::warning(this, QString::fromLatin1(kMessageTitle), text);
    };
    m_question = [this](const QString& text) {
        return QMessageBox::question(this, QString::fromLatin1(kMessageTitle), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    m_chooseScript = [this](const QString& folder, const QString& name) {
        return chooseScriptFile(this, folder, name);
    };

    const QString labelText = side == BlockSide::Search ? QString::fromStdString(m_model.label())
                                                        : QString::fromLatin1(kReplaceBlockLabel);
    auto* label = new QLabel(labelText, this);
    m_editor = named(new QPlainTextEdit(this), labelText);
    m_editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_editor->setTabChangesFocus(true);
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    label->setBuddy(m_editor);
    // Created in the order Tab visits them: block, operations, table, its buttons, OK, Cancel.
    QWidget* operations = buildOperations();
    operations->setVisible(side == BlockSide::Search);
    QLayout* table = buildCodeTable();
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : box->buttons())
        b->setAccessibleName(accessibleText(b->text()));
    box->button(QDialogButtonBox::Ok)->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_editor, 1);
    layout->addWidget(operations);
    layout->addLayout(table, 2); // the table gets the larger share of the height
    layout->addWidget(box);

    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_editor, &QPlainTextEdit::textChanged, this,
            [this] { m_model.setBlock(codePageFromText(m_editor->toPlainText())); });

    showBlock(m_model.block().size());
    updateEnabling();
    resize(560, 520);
    m_editor->setFocus();
}

QLayout* BinaryModeDialog::buildCodeTable()
{
    m_codes = new CodeTableModel(m_model.codeTable(), this);
    m_table = named(new QTableView(this), QStringLiteral("Code Table"));
    m_table->setModel(m_codes);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->setFont(m_editor->font());
    // One line of text per row, as in a list.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->viewport()->installEventFilter(this);

    auto makeButton = [this](const char* text) {
        auto* b = named(new QPushButton(QString::fromLatin1(text), this), QString::fromLatin1(text));
        b->setAutoDefault(false);
        return b;
    };
    m_addCode = makeButton("&Add Code");
    m_paste = makeButton("&Paste Text");
    m_applyScript = makeButton("Apply &Script...");
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {m_addCode, m_paste, m_applyScript})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(m_table, 1);
    row->addLayout(buttons);

    connect(m_addCode, &QPushButton::clicked, this, [this] {
        if (m_table->currentIndex().isValid())
            addCode(m_table->currentIndex().row());
    });
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { addCode(i.row()); });
    connect(m_paste, &QPushButton::clicked, this, &BinaryModeDialog::pasteText);
    connect(m_applyScript, &QPushButton::clicked, this, &BinaryModeDialog::applyScript);
    return row;
}

QWidget* BinaryModeDialog::buildOperations()
{
    auto* group = named(new QGroupBox(this), QStringLiteral("Search block use"));
    m_useSearch = named(new QRadioButton(QStringLiteral("&Use Search String"), group), QStringLiteral("&Use Search String"));
    m_atTop = named(new QRadioButton(QStringLiteral("Add at &top of file"), group), QStringLiteral("Add at &top of file"));
    m_atBottom =
        named(new QRadioButton(QStringLiteral("Add at &bottom of file"), group), QStringLiteral("Add at &bottom of file"));
    auto* row = new QHBoxLayout(group);
    const std::pair<QRadioButton*, BlockOperation> choices[] = {{m_useSearch, BlockOperation::UseSearchString},
                                                                {m_atTop, BlockOperation::AddAtTop},
                                                                {m_atBottom, BlockOperation::AddAtBottom}};
    for (const auto& [radio, operation] : choices) {
        row->addWidget(radio);
        radio->setChecked(m_model.operation() == operation);
        connect(radio, &QRadioButton::toggled, this, [this, op = operation](bool on) {
            if (on)
                chooseOperation(op);
        });
    }
    return group;
}

void BinaryModeDialog::accept()
{
    switch (m_model.checkOk()) {
    case BinaryModeModel::OkCheck::EmptyBlock:
        m_message(QString::fromLatin1(kEmptyBlockMessage));
        return;
    case BinaryModeModel::OkCheck::TooLong:
        m_message(QString::fromStdString(blockTooLongMessage()));
        return;
    case BinaryModeModel::OkCheck::AskDoubling:
        if (m_question(QString::fromLatin1(kDoubleBackslashQuestion)))
            m_model.doubleBackslashes();
        break;
    case BinaryModeModel::OkCheck::Accept:
        break;
    }
    m_block = m_model.block();
    QDialog::accept();
}

bool BinaryModeDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QDialog::eventFilter(watched, event);
}

void BinaryModeDialog::addCode(int row)
{
    if (row < 0 || row >= static_cast<int>(CodeTable::kRows))
        return;
    m_model.addCode(static_cast<uint8_t>(row));
    showBlock(m_model.block().size());
}

void BinaryModeDialog::pasteText()
{
    if (!m_model.editable())
        return;
    // Positions are taken from the text the editor shows, so the model takes that text first.
    const QString shown = m_editor->toPlainText();
    m_model.setBlock(codePageFromText(shown));
    const QTextCursor cursor = m_editor->textCursor();
    const size_t start = byteOffset(shown, cursor.selectionStart());
    const size_t end = byteOffset(shown, cursor.selectionEnd());
    const QString clip = QGuiApplication::clipboard()->text();
    showBlock(m_model.pasteText(codePageFromText(clip), start, end));
}

void BinaryModeDialog::applyScript()
{
    if (!m_model.editable())
        return;
    const ScriptChoiceStart start = BinaryModeModel::scriptChoiceStart(m_model.lastScriptFile());
    const QString path = m_chooseScript(QString::fromStdString(start.folder), QString::fromStdString(start.name));
    if (path.isEmpty())
        return;
    const BlockScriptResult result =
        m_model.applyScript(QFile::encodeName(path).toStdString(), m_scripts.load, m_scripts.environment,
                            m_scripts.maxRepeat);
    for (const std::string& message : result.load.messages)
        m_message(QString::fromStdString(message));
    showBlock(m_model.block().size());
}

void BinaryModeDialog::chooseOperation(BlockOperation operation)
{
    m_model.chooseOperation(operation);
    showBlock(m_model.block().size());
    updateEnabling();
}

void BinaryModeDialog::showBlock(size_t caretByte)
{
    const QSignalBlocker quiet(m_editor);
    const std::string& block = m_model.block();
    m_editor->setPlainText(textFromCodePage(block));
    QTextCursor cursor = m_editor->textCursor();
    // A CR LF pair is one line break in the editor, so the offset is kept inside its text.
    const int last = m_editor->document()->characterCount() - 1;
    cursor.setPosition(std::min(unitOffset(block, std::min(caretByte, block.size())), last));
    m_editor->setTextCursor(cursor);
}

void BinaryModeDialog::updateEnabling()
{
    const bool editable = m_model.editable();
    m_editor->setReadOnly(!editable);
    for (QWidget* w : std::initializer_list<QWidget*>{m_table, m_addCode, m_paste, m_applyScript})
        w->setEnabled(editable);
}

void BinaryModeDialog::fitColumns()
{
    // Code one third of the list's width, Displayed As six tenths.
    const int width = m_table->viewport()->width();
    m_table->setColumnWidth(0, width / 3);
    m_table->setColumnWidth(1, width * 6 / 10);
}

} // namespace tw
