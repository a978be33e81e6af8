#include "gui/MainWindow.h"

#include "app/OptionsBlock.h"
#include "app/ProgramScripts.h"
#include "app/FileOperationModel.h"
#include "app/PreviewSession.h"
#include "app/TouchModel.h"
#include "app/UndoReplaceModel.h"
#include "app/RunRequest.h"
#include "app/ToolbarLayout.h"
#include "core/MemberExtract.h"
#include "platform/FileOps.h"
#include "gui/Commands.h"
#include "gui/AboutBox.h"
#include "gui/BinaryModeDialog.h"
#include "gui/CustomizeToolbarDialog.h"
#include "gui/FileOperationJob.h"
#include "gui/FileOperationsDialog.h"
#include "gui/HelpPage.h"
#include "gui/MaskRulesDialog.h"
#include "gui/OptionsSheet.h"
#include "gui/PreviewWindow.h"
#include "gui/ResultsDelegate.h"
#include "gui/ResultsExport.h"
#include "gui/ResultsListKeys.h"
#include "gui/ResultsPrinter.h"
#include "gui/ScriptEditorDialog.h"
#include "gui/TitleFit.h"
#include "gui/TouchDialog.h"
#include "gui/UndoReplaceDialog.h"
#include "gui/UiText.h"
#include "gui/WindowGeometry.h"
#include "platform/Environment.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSessionManager>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <initializer_list>
#include <numeric>
#include <set>
#include <tuple>

namespace tw {

namespace {

constexpr const char* kIdleTitle = "Tarnwick";
constexpr const char* kResultsLabel = "Search Res&ults:";
// The recent-item lists by box, in the order of MainWindow::m_recent.
constexpr const char* kBoxNames[4] = {"Search_string", "Replace_string", "Mask", "Path"};
constexpr int kMinWidth = 550;
constexpr int kMinHeight = 400;

QString toQt(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQt(const QString& text)
{
    return text.toStdString();
}

// The accessible name of a control: its label text without the accelerator marks.
QString withoutAccelerator(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// The name of an input box: its label's text without the accelerator mark and the colon.
QString boxName(const QString& label)
{
    QString name = withoutAccelerator(label);
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name;
}

QComboBox* makeInputBox(QWidget* parent, QLabel* label)
{
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // A long recent item must not widen the window.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(20);
    // What is typed stays as typed: no completion from the recent list, which would turn
    // "sta" into "static" on Enter (the list stays in the drop-down and on Up and Down).
    box->setCompleter(nullptr);
    box->setAccessibleName(boxName(label->text()));
    box->lineEdit()->setAccessibleName(box->accessibleName());
    label->setBuddy(box);
    return box;
}

QCheckBox* makeFlag(QWidget* parent, const QString& text)
{
    auto* flag = new QCheckBox(text, parent);
    flag->setAccessibleName(withoutAccelerator(text));
    return flag;
}

} // namespace

MainWindow::MainWindow(const QString& configFile, QWidget* parent) : MainWindow(configFile, nullptr, parent) {}

MainWindow::MainWindow(const CommandLineRequest& commandLine, const QString& configFile, QWidget* parent)
    : MainWindow(configFile, &commandLine, parent)
{
}

MainWindow::MainWindow(const QString& configFile, const CommandLineRequest* commandLine, QWidget* parent)
    : QMainWindow(parent), m_store(std::make_unique<SettingsStore>(configFile))
{
    m_store->loadOptions(m_options);
    m_store->loadMainWindow(m_saved);
    m_model = new ResultsModel(this);
    m_host = std::make_unique<GuiRunHost>(this);
    m_controller = std::make_unique<RunController>(*m_host, *m_model);
    // Connected before any run starts; what a run sends arrives through the event loop,
    // when the controls exist.
    connect(m_controller.get(), &RunController::runFinished, this, &MainWindow::onRunFinished);
    connect(m_host.get(), &GuiRunHost::progressChanged, this, [this](const QString& t) {
        if (running())
            setResultsLabel(t.isEmpty() ? QString::fromLatin1(kResultsLabel) : QString(t).replace('&', "&&"));
    });
    connect(m_host.get(), &GuiRunHost::titleChanged, this, [this](const QString& t) {
        if (running())
            setWindowTitle(t);
    });
    loadRecentItems();
    bool startedAtOnce = false;
    if (commandLine) {
        takeCommandLine(*commandLine);
        startedAtOnce = startSearchAtOnce();
    }
    buildActions();
    buildControls();
    showInputs();
    buildMenus();
    buildToolbar();
    setWindowTitle(QString::fromLatin1(kIdleTitle));
    setMinimumSize(kMinWidth, kMinHeight);
    setAcceptDrops(true);
    statusBar()->showMessage(QStringLiteral("Ready"));
    restoreWindowRect();
    // The end of the desktop session waits for no run: it is refused while one is active
    // (and the run is told to stop); otherwise it goes ahead without saving settings.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (running()) {
            if (manager.allowsInteraction())
                manager.cancel();
            stopRun();
        }
    });
    updateCommands();
    // A user starts by typing what to look for.
    m_searchBox->setFocus();
    if (startedAtOnce)
        setRunning(ActiveRun::Search);
}

bool MainWindow::startSearchAtOnce()
{
    // Only a Search: a Replace may ask before it starts, which needs the window. Inputs
    // that are refused are left to issueCommandLineCommand(), which says why.
    if (m_commandLineCommand != CommandLineCommand::Search)
        return false;
    Script script = m_script;
    std::string last = m_saved.lastScriptFile;
    const AcceptedInputs accepted = acceptInputs(m_saved.inputs, false, m_options, script, last, scriptLoader());
    if (!accepted.accepted() || !accepted.loadMessages.empty())
        return false;
    m_script = std::move(script);
    m_saved.lastScriptFile = std::move(last);
    if (!startRun(false, accepted.use))
        return false;
    // The boxes are built after this and show the script.
    if (accepted.scriptChanged)
        showScriptInInputs(m_saved.inputs, m_script, m_saved.lastScriptFile);
    m_commandLineCommand = CommandLineCommand::None;
    return true;
}

MainWindow::~MainWindow()
{
    // The toolbar's place is kept when the window goes, as when the user changes it; after
    // a close that saved everything it is the same, and the store is not written twice
    // (anything else still pending is written when the store goes).
    const QByteArray toolbar = encodeToolbarLayout({m_toolbarItems, saveState()});
    if (toolbar != m_savedToolbar) {
        m_store->saveToolbar(toolbar);
        m_store->sync();
    }
}

QAction* MainWindow::action(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void MainWindow::buildActions()
{
    for (const CommandText& t : commandTexts()) {
        auto* a = new QAction(commandIcon(t.id, style()), t.menuText, this);
        a->setStatusTip(t.hint);
        a->setToolTip(t.tip);
        a->setCheckable(isToggleCommand(t.id));
        a->setEnabled(false); // updateCommands() enables what the state allows
        m_actions[t.id] = a;
    }
    // The keys work wherever the focus is in the window; Escape is handled apart.
    action(kCmdSearch)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    action(kCmdReplace)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    action(kCmdTouch)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    action(kCmdPreviewReplace)->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    action(kCmdHelpContents)->setShortcut(QKeySequence(Qt::Key_F1));
    for (auto& [id, a] : m_actions)
        addAction(a);

    connect(action(kCmdSearch), &QAction::triggered, this, [this] { runCommand(false); });
    connect(action(kCmdReplace), &QAction::triggered, this, [this] { runCommand(true); });
    connect(action(kCmdExit), &QAction::triggered, this, &MainWindow::close);
    connect(action(kCmdCopyResults), &QAction::triggered, this, &MainWindow::copyResults);
    connect(action(kCmdViewHtml), &QAction::triggered, this, &MainWindow::viewResultsAsHtml);
    connect(action(kCmdCustomizeToolbar), &QAction::triggered, this, &MainWindow::customizeToolbar);
    connect(action(kCmdOptions), &QAction::triggered, this, &MainWindow::showOptions);
    connect(action(kCmdScript), &QAction::triggered, this, &MainWindow::editScript);
    connect(action(kCmdOpenAssociated), &QAction::triggered, this, [this] { m_opener->openAssociated(); });
    connect(action(kCmdOpenDefaultViewer), &QAction::triggered, this, [this] { m_opener->openDefaultViewer(); });
    connect(action(kCmdOpenWith), &QAction::triggered, this, [this] { m_opener->openWithProgram(); });
    connect(action(kCmdViewContext), &QAction::triggered, this, [this] { m_opener->viewContext(); });
    connect(action(kCmdTouch), &QAction::triggered, this, &MainWindow::touchFiles);
    connect(action(kCmdPreviewReplace), &QAction::triggered, this, &MainWindow::previewReplace);
    connect(action(kCmdUndoReplace), &QAction::triggered, this, &MainWindow::undoLastReplace);
    connect(action(kCmdFileOperations), &QAction::triggered, this,
            [this] { fileOperations(FileOperationKind::Copy); });
    connect(action(kCmdPrintResults), &QAction::triggered, this, [this] {
        printResults(this, *m_model, m_controller->runHeading(), m_options.beforeHit, m_options.afterHit);
    });
    // The help page has no keyword index: Search opens the page like Contents.
    connect(action(kCmdHelpContents), &QAction::triggered, this, [this] { openHelp(this); });
    connect(action(kCmdHelpSearch), &QAction::triggered, this, [this] { openHelp(this); });
    connect(action(kCmdAbout), &QAction::triggered, this, [this] { showAbout(this); });
    // The archive and whitespace flags live in the inputs; the other four mirror the
    // check boxes below the input boxes.
    action(kCmdSearchZips)->setChecked(m_saved.inputs.searchZips);
    action(kCmdIgnoreWhitespace)->setChecked(m_saved.inputs.ignoreWhitespace);
    connect(action(kCmdSearchZips), &QAction::toggled, this, [this](bool on) { m_saved.inputs.searchZips = on; });
    connect(action(kCmdIgnoreWhitespace), &QAction::toggled, this,
            [this](bool on) { m_saved.inputs.ignoreWhitespace = on; });
}

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout;
    const auto addInput = [&](int row, const QString& text) {
        auto* label = new QLabel(text, central);
        QComboBox* box = makeInputBox(central, label);
        // The "..." buttons: the binary-mode editor, the mask dialog and the path chooser.
        auto* more = new QPushButton(QStringLiteral("..."), central);
        more->setAccessibleName(boxName(text) + QStringLiteral(" ..."));
        more->setFixedWidth(more->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        grid->addWidget(more, row, 2);
        return std::pair{box, more};
    };
    std::tie(m_searchBox, m_searchBlockButton) = addInput(0, QStringLiteral("Search Strin&g:"));
    // Alt+L belongs to the Flags menu, every letter of whose name is taken elsewhere.
    std::tie(m_replaceBox, m_replaceBlockButton) = addInput(1, QStringLiteral("&Replace:"));
    for (const auto& [button, side] : {std::pair{m_searchBlockButton, BlockSide::Search},
                                       std::pair{m_replaceBlockButton, BlockSide::Replace}}) {
        button->setToolTip(QStringLiteral("Binary Mode"));
        connect(button, &QPushButton::clicked, this, [this, side = side] { editBinaryBlock(side); });
    }
    auto [maskBox, maskMore] = addInput(2, QStringLiteral("&File Mask:"));
    m_maskBox = maskBox;
    m_maskRulesButton = maskMore;
    maskMore->setToolTip(QStringLiteral("Include/Exclude Files and Directories"));
    connect(maskMore, &QPushButton::clicked, this, [this] {
        MaskRulesDialog dialog(m_maskBox->currentText(), this);
        if (dialog.exec() == QDialog::Accepted)
            m_maskBox->setEditText(dialog.maskText());
    });
    auto [pathBox, pathMore] = addInput(3, QStringLiteral("&Path:"));
    m_pathBox = pathBox;
    m_pathButton = pathMore;
    pathMore->setToolTip(QStringLiteral("Select Path"));
    connect(pathMore, &QPushButton::clicked, this, [this] {
        QString start = m_pathBox->currentText();
        if (start.size() > 1 && start.endsWith(QLatin1Char('/')))
            start.chop(1);
        const QString dir = QFileDialog::getExistingDirectory(this, uiText(kTextSelectPath), start);
        if (!dir.isEmpty())
            m_pathBox->setEditText(dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/'));
    });

    m_searchButton = new QPushButton(QStringLiteral("Search"), central);
    m_replaceButton = new QPushButton(QStringLiteral("Replace"), central);
    m_searchButton->setAccessibleName(QStringLiteral("Search"));
    m_replaceButton->setAccessibleName(QStringLiteral("Replace"));
    m_searchButton->setToolTip(QStringLiteral("Search (Ctrl+F)"));
    m_replaceButton->setToolTip(QStringLiteral("Replace (Ctrl+H)"));
    m_searchButton->setDefault(true);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_searchButton);
    buttons->addWidget(m_replaceButton);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 3, 4, 1);

    QHBoxLayout* flags = buildFlags(central);
    buildResultsList(central);

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(grid);
    layout->addLayout(flags);
    layout->addWidget(m_resultsLabel);
    layout->addWidget(m_resultsList, 1);
    setCentralWidget(central);

    connect(m_searchButton, &QPushButton::clicked, this, [this] { runCommand(false); });
    connect(m_replaceButton, &QPushButton::clicked, this, [this] { runCommand(true); });
    // Enter in an input box issues Search (or stops the search that is running).
    for (QComboBox* box : {m_searchBox, m_replaceBox, m_maskBox, m_pathBox})
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this] { runCommand(false); });
    // Ctrl+C in the list copies the selected lines (or all) with the run heading.
    auto* copy = new QShortcut(QKeySequence::Copy, m_resultsList, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &MainWindow::copyResults);
    // Escape stops a run; it never closes the window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &MainWindow::stopRun);
    connect(m_resultsList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::updateCommands);
    // A script reference in the search box greys the flags that the script decides,
    // whether it is typed or picked from the list.
    connect(m_searchBox, &QComboBox::editTextChanged, this, &MainWindow::updateCommands);
    connect(m_searchBox, &QComboBox::currentIndexChanged, this, &MainWindow::updateCommands);
}

QHBoxLayout* MainWindow::buildFlags(QWidget* central)
{
    m_caseSensitive = makeFlag(central, QStringLiteral("&Case Sensitive"));
    m_wholeWord = makeFlag(central, QStringLiteral("&Whole Word Match"));
    m_regularExpression = makeFlag(central, QStringLiteral("Regular E&xpression"));
    m_subdirectories = makeFlag(central, QStringLiteral("Search &Subdirectories"));
    auto* flags = new QHBoxLayout;
    for (QCheckBox* flag : {m_caseSensitive, m_wholeWord, m_regularExpression, m_subdirectories})
        flags->addWidget(flag);
    flags->addStretch();
    const std::pair<QCheckBox*, int> mirrored[] = {{m_caseSensitive, kCmdCaseSensitive},
                                                   {m_wholeWord, kCmdWholeWord},
                                                   {m_regularExpression, kCmdRegularExpression},
                                                   {m_subdirectories, kCmdSearchSubdirs}};
    for (const auto& [box, id] : mirrored) {
        QAction* a = action(id);
        connect(a, &QAction::toggled, box, &QCheckBox::setChecked);
        connect(box, &QCheckBox::toggled, a, &QAction::setChecked);
        connect(box, &QCheckBox::toggled, this, &MainWindow::updateCommands);
    }
    return flags;
}

void MainWindow::buildResultsList(QWidget* central)
{
    m_resultsLabel = new QLabel(QString::fromLatin1(kResultsLabel), central);
    // The label shows the run's progress several times a second: a long text must neither
    // widen the window nor make the layout recompute every widget below it.
    m_resultsLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_resultsList = new QListView(central);
    m_resultsList->setModel(m_model);
    // Every line has the same height, so a million lines scroll without measuring each.
    m_resultsList->setUniformItemSizes(true);
    // Lays out new rows in steps, so a long list grows without re-measuring it whole.
    m_resultsList->setLayoutMode(QListView::Batched);
    m_resultsList->setBatchSize(10000);
    m_resultsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_resultsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_resultsList->setContextMenuPolicy(Qt::CustomContextMenu);
    // Lines are fitted to the list's width (around the found text, paths in the middle).
    m_resultsList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_delegate = new ResultsDelegate(m_resultsList);
    m_delegate->setColors(m_options.stringColor, m_options.fileColor);
    m_host->setColors(m_options.stringColor, m_options.fileColor);
    m_resultsList->setItemDelegate(m_delegate);
    m_resultsList->setAccessibleName(withoutAccelerator(m_resultsLabel->text()));
    m_resultsLabel->setBuddy(m_resultsList);
    connect(m_resultsList, &QWidget::customContextMenuRequested, this, &MainWindow::showResultsMenu);
    // A double click or Enter opens the line: View Context for a hit, the file's own
    // program for a file line.
    m_opener = std::make_unique<ResultsOpener>(this, m_resultsList, *m_model, m_options, *m_store,
                                               [this](const QString& text) { showMessage(text); });
    const auto openLine = [this] {
        if (!running() || m_model->kindAt(m_resultsList->currentIndex().row()) == LineKind::Hit)
            m_opener->openCurrent();
    };
    connect(m_resultsList, &QAbstractItemView::doubleClicked, this, openLine);
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), m_resultsList, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this, openLine] {
            if (m_resultsList->currentIndex().isValid())
                openLine();
        });
    }
    // Delete, F7 and F8 in the list: File Operations with Delete, Move or Copy chosen.
    for (const auto& [key, kind] : {std::pair{Qt::Key_Delete, FileOperationKind::Delete},
                                    std::pair{Qt::Key_F7, FileOperationKind::Move},
                                    std::pair{Qt::Key_F8, FileOperationKind::Copy}}) {
        auto* shortcut = new QShortcut(QKeySequence(key), m_resultsList, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, kind = kind] { fileOperations(kind); });
    }
    // Copies of archive members left for viewers by an earlier session are removed.
    removeExtractedMembers(realFileSystem(), dataDirectory() + "view/");
    addListKeys(m_resultsList, [this] {
        const QRect current = m_resultsList->visualRect(m_resultsList->currentIndex());
        showResultsMenu(current.isValid() ? current.center() : QPoint(0, 0));
    });
}

void MainWindow::loadRecentItems()
{
    MainInputs& in = m_saved.inputs;
    std::string* texts[4] = {&in.searchText, &in.replaceText, &in.mask, &in.path};
    // A fresh installation starts with something to try: every file of the directory the
    // program was started in.
    const std::string firstUse[4] = {activeLanguage().text(kTextDefaultSearch), "",
                                     activeLanguage().text(kTextDefaultMask),
                                     firstStartPath(currentDirectory(), getEnvironmentVariable("HOME").value_or(""))};
    for (int k = 0; k < 4; ++k) {
        m_recent[k] = m_store->loadRecentItems(kBoxNames[k], m_options.maxItemsSaved).items;
        if (m_recent[k].empty() && texts[k]->empty())
            *texts[k] = firstUse[k];
    }
}

void MainWindow::showInputs()
{
    const MainInputs& in = m_saved.inputs;
    QComboBox* boxes[4] = {m_searchBox, m_replaceBox, m_maskBox, m_pathBox};
    const std::string* texts[4] = {&in.searchText, &in.replaceText, &in.mask, &in.path};
    for (int k = 0; k < 4; ++k) {
        boxes[k]->clear();
        for (const std::string& item : m_recent[k])
            boxes[k]->addItem(toQt(item));
        boxes[k]->setEditText(toQt(*texts[k]));
    }
    m_caseSensitive->setChecked(in.caseSensitive);
    m_wholeWord->setChecked(in.wholeWord);
    m_regularExpression->setChecked(in.regularExpression);
    m_subdirectories->setChecked(m_options.searchSubdirs);
}

void MainWindow::takeInputs()
{
    MainInputs& in = m_saved.inputs;
    in.searchText = fromQt(m_searchBox->currentText());
    in.replaceText = fromQt(m_replaceBox->currentText());
    in.mask = fromQt(m_maskBox->currentText());
    in.path = fromQt(m_pathBox->currentText());
    in.caseSensitive = m_caseSensitive->isChecked();
    in.wholeWord = m_wholeWord->isChecked();
    in.regularExpression = m_regularExpression->isChecked();
    in.searchZips = action(kCmdSearchZips)->isChecked();
    in.ignoreWhitespace = action(kCmdIgnoreWhitespace)->isChecked();
    m_options.searchSubdirs = m_subdirectories->isChecked();
}

void MainWindow::rememberInputs()
{
    const MainInputs& in = m_saved.inputs;
    // The order in which an accepted run adds them: replace, mask, search, path.
    const std::pair<int, const std::string*> added[] = {
        {1, &in.replaceText}, {2, &in.mask}, {0, &in.searchText}, {3, &in.path}};
    QComboBox* boxes[4] = {m_searchBox, m_replaceBox, m_maskBox, m_pathBox};
    for (const auto& [k, text] : added) {
        if (text->empty())
            continue;
        addRecentItem(m_recent[k], *text);
        if (!boxes[k])
            continue; // a run started before the controls were built: they show the lists
        const QSignalBlocker quiet(boxes[k]);
        boxes[k]->clear();
        for (const std::string& item : m_recent[k])
            boxes[k]->addItem(toQt(item));
        boxes[k]->setCurrentIndex(0);
    }
}

void MainWindow::takeCommandLine(const CommandLineRequest& request)
{
    tw::applyCommandLine(request, m_saved.inputs, m_options);
    m_closeAfterRun = request.closeAfterRun;
    m_commandLineCommand = chosenCommand(request);
    // "/C": the script becomes the last script file and the boxes show it.
    if (request.scriptFileGiven) {
        std::vector<std::string> messages;
        takeCommandLineScript(request, m_saved, m_options, m_script, &messages);
        noteScriptRead(m_script);
        for (const std::string& text : messages)
            showMessage(toQt(text));
    }
}

void MainWindow::applyCommandLine(const CommandLineRequest& request)
{
    takeCommandLine(request);
    showInputs();
    action(kCmdIgnoreWhitespace)->setChecked(m_saved.inputs.ignoreWhitespace);
}

void MainWindow::issueCommandLineCommand()
{
    const CommandLineCommand command = m_commandLineCommand;
    m_commandLineCommand = CommandLineCommand::None;
    switch (command) {
    case CommandLineCommand::Search:
    case CommandLineCommand::Replace:
        runCommand(command == CommandLineCommand::Replace);
        break;
    case CommandLineCommand::Touch:
        touchFiles();
        break;
    case CommandLineCommand::None:
        break;
    }
    // "/q" closes the window after the run; when no run started there is nothing to wait for.
    if (m_closeAfterRun && !running())
        close();
}

PreviewWindow* MainWindow::openPreviewWindow(const std::string& patchPath, std::vector<PreviewedFile> files)
{
    if (m_preview)
        m_preview->close(); // stores its place; it deletes itself
    auto* window = new PreviewWindow(patchPath, std::move(files),
                                     fromStoredRect(m_store->loadWindowRect("Preview Position")), this);
    if (!window->loaded()) {
        showMessage(window->loadError());
        delete window;
        return nullptr;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &QDialog::finished, this, [this, window] {
        const QRect r = window->rectangleToSave();
        if (!r.isEmpty())
            m_store->saveWindowRect("Preview Position", toStoredRect(r));
    });
    m_preview = window;
    window->show();
    return window;
}

PreviewWindow* MainWindow::previewWindow() const
{
    return m_preview.data();
}

void MainWindow::previewReplace()
{
    if (running()) {
        if (m_active == ActiveRun::Preview)
            stopRun();
        return;
    }
    if (m_saved.noReplace)
        return;
    takeInputs();
    const AcceptedInputs accepted = acceptForRun(true);
    if (!accepted.accepted())
        return;
    rememberInputs();
    SearchRequest request = buildRunRequest({m_saved.inputs, m_options, m_saved, /*replaceMode=*/true,
                                             /*unattended=*/false, m_saved.quietMode, &m_script, accepted.use});
    std::string error;
    std::shared_ptr<PreviewSession> session = PreviewSession::create(realFileSystem(), request, &error);
    if (!session) {
        showMessage(toQt(error));
        return;
    }
    // The preview writes no output file, so it never needs the printer.
    RunJob job = RunController::searchJob(std::move(request), session->request().options.beforeHit,
                                          session->request().options.afterHit);
    job.usesDefaultPrinter = false;
    job.work = [session](RunDriver& driver) { return session->runPreview(driver); };
    m_model->clear();
    if (!m_controller->start(std::move(job)))
        return;
    setRunning(ActiveRun::Preview);
    m_whenRunEnds = [this, session](RunOutcome outcome) { showPreview(session, outcome); };
    if (accepted.scriptChanged)
        showScript();
}

void MainWindow::showPreview(const std::shared_ptr<PreviewSession>& session, RunOutcome outcome)
{
    // A stopped preview has not seen every file: its patch is not the run's.
    if (outcome != RunOutcome::Completed)
        return;
    if (!session->patchWritten()) {
        showMessage(QStringLiteral("The preview could not write its patch file ") + toQt(session->patchPath()));
        return;
    }
    if (session->files().empty()) {
        statusBar()->showMessage(QStringLiteral("Nothing would be replaced."));
        return;
    }
    PreviewWindow* window = openPreviewWindow(session->patchPath(), session->files());
    if (!window)
        return;
    m_previewSession = session;
    connect(window, &PreviewWindow::replaceRequested, this, &MainWindow::applyPreview);
    connect(window, &QDialog::finished, this, [this, session] {
        if (m_previewSession == session)
            m_previewSession.reset();
    });
}

void MainWindow::applyPreview()
{
    const std::shared_ptr<PreviewSession> session = m_previewSession;
    if (!session || !m_preview)
        return;
    if (running()) {
        showMessage(QStringLiteral("Stop the active run, or wait for its end, before replacing."));
        return;
    }
    const SearchRequest& request = session->request();
    RunJob job = RunController::searchJob(request, request.options.beforeHit, request.options.afterHit);
    job.work = [session](RunDriver& driver) { return session->runReplace(driver); };
    m_model->clear();
    if (!m_controller->start(std::move(job)))
        return;
    setRunning(ActiveRun::Replace);
    // The patch describes the files as they were: it is applied once.
    m_preview->setReplaceEnabled(false);
    m_whenRunEnds = [this, session](RunOutcome) {
        if (!m_preview || m_previewSession != session)
            return;
        QStringList refused;
        for (const std::string& path : session->refused())
            refused << toQt(displayName(path));
        // With nothing refused the preview has done its work; otherwise it stays to say
        // which files were left alone.
        if (refused.isEmpty())
            m_preview->close();
        else
            m_preview->showRefusedFiles(refused);
    };
}

void MainWindow::undoLastReplace()
{
    if (running())
        return;
    auto model = std::make_shared<UndoReplaceModel>(realFileSystem(), realFileOps(), dataDirectory());
    if (!model->load()) {
        QString text = QStringLiteral("Nothing to undo.");
        for (const std::string& problem : model->problems())
            text += QLatin1Char('\n') + toQt(problem);
        showMessage(text);
        return;
    }
    UndoReplaceDialog dialog(*model, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    RunJob job;
    job.heading = m_controller->runHeading();
    job.work = [model, this](RunDriver&) {
        std::vector<std::string> lines;
        const UndoTakeBack result = model->takeBack(&lines);
        ResultStream& out = m_controller->jobResults();
        for (const std::string& line : lines)
            out.addLine(ResultEntry::notice(line));
        out.addLine(ResultEntry::summary(undoSummaryText(result)));
        return RunOutcome::Completed;
    };
    // The list shows what the undo did.
    m_model->clear();
    if (m_controller->start(std::move(job)))
        setRunning(ActiveRun::Touch);
}

void MainWindow::showMessage(const QString& text)
{
    // A "/q" window closes by itself and nobody may be there to answer a box: the message
    // goes to standard error, as tarnwick-cli writes it.
    if (m_closeAfterRun) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kIdleTitle), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    fitTitle(*box);
    box->open();
}

void MainWindow::runCommand(bool replaceMode)
{
    if (running()) {
        // The Replace button is the Stop of a replace and of a preview.
        if (replaceMode == (m_active == ActiveRun::Replace || m_active == ActiveRun::Preview))
            stopRun();
        return;
    }
    if (replaceMode && m_saved.noReplace)
        return;
    takeInputs();
    const AcceptedInputs accepted = acceptForRun(replaceMode);
    if (!accepted.accepted())
        return;
    if (startRun(replaceMode, accepted.use))
        setRunning(replaceMode ? ActiveRun::Replace : ActiveRun::Search);
    // A script named for the first time is shown in the boxes; the run takes what the
    // boxes named when it was accepted.
    if (accepted.scriptChanged)
        showScript();
}

AcceptedInputs MainWindow::acceptForRun(bool replaceMode)
{
    forgetChangedScript();
    AcceptedInputs accepted =
        acceptInputs(m_saved.inputs, replaceMode, m_options, m_script, m_saved.lastScriptFile, scriptLoader());
    for (const std::string& text : accepted.loadMessages)
        showMessage(toQt(text));
    if (!accepted.accepted()) {
        showMessage(toQt(accepted.message));
        focusBox(accepted.focus);
    }
    return accepted;
}

void MainWindow::forgetChangedScript()
{
    if (m_script.filePath.empty())
        return;
    const QFileInfo file(toQt(m_script.filePath));
    if (m_scriptReadFrom != file.filePath() || m_scriptReadTime != file.lastModified() ||
        m_scriptReadSize != file.size()) {
        m_script.reset();
        m_scriptReadFrom.clear();
    }
}

void MainWindow::noteScriptRead(const Script& script)
{
    const QFileInfo file(toQt(script.filePath));
    m_scriptReadFrom = file.filePath();
    m_scriptReadTime = file.lastModified();
    m_scriptReadSize = file.size();
}

ScriptLoader MainWindow::scriptLoader()
{
    return [this, load = programScriptLoader(m_saved.inputs, m_options)](Script& script, const std::string& path) {
        ScriptLoadResult loaded = load(script, path);
        // A file that could not be read says nothing about the script the window holds
        // (the script editor keeps its own when a load fails).
        if (loaded.read)
            noteScriptRead(script);
        return loaded;
    };
}

bool MainWindow::startRun(bool replaceMode, const ScriptUse& use)
{
    rememberInputs();
    SearchRequest request = buildRunRequest({m_saved.inputs, m_options, m_saved, replaceMode,
                                             /*unattended=*/false, m_saved.quietMode || m_closeAfterRun, &m_script,
                                             use});
    m_model->clear();
    // The hit markers of the options in force: a script's own options replace the program's.
    const std::string beforeHit = request.options.beforeHit;
    const std::string afterHit = request.options.afterHit;
    return m_controller->start(std::move(request), beforeHit, afterHit);
}

void MainWindow::showScript()
{
    showScriptInInputs(m_saved.inputs, m_script, m_saved.lastScriptFile);
    const MainInputs& in = m_saved.inputs;
    const std::pair<QComboBox*, const std::string*> boxes[] = {
        {m_searchBox, &in.searchText}, {m_replaceBox, &in.replaceText}, {m_maskBox, &in.mask}, {m_pathBox, &in.path}};
    for (const auto& [box, text] : boxes)
        if (box)
            box->setEditText(toQt(*text));
    updateCommands();
}

void MainWindow::focusBox(InputBox box)
{
    QComboBox* target = nullptr;
    switch (box) {
    case InputBox::Search: target = m_searchBox; break;
    case InputBox::Replace: target = m_replaceBox; break;
    case InputBox::Mask: target = m_maskBox; break;
    case InputBox::Path: target = m_pathBox; break;
    case InputBox::None: break;
    }
    if (target)
        target->setFocus();
}

void MainWindow::stopRun()
{
    if (running()) {
        statusBar()->showMessage(QStringLiteral("Stopping..."));
        m_controller->requestStop();
    }
}

void MainWindow::setResultsLabel(const QString& text)
{
    m_resultsLabel->setText(text);
}

void MainWindow::setRunning(ActiveRun run)
{
    const bool active = run != ActiveRun::None;
    const ActiveRun kind = active ? run : m_active;
    const bool replaceMode = kind == ActiveRun::Replace || kind == ActiveRun::Preview;
    m_active = run;
    QPushButton* own = replaceMode ? m_replaceButton : m_searchButton;
    own->setText(active ? QStringLiteral("Stop") : (replaceMode ? QStringLiteral("Replace") : QStringLiteral("Search")));
    own->setAccessibleName(own->text());
    for (QWidget* w : std::initializer_list<QWidget*>{m_searchBox, m_searchBlockButton, m_replaceBox,
                                                      m_replaceBlockButton, m_maskBox, m_maskRulesButton, m_pathBox,
                                                      m_pathButton})
        w->setEnabled(!active);
    // The pressed command's toolbar button stays down while it is the stop button.
    QAction* command = action(replaceMode ? kCmdReplace : kCmdSearch);
    command->setCheckable(active);
    command->setChecked(active);
    if (active)
        statusBar()->showMessage(run == ActiveRun::Preview ? QStringLiteral("Previewing...")
                                 : replaceMode             ? QStringLiteral("Replacing...")
                                                           : QStringLiteral("Searching..."));
    else
        setResultsLabel(QString::fromLatin1(kResultsLabel));
    updateCommands();
}

void MainWindow::onRunFinished(RunOutcome outcome)
{
    m_commandLineStatus = m_controller->exitStatus();
    if (m_opener) {
        // View Context saves only into files not changed since this moment.
        const qint64 ms = QDateTime::currentMSecsSinceEpoch();
        m_opener->setRunEnded(toFileTime(ms / 1000, (ms % 1000) * 1000000));
    }
    setRunning(ActiveRun::None);
    setWindowTitle(QString::fromLatin1(kIdleTitle));
    statusBar()->showMessage(runEndStatus(*m_model, outcome == RunOutcome::Stopped));
    emit runEnded(outcome);
    if (std::function<void(RunOutcome)> next = std::exchange(m_whenRunEnds, {}))
        next(outcome);
    if (m_closeRequested || m_closeAfterRun)
        close();
}

void MainWindow::restoreWindowRect()
{
    const QRect placed = placedRect(fromStoredRect(m_store->loadWindowRect("Window Position")), QSize(760, 520),
                                    QSize(kMinWidth, kMinHeight));
    move(placed.topLeft());
    resize(placed.size());
}

void MainWindow::saveSettings()
{
    takeInputs();
    m_store->saveMainWindow(m_saved);
    m_store->saveOptions(m_options);
    QComboBox* boxes[4] = {m_searchBox, m_replaceBox, m_maskBox, m_pathBox};
    for (int k = 0; k < 4; ++k)
        m_store->saveRecentItems(kBoxNames[k], fromQt(boxes[k]->currentText()), m_recent[k], m_options.maxItemsSaved);
    // The rectangle of a minimised or maximised window is not the one to come back to.
    if (!isMinimized() && !isMaximized() && !isFullScreen()) {
        m_store->saveWindowRect("Window Position", toStoredRect(QRect(pos(), size())));
    }
    m_savedToolbar = encodeToolbarLayout({m_toolbarItems, saveState()});
    m_store->saveToolbar(m_savedToolbar);
    m_store->sync();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (running()) {
        // The run stops first (an open question resolves as Cancel); the window closes
        // when it has returned.
        m_closeRequested = true;
        stopRun();
        event->ignore();
        return;
    }
    // Inputs a run would refuse (an empty mask or path, say) are not saved: the settings
    // keep what the last accepted inputs left there.
    takeInputs();
    if (!checkInputs(m_saved.inputs, false, m_options))
        saveSettings();
    event->accept();
}

namespace {

// The local files and directories of a drop; empty when anything else is among them.
QStringList droppedPaths(const QMimeData* data)
{
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        paths.push_back(url.toLocalFile());
    }
    return paths;
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    // One local file or directory becomes the mask and path; several make a script.
    if (!running() && !droppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList paths = droppedPaths(event->mimeData());
    if (running() || paths.isEmpty())
        return;
    if (paths.size() == 1)
        dropPath(paths.front());
    else
        dropItems(paths);
    event->acceptProposedAction();
}

void MainWindow::dropItems(const QStringList& paths)
{
    std::vector<std::string> items;
    for (const QString& p : paths)
        items.push_back(fromQt(p));
    const std::string dir = dataDirectory();
    if (dir.empty()) {
        showMessage(QStringLiteral("The data directory %1 cannot be used.").arg(toQt(dataDirectoryLocation())));
        return;
    }
    std::string file;
    if (const std::string problem = writeExplorerScript(items, dir, &file); !problem.empty()) {
        showMessage(toQt(problem));
        return;
    }
    m_saved.lastScriptFile = file;
    takeInputs(); // the flags a plain-lines file would take
    const ScriptLoadResult loaded = loadScript(m_script, file, scriptReadContext(m_saved.inputs, m_options));
    noteScriptRead(m_script);
    for (const std::string& text : loaded.messages)
        showMessage(toQt(text));
    showScript();
}

void MainWindow::dropPath(const QString& dropped)
{
    QString path;
    QString mask;
    if (QFileInfo(dropped).isDir()) {
        path = dropped.endsWith(QLatin1Char('/')) ? dropped : dropped + QLatin1Char('/');
        mask = QStringLiteral("*.*");
    } else {
        const qsizetype slash = dropped.lastIndexOf(QLatin1Char('/'));
        path = dropped.left(slash + 1);
        mask = dropped.mid(slash + 1);
    }
    if (mask.isEmpty() || path.isEmpty())
        return;
    m_saved.inputs.path = fromQt(path);
    m_saved.inputs.mask = fromQt(mask);
    for (const auto& [k, text, box] : {std::tuple{3, path, m_pathBox}, std::tuple{2, mask, m_maskBox}}) {
        addRecentItem(m_recent[k], fromQt(text));
        const QSignalBlocker quiet(box);
        box->clear();
        for (const std::string& item : m_recent[k])
            box->addItem(toQt(item));
        box->setCurrentIndex(0);
    }
}

void MainWindow::copyResults()
{
    if (m_model->rowCount() == 0)
        return; // nothing to copy
    std::vector<int> rows;
    for (const QModelIndex& index : m_resultsList->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    const QString text = clipboardText(*m_model, std::move(rows), QString::fromStdString(m_controller->runHeading()),
                                       QString::fromStdString(m_options.beforeHit),
                                       QString::fromStdString(m_options.afterHit));
    QApplication::clipboard()->setText(text);
}

void MainWindow::buildMenus()
{
    const struct {
        int title;
        std::vector<int> items; // 0 is a separator
    } menus[] = {
        {kTextMenuActions, {kCmdSearch, kCmdReplace, kCmdTouch, kCmdFileOperations, 0, kCmdExit}},
        {kTextMenuEdit, {kCmdCopyResults, kCmdPrintResults, kCmdViewHtml, 0, kCmdPreviewReplace, kCmdUndoReplace}},
        {kTextMenuView,
         {kCmdOpenAssociated, kCmdOpenDefaultViewer, kCmdOpenWith, kCmdViewContext, 0, kCmdCustomizeToolbar,
          kCmdScript, kCmdOptions}},
        {kTextMenuFlags,
         {kCmdCaseSensitive, kCmdSearchSubdirs, kCmdWholeWord, kCmdRegularExpression, kCmdSearchZips,
          kCmdIgnoreWhitespace}},
        {kTextMenuHelp, {kCmdHelpContents, kCmdHelpSearch, 0, kCmdAbout}},
    };
    for (const auto& m : menus) {
        QMenu* menu = menuBar()->addMenu(uiText(m.title));
        for (const int id : m.items) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(action(id));
        }
    }

    // The results list's own menu: the same commands, some with longer texts.
    m_resultsMenu = new QMenu(this);
    // Two of them have texts of their own; the others read as in the main menu.
    const std::pair<int, int> context[] = {
        {kCmdOpenAssociated, kCmdOpenAssociated}, {kCmdOpenDefaultViewer, kCmdOpenDefaultViewer},
        {kCmdOpenWith, kCmdOpenWith},             {kCmdViewContext, kCtxViewContext},
        {kCmdCopyResults, kCtxCopy},              {kCmdPrintResults, kCmdPrintResults},
        {kCmdViewHtml, kCmdViewHtml},             {kCmdFileOperations, kCmdFileOperations},
        {kCmdTouchSelected, kCmdTouchSelected},
    };
    for (const auto& [id, text] : context) {
        QAction* a = m_resultsMenu->addAction(uiText(text));
        if (QAction* command = action(id)) {
            a->setIcon(command->icon());
            connect(a, &QAction::triggered, command, &QAction::trigger);
        } else if (id == kCmdTouchSelected) { // the list's menu alone has it
            connect(a, &QAction::triggered, this, &MainWindow::touchSelectedFiles);
        }
        m_contextActions.emplace_back(a, id);
    }

    connect(m_model, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateCommands);
    connect(m_model, &QAbstractItemModel::modelReset, this, &MainWindow::updateCommands);
}

void MainWindow::buildToolbar()
{
    m_toolbar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar"));
    m_toolbar->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    std::vector<int> items = defaultToolbarItems();
    QByteArray state;
    if (const auto saved =
            decodeToolbarLayout(m_store->loadToolbar(), [](int id) { return findCommandText(id) != nullptr; })) {
        items = saved->items;
        state = saved->windowState;
    }
    setToolbarItems(items);
    if (!state.isEmpty())
        restoreState(state);
    // A toolbar hidden by the saved state (or dragged away) comes back by the View menu.
    m_toolbar->toggleViewAction()->setText(QStringLiteral("Show &Toolbar"));
}

void MainWindow::setToolbarItems(const std::vector<int>& items)
{
    m_toolbar->clear();
    m_toolbarItems.clear();
    for (const int id : items) {
        if (id == kToolbarSeparator) {
            if (!m_toolbarItems.empty() && m_toolbarItems.back() != kToolbarSeparator) {
                m_toolbar->addSeparator();
                m_toolbarItems.push_back(id);
            }
        } else if (QAction* a = action(id)) {
            m_toolbar->addAction(a);
            m_toolbarItems.push_back(id);
            // "Flat Toolbar" 0 draws the buttons raised.
            if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(a))) {
                button->setAutoRaise(m_saved.flatToolbar);
                button->setAccessibleName(a->toolTip());
            }
        }
    }
    m_store->saveToolbar(encodeToolbarLayout({m_toolbarItems, saveState()}));
}

void MainWindow::customizeToolbar()
{
    if (running())
        return;
    CustomizeToolbarDialog dialog(m_toolbarItems, this);
    if (dialog.exec() == QDialog::Accepted)
        setToolbarItems(dialog.items());
}

void MainWindow::showResultsMenu(const QPoint& pos)
{
    if (m_model->rowCount() == 0)
        return;
    // The line under the pointer becomes the current line first.
    const QModelIndex under = m_resultsList->indexAt(pos);
    if (under.isValid())
        m_resultsList->selectionModel()->setCurrentIndex(under, QItemSelectionModel::NoUpdate);
    updateCommands();
    m_resultsMenu->popup(m_resultsList->viewport()->mapToGlobal(pos));
}

void MainWindow::updateCommands()
{
    if (m_actions.empty() || !m_regularExpression || !m_resultsList)
        return; // still being built
    WindowState state;
    state.active = m_active;
    state.noReplace = m_saved.noReplace;
    state.hasResults = m_model->rowCount() > 0;
    const QModelIndex current = m_resultsList->currentIndex();
    state.currentIsHitLine = current.isValid() && m_model->kindAt(current.row()) == LineKind::Hit;
    state.defaultViewerSet = !m_options.defaultViewer.empty();
    state.scriptSearch = m_searchBox->currentText().startsWith(QString::fromLatin1(kScriptPrefix));
    state.regularExpression = m_regularExpression->isChecked();
    for (auto& [id, a] : m_actions)
        a->setEnabled(commandEnabled(id, state));
    for (auto& [a, id] : m_contextActions)
        a->setEnabled(commandEnabled(id, state));
    m_searchButton->setEnabled(commandEnabled(kCmdSearch, state));
    m_replaceButton->setEnabled(commandEnabled(kCmdReplace, state));
    m_caseSensitive->setEnabled(commandEnabled(kCmdCaseSensitive, state));
    m_wholeWord->setEnabled(commandEnabled(kCmdWholeWord, state));
    m_regularExpression->setEnabled(commandEnabled(kCmdRegularExpression, state));
    m_subdirectories->setEnabled(commandEnabled(kCmdSearchSubdirs, state));
}

bool MainWindow::writeResultsPage(const std::string& path)
{
    if (writeHtmlPage(*m_model, m_controller->runHeading(), path))
        return true;
    showMessage(QStringLiteral("Error writing file ") + toQt(path));
    return false;
}

void MainWindow::showOptions()
{
    if (running())
        return;
    const std::optional<ProgramOptions> sheet = runOptionsSheet(m_options, this);
    if (!sheet)
        return;
    const ProgramOptions& edited = *sheet;
    const bool colorsChanged = edited.stringColor != m_options.stringColor || edited.fileColor != m_options.fileColor;
    const bool lengthChanged = edited.maxItemsSaved != m_options.maxItemsSaved;
    m_options = edited;
    if (colorsChanged) {
        m_delegate->setColors(m_options.stringColor, m_options.fileColor);
        m_host->setColors(m_options.stringColor, m_options.fileColor);
        m_resultsList->viewport()->update();
    }
    if (lengthChanged) {
        // Everything is saved at once, and the recent lists are read back at their new length.
        saveSettings();
        loadRecentItems();
        showInputs();
    }
    // Options such as the date and size filters decide which files a run selects.
    m_controller->discardFileListCache();
    updateCommands();
}

void MainWindow::viewResultsAsHtml()
{
    if (m_model->rowCount() == 0)
        return;
    // The page lives in the data directory and is overwritten each time.
    const std::string path = dataDirectory() + "TwOut.htm";
    if (writeResultsPage(path) && !QDesktopServices::openUrl(QUrl::fromLocalFile(toQt(path))))
        showMessage(QStringLiteral("The page %1 could not be opened: no browser was found.").arg(toQt(path)));
}

std::optional<ProgramOptions> MainWindow::runOptionsSheet(const ProgramOptions& options, QWidget* parent)
{
    OptionsSheet sheet(options, m_store->loadLastTab(), OptionsSheet::localDatePicture(), parent);
    const bool accepted = sheet.exec() == QDialog::Accepted;
    m_store->saveLastTab(sheet.currentPage());
    m_store->sync();
    if (!accepted)
        return std::nullopt;
    return sheet.options();
}

void MainWindow::editBinaryBlock(BlockSide side)
{
    if (running())
        return;
    const bool search = side == BlockSide::Search;
    QComboBox* box = search ? m_searchBox : m_replaceBox;
    std::string& kept = search ? m_saved.binarySearchBlock : m_saved.binaryReplaceBlock;
    const bool ctrl = QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier);
    const std::string start = BinaryModeModel::startingBlock(kept, fromQt(box->currentText()), true, ctrl);
    if (std::optional<std::string> block = runBinaryModeDialog(start, side, m_regularExpression->isChecked(), this)) {
        kept = std::move(*block);
        box->setEditText(QString::fromLatin1(kBinaryPlaceholder));
    }
}

std::optional<std::string> MainWindow::runBinaryModeDialog(const std::string& block, BlockSide side,
                                                           bool regularExpression, QWidget* parent)
{
    BinaryScriptAccess scripts{scriptLoader(), getEnvironmentVariable,
                               m_options.maxRegexSize > 0 ? m_options.maxRegexSize : kDefaultMaxRegexSize};
    BinaryModeDialog dialog(block, side, regularExpression, m_saved.lastBmScriptFile.value_or(std::string()),
                            std::move(scripts), parent);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // Apply Script's choice is remembered whether or not the block is taken.
    if (!dialog.lastScriptFile().empty())
        m_saved.lastBmScriptFile = dialog.lastScriptFile();
    if (!accepted)
        return std::nullopt;
    return dialog.block();
}

void MainWindow::editScript()
{
    if (running())
        return;
    takeInputs();
    if (QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier)) {
        if (const std::string problem = writeDumpScript(m_saved, dataDirectory()); !problem.empty())
            showMessage(toQt(problem));
    }
    // The editor opens on the script last read, read again when its file has changed;
    // after a change it opens on the last script file.
    forgetChangedScript();
    if (m_script.empty() && m_script.filePath.empty() && !m_saved.lastScriptFile.empty())
        m_script.filePath = scriptFileName(m_saved.lastScriptFile);
    ScriptEditorSeed seed{windowPair(m_saved.inputs, m_saved), m_saved.inputs.path, m_saved.inputs.mask, m_options};
    ScriptEditorServices services;
    services.load = scriptLoader();
    services.save = [this](Script& script, const std::string& path) {
        std::string problem = saveScript(script, path, scriptOptionsCodec(localDatePicture()));
        if (problem.empty())
            noteScriptRead(script); // what was written is what the window holds
        return problem;
    };
    services.editBlock = [this](const std::string& block, BlockSide side, bool regularExpression, QWidget* parent) {
        return runBinaryModeDialog(block, side, regularExpression, parent);
    };
    services.editOptions = [this](const ProgramOptions& options, QWidget* parent) {
        return runOptionsSheet(options, parent);
    };
    ScriptEditorDialog editor(m_script, std::move(seed), std::move(services), this);
    if (editor.exec() != QDialog::Accepted)
        return;
    if (m_script.filePath.empty()) {
        // The boxes name a script by its file: one never saved cannot be named.
        showMessage(QStringLiteral("The script has no file yet: save it with \"Save As...\" to use it."));
        return;
    }
    m_saved.lastScriptFile = m_script.filePath;
    showScript();
}

void MainWindow::touchFiles()
{
    if (running()) {
        if (m_active == ActiveRun::Touch)
            stopRun();
        return;
    }
    takeInputs();
    // Touch takes only the file selection: the search and replace texts play no part.
    MainInputs in = m_saved.inputs;
    in.searchText.clear();
    in.replaceText.clear();
    forgetChangedScript();
    const AcceptedInputs accepted =
        acceptInputs(in, false, m_options, m_script, m_saved.lastScriptFile, scriptLoader());
    for (const std::string& text : accepted.loadMessages)
        showMessage(toQt(text));
    if (!accepted.accepted()) {
        showMessage(toQt(accepted.message));
        focusBox(accepted.focus);
        return;
    }
    const SearchRequest request =
        buildRunRequest({in, m_options, m_saved, false, false, m_saved.quietMode, &m_script, accepted.use});
    auto files = std::make_shared<FileList>();
    RunJob job;
    job.work = [request, files](RunDriver& driver) { return driver.CollectTouchList(request, *files); };
    job.heading = m_controller->runHeading();
    if (!m_controller->start(std::move(job)))
        return;
    setRunning(ActiveRun::Touch);
    m_whenRunEnds = [this, files](RunOutcome outcome) {
        if (outcome == RunOutcome::Completed && !files->empty())
            openTouchDialog(files);
    };
}

void MainWindow::touchSelectedFiles()
{
    if (running())
        return;
    auto files = std::make_shared<FileList>();
    std::set<std::string> seen;
    for (const QModelIndex& index : m_resultsList->selectionModel()->selectedIndexes()) {
        const int row = index.row();
        // Files inside archives cannot be touched; every other line names its file.
        if (m_model->pathAt(row).empty() || !m_model->archivePathAt(row).empty())
            continue;
        if (seen.insert(m_model->pathAt(row)).second)
            files->add(m_model->pathAt(row));
    }
    if (!files->empty())
        openTouchDialog(std::move(files));
}

void MainWindow::openTouchDialog(std::shared_ptr<FileList> files)
{
    std::vector<std::optional<uint32_t>> attributes;
    attributes.reserve(files->size());
    for (FileList::Cursor paths(*files); !paths.atEnd();)
        attributes.push_back(touchAttributesOf(realFileSystem(), std::string(paths.next())));
    TouchDialog dialog(systemTouchPictures(), localNowFileTime(), attributes, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    RunJob job;
    job.work = [files, touch = dialog.request()](RunDriver& driver) { return driver.TouchFileList(*files, touch); };
    job.heading = m_controller->runHeading();
    // The list shows what the touch did; until OK it keeps what was there.
    m_model->clear();
    if (m_controller->start(std::move(job)))
        setRunning(ActiveRun::Touch);
}

void MainWindow::fileOperations(FileOperationKind kind)
{
    if (running() || m_model->rowCount() == 0)
        return;
    // Only the lines that matter are copied out of the list: the selected ones, or the
    // file lines when none is selected.
    std::vector<ResultEntry> rows;
    const QModelIndexList selected = m_resultsList->selectionModel()->selectedIndexes();
    const auto take = [&](int row) {
        ResultEntry entry;
        entry.fields() = m_model->fieldsAt(row);
        entry.path = m_model->pathAt(row);
        entry.archivePath = m_model->archivePathAt(row);
        rows.push_back(std::move(entry));
    };
    std::vector<int> order;
    for (const QModelIndex& index : selected)
        order.push_back(index.row());
    std::sort(order.begin(), order.end());
    for (const int row : order)
        take(row);
    std::vector<size_t> chosen(rows.size());
    std::iota(chosen.begin(), chosen.end(), size_t(0));
    if (selected.isEmpty())
        for (int row = 0; row < m_model->rowCount(); ++row)
            if (m_model->kindAt(row) == LineKind::File)
                take(row);
    std::vector<FileOperationItem> files = FileOperationModel::filesOfRows(rows, chosen);
    if (files.empty())
        return;
    // The start paths keep the files' places below them: a script's paths when the path
    // box names the script, else the path box's.
    takeInputs();
    const bool scriptPaths = scriptReference(m_saved.inputs.path).has_value() && !m_script.paths.empty();
    std::vector<std::string> scriptDirs;
    for (const PathMaskPair& entry : m_script.paths)
        scriptDirs.push_back(entry.path);
    std::vector<std::string> starts = scriptPaths ? FileOperationModel::startPathsOf(scriptDirs)
                                                  : FileOperationModel::startPathsOf(m_saved.inputs.path);
    FileOperationsDialog dialog(FileOperationModel(std::move(files), std::move(starts), kind), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::string error;
    const std::string extractDir = extractionDirectory(realFileSystem(), realFileOps(), dataDirectory(), &error);
    if (m_controller->start(fileOperationJob(dialog.request(extractDir), *m_host, *m_controller)))
        setRunning(ActiveRun::Touch);
}

} // namespace tw
