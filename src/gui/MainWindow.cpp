#include "gui/MainWindow.h"

#include "app/CommandLine.h"
#include "app/RunRequest.h"
#include "gui/ResultsExport.h"
#include "gui/ResultsDelegate.h"
#include "platform/Environment.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

#include <initializer_list>

namespace tw {

namespace {

constexpr const char* kIdleTitle = "Tarnwick";

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

QComboBox* makeInputBox(QWidget* parent, QLabel* label)
{
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    box->setAccessibleName(withoutAccelerator(label->text()));
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

MainWindow::MainWindow(const QString& configFile, QWidget* parent)
    : QMainWindow(parent), m_store(std::make_unique<SettingsStore>(configFile))
{
    m_store->loadOptions(m_options);
    m_store->loadMainWindow(m_saved);
    m_model = new ResultsModel(this);
    m_host = std::make_unique<GuiRunHost>(this);
    m_controller = std::make_unique<RunController>(*m_host, *m_model);
    buildControls();
    loadInputs();
    buildMenus();
    connect(m_controller.get(), &RunController::runFinished, this, &MainWindow::onRunFinished);
    connect(m_host.get(), &GuiRunHost::progressChanged, m_status, &QLabel::setText);
    connect(m_host.get(), &GuiRunHost::titleChanged, this, [this](const QString& t) {
        if (running())
            setWindowTitle(t);
    });
    setWindowTitle(QString::fromLatin1(kIdleTitle));
    setMinimumSize(550, 400);
    resize(760, 520);
    // A user starts by typing what to look for.
    m_searchBox->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout;
    const auto addInput = [&](int row, const QString& text) {
        auto* label = new QLabel(text, central);
        QComboBox* box = makeInputBox(central, label);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        return box;
    };
    m_searchBox = addInput(0, QStringLiteral("Search Strin&g:"));
    m_replaceBox = addInput(1, QStringLiteral("Rep&lace:"));
    m_maskBox = addInput(2, QStringLiteral("&File Mask:"));
    m_pathBox = addInput(3, QStringLiteral("&Path:"));

    m_searchButton = new QPushButton(QStringLiteral("Search"), central);
    m_replaceButton = new QPushButton(QStringLiteral("Replace"), central);
    m_searchButton->setAccessibleName(QStringLiteral("Search"));
    m_replaceButton->setAccessibleName(QStringLiteral("Replace"));
    m_searchButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_replaceButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    m_searchButton->setDefault(true);
    // Replace is never offered when the settings forbid it.
    m_replaceButton->setEnabled(!m_saved.noReplace);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_searchButton);
    buttons->addWidget(m_replaceButton);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 4, 1);

    m_caseSensitive = makeFlag(central, QStringLiteral("&Case Sensitive"));
    m_wholeWord = makeFlag(central, QStringLiteral("&Whole Word Match"));
    m_regularExpression = makeFlag(central, QStringLiteral("Regular E&xpression"));
    m_subdirectories = makeFlag(central, QStringLiteral("Search &Subdirectories"));
    auto* flags = new QHBoxLayout;
    for (QCheckBox* flag : {m_caseSensitive, m_wholeWord, m_regularExpression, m_subdirectories})
        flags->addWidget(flag);
    flags->addStretch();
    // Whole-word matching does not apply to regular expressions.
    connect(m_regularExpression, &QCheckBox::toggled, m_wholeWord, [this](bool on) {
        m_wholeWord->setEnabled(!on && !running());
    });

    auto* resultsLabel = new QLabel(QStringLiteral("Search Res&ults:"), central);
    m_resultsList = new QListView(central);
    m_resultsList->setModel(m_model);
    // Every line has the same height, so a million lines scroll without measuring each.
    m_resultsList->setUniformItemSizes(true);
    // Lays out new rows in steps, so a long list grows without re-measuring it whole.
    m_resultsList->setLayoutMode(QListView::Batched);
    m_resultsList->setBatchSize(10000);
    m_resultsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_resultsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* delegate = new ResultsDelegate(m_resultsList);
    delegate->setColors(m_options.stringColor, m_options.fileColor);
    m_host->setColors(m_options.stringColor, m_options.fileColor);
    m_resultsList->setItemDelegate(delegate);
    m_resultsList->setAccessibleName(withoutAccelerator(resultsLabel->text()));
    resultsLabel->setBuddy(m_resultsList);

    m_status = new QLabel(QStringLiteral("Ready"), central);
    m_status->setAccessibleName(QStringLiteral("Progress"));

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(grid);
    layout->addLayout(flags);
    layout->addWidget(resultsLabel);
    layout->addWidget(m_resultsList, 1);
    layout->addWidget(m_status);
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
}

void MainWindow::loadInputs()
{
    const MainInputs& in = m_saved.inputs;
    const auto fill = [&](QComboBox* box, const char* name, const std::string& current) {
        const RecentItems recent = m_store->loadRecentItems(name, m_options.maxItemsSaved);
        for (const std::string& item : recent.items)
            box->addItem(toQt(item));
        box->setEditText(toQt(current));
    };
    fill(m_searchBox, "Search_string", in.searchText);
    fill(m_replaceBox, "Replace_string", in.replaceText);
    fill(m_maskBox, "Mask", in.mask);
    fill(m_pathBox, "Path", in.path);
    m_caseSensitive->setChecked(in.caseSensitive);
    m_wholeWord->setChecked(in.wholeWord);
    m_regularExpression->setChecked(in.regularExpression);
    m_wholeWord->setEnabled(!in.regularExpression);
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
    m_options.searchSubdirs = m_subdirectories->isChecked();
}

void MainWindow::showMessage(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kIdleTitle), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::runCommand(bool replaceMode)
{
    if (running()) {
        if (replaceMode == m_replaceRun)
            stopRun();
        return;
    }
    if (replaceMode && m_saved.noReplace)
        return;
    takeInputs();
    if (const auto problem = checkInputs(m_saved.inputs, replaceMode, m_options)) {
        showMessage(toQt(*problem));
        return;
    }
    if (replaceMode && m_options.writeToBackupDir && m_options.backupPath.empty()) {
        showMessage(QStringLiteral(
            "You must specify a backup directory when using the Write to Backup Dir Option."));
        return;
    }
    SearchRequest request = buildRunRequest(
        {m_saved.inputs, m_options, m_saved, replaceMode, /*unattended=*/false, m_saved.quietMode});
    m_model->clear();
    if (!m_controller->start(std::move(request), m_options.beforeHit, m_options.afterHit))
        return;
    setRunning(true, replaceMode);
}

void MainWindow::stopRun()
{
    if (running()) {
        m_status->setText(QStringLiteral("Stopping..."));
        m_controller->requestStop();
    }
}

void MainWindow::setRunning(bool active, bool replaceMode)
{
    m_replaceRun = active && replaceMode;
    QPushButton* own = replaceMode ? m_replaceButton : m_searchButton;
    QPushButton* other = replaceMode ? m_searchButton : m_replaceButton;
    own->setText(active ? QStringLiteral("Stop") : (replaceMode ? QStringLiteral("Replace") : QStringLiteral("Search")));
    own->setAccessibleName(own->text());
    // The shortcut of the command stays on its button, which is now the stop button.
    own->setShortcut(QKeySequence(Qt::CTRL | (replaceMode ? Qt::Key_H : Qt::Key_F)));
    other->setEnabled(!active && !(other == m_replaceButton && m_saved.noReplace));
    for (QWidget* w : std::initializer_list<QWidget*>{m_searchBox, m_replaceBox, m_maskBox, m_pathBox,
                                                     m_caseSensitive, m_regularExpression, m_subdirectories})
        w->setEnabled(!active);
    m_wholeWord->setEnabled(!active && !m_regularExpression->isChecked());
    if (active)
        m_status->setText(QStringLiteral("Searching..."));
    updateCommands();
}

void MainWindow::onRunFinished(RunOutcome outcome)
{
    setRunning(false, m_replaceRun);
    setWindowTitle(QString::fromLatin1(kIdleTitle));
    m_status->setText(outcome == RunOutcome::Stopped ? QStringLiteral("Stopped") : QStringLiteral("Ready"));
    emit runEnded(outcome);
    if (m_closeAfterRun)
        close();
}

void MainWindow::saveSettings()
{
    takeInputs();
    m_store->saveMainWindow(m_saved);
    m_store->saveOptions(m_options);
    m_store->sync();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (running()) {
        // The run stops first (an open question resolves as Cancel); the window closes
        // when it has returned.
        m_closeAfterRun = true;
        stopRun();
        event->ignore();
        return;
    }
    saveSettings();
    event->accept();
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
    auto add = [this](QMenu* menu, const char* text) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setEnabled(false); // built commands enable themselves in updateCommands()
        return a;
    };
    QMenu* actions = menuBar()->addMenu(QStringLiteral("&Actions"));
    m_searchAction = add(actions, "&Search\tCtrl+F");
    m_replaceAction = add(actions, "&Replace\tCtrl+H");
    add(actions, "&Touch...\tCtrl+T");
    add(actions, "&File Operations...");
    actions->addSeparator();
    m_exitAction = add(actions, "E&xit");
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    m_copyAction = add(edit, "&Copy Search Results");
    add(edit, "&Print Search Results");
    m_htmlAction = add(edit, "View Results as &HTML");
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    add(view, "&Open with Associated Viewer");
    add(view, "Open with &Default Viewer");
    add(view, "Open &with ...");
    add(view, "&Context");
    view->addSeparator();
    add(view, "&Customize Toolbar...");
    add(view, "&Script...");
    add(view, "Op&tions...");
    QMenu* flagsMenu = menuBar()->addMenu(QStringLiteral("F&lags"));
    // The first four toggles mirror the check boxes; the last two are kept in the inputs.
    const struct {
        const char* text;
        QCheckBox* box;
        bool MainInputs::*field;
    } flags[] = {
        {"&Case Sensitive", m_caseSensitive, nullptr},
        {"&Search Subdirectories", m_subdirectories, nullptr},
        {"&Whole Word Match", m_wholeWord, nullptr},
        {"&Regular Expression", m_regularExpression, nullptr},
        {"Search &ZIP Files", nullptr, &MainInputs::searchZips},
        {"&Ignore Whitespace", nullptr, &MainInputs::ignoreWhitespace},
    };
    for (const auto& f : flags) {
        QAction* a = flagsMenu->addAction(QString::fromUtf8(f.text));
        a->setCheckable(true);
        if (f.box) {
            a->setChecked(f.box->isChecked());
            connect(a, &QAction::toggled, f.box, &QCheckBox::setChecked);
            connect(f.box, &QCheckBox::toggled, a, &QAction::setChecked);
            connect(f.box, &QCheckBox::toggled, this, &MainWindow::updateCommands);
        } else {
            a->setChecked(m_saved.inputs.*f.field);
            connect(a, &QAction::toggled, this, [this, field = f.field](bool on) { m_saved.inputs.*field = on; });
        }
        m_flagActions.push_back(a);
    }
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, "&Contents\tF1");
    add(help, "&Search");
    add(help, "&About");

    connect(m_searchAction, &QAction::triggered, this, [this] { runCommand(false); });
    connect(m_replaceAction, &QAction::triggered, this, [this] { runCommand(true); });
    connect(m_exitAction, &QAction::triggered, this, &MainWindow::close);
    connect(m_copyAction, &QAction::triggered, this, &MainWindow::copyResults);
    connect(m_htmlAction, &QAction::triggered, this, &MainWindow::viewResultsAsHtml);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateCommands);
    connect(m_model, &QAbstractItemModel::modelReset, this, &MainWindow::updateCommands);
    updateCommands();
}

void MainWindow::updateCommands()
{
    if (!m_searchAction)
        return; // the menus are not built yet
    const bool active = running();
    const bool hasResults = m_model->rowCount() > 0;
    m_searchAction->setEnabled(!active || !m_replaceRun);
    m_replaceAction->setEnabled(!m_saved.noReplace && (!active || m_replaceRun));
    m_exitAction->setEnabled(!active);
    m_copyAction->setEnabled(!active && hasResults);
    m_htmlAction->setEnabled(!active && hasResults);
    for (int i = 0; i < m_flagActions.size(); ++i) {
        bool enabled = !active;
        // Whole word and ignore whitespace do not apply to regular expressions.
        if (i == 2 || i == 5)
            enabled = enabled && !m_regularExpression->isChecked();
        m_flagActions[i]->setEnabled(enabled);
    }
}

bool MainWindow::writeResultsPage(const std::string& path)
{
    if (writeHtmlPage(*m_model, m_controller->runHeading(), path))
        return true;
    showMessage(QStringLiteral("Error writing file ") + toQt(path));
    return false;
}

void MainWindow::viewResultsAsHtml()
{
    if (m_model->rowCount() == 0)
        return;
    // The page lives in the data directory and is overwritten each time.
    const std::string path = dataDirectory() + "TwOut.htm";
    if (writeResultsPage(path))
        QDesktopServices::openUrl(QUrl::fromLocalFile(toQt(path)));
}

} // namespace tw
