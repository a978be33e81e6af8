#include "gui/PreviewWindow.h"

#include "gui/AccessibleName.h"
#include "gui/PatchFilesModel.h"
#include "gui/PatchLineDelegate.h"
#include "gui/PatchLinesModel.h"
#include "gui/WindowGeometry.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <cstring>

namespace tw {
namespace {

constexpr int kMinWidth = 600;
constexpr int kMinHeight = 400;

QPushButton* button(const QString& text, QWidget* parent)
{
    auto* b = named(new QPushButton(text, parent), text);
    b->setAutoDefault(false);
    return b;
}

} // namespace

PreviewWindow::PreviewWindow(const std::string& patchPath, std::vector<PreviewedFile> files, QRect saved,
                             QWidget* parent)
    : QDialog(parent), m_files(std::move(files))
{
    setWindowTitle(QStringLiteral("Preview Replace"));
    setModal(false);
    setMinimumSize(kMinWidth, kMinHeight);
    m_message = [this](const QString& text) { QMessageBox::warning(this, QStringLiteral("Tarnwick"), text); };
    m_askOverwrite = [this](const QString& target) {
        return QMessageBox::question(this, QStringLiteral("Save Patch"),
                                     QStringLiteral("%1 already exists. Replace it?").arg(target),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               == QMessageBox::Yes;
    };
    m_chooseTarget = [this] {
        // The window asks before replacing a file itself, the same way whichever dialog
        // the platform shows.
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Patch"), QDir::homePath(),
                                            QStringLiteral("Patches (*.diff *.patch);;All Files (*)"), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };

    m_loaded = m_index.open(patchPath);
    for (const PreviewedFile& f : m_files)
        m_index.setReplacements(f.rel, f.replacements);

    m_filesModel = new PatchFilesModel(m_index, this);
    m_linesModel = new PatchLinesModel(m_index, this);
    auto* filesLabel = new QLabel(QStringLiteral("Changed &files:"), this);
    m_fileList = makeFileList(filesLabel);

    auto* linesLabel = new QLabel(QStringLiteral("C&hanges:"), this);
    m_lines = named(new QListView(this), linesLabel->text());
    linesLabel->setBuddy(m_lines);
    m_lines->setModel(m_linesModel);
    m_lines->setItemDelegate(new PatchLineDelegate(m_lines));
    // One row height for all: the view then lays out and paints only the rows in view.
    m_lines->setUniformItemSizes(true);
    m_lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_lines->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_linesModel->setBaseColor(m_lines->palette().color(QPalette::Base));

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(filesLabel);
    leftLayout->addWidget(m_fileList, 1);
    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(linesLabel);
    rightLayout->addWidget(m_lines, 1);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({300, 600}); // room for the names of the files beside the changes

    m_replace = button(QStringLiteral("&Replace"), this);
    QPushButton* save = button(QStringLiteral("&Save Patch..."), this);
    QPushButton* close = button(QStringLiteral("&Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_replace);
    buttons->addWidget(save);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(m_replace, &QPushButton::clicked, this, &PreviewWindow::replaceRequested);
    connect(save, &QPushButton::clicked, this, &PreviewWindow::saveAs);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_fileList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { m_linesModel->setSection(current.isValid() ? current.row() : -1); });

    const QRect placed = placedRect(saved, QSize(900, 600), QSize(kMinWidth, kMinHeight));
    move(placed.topLeft());
    resize(placed.size());
    m_replace->setEnabled(m_loaded && !m_files.empty());
    save->setEnabled(m_loaded);
    if (m_filesModel->rowCount() > 0)
        selectFile(0);
    m_fileList->setFocus();
}

PreviewWindow::~PreviewWindow() = default;

QTableView* PreviewWindow::makeFileList(QLabel* label)
{
    auto* list = named(new QTableView(this), label->text());
    label->setBuddy(list);
    list->setModel(m_filesModel);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setShowGrid(false);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setSectionResizeMode(PatchFilesModel::FileColumn, QHeaderView::Stretch);
    list->horizontalHeader()->setSectionResizeMode(PatchFilesModel::ReplacementsColumn, QHeaderView::ResizeToContents);
    list->horizontalHeader()->setSectionResizeMode(PatchFilesModel::ChangesColumn, QHeaderView::ResizeToContents);
    list->setWordWrap(false);
    // Room on both sides of each cell, so that the right-aligned counts of neighbouring
    // columns do not run together and the last one does not touch the edge.
    list->setStyleSheet(QStringLiteral("QTableView::item { padding: 0px 6px; }"));
    return list;
}

void PreviewWindow::setReplaceEnabled(bool enabled)
{
    m_replace->setEnabled(enabled && m_loaded && !m_files.empty());
}

bool PreviewWindow::replaceEnabled() const
{
    return m_replace->isEnabled();
}

void PreviewWindow::selectFile(int row)
{
    m_fileList->setCurrentIndex(m_filesModel->index(row, PatchFilesModel::FileColumn));
}

bool PreviewWindow::savePatch(const QString& target)
{
    const QFileInfo info(target);
    const std::string dir = QDir::cleanPath(info.absolutePath()).toStdString() + "/";
    const std::string name = info.fileName().toStdString();
    FileStatus patch;
    const bool known = m_index.status(&patch);
    bool readFailed = false;
    const auto result = realFileOps().placeFile(dir, name, 0644, nullptr, known ? &patch : nullptr, [&](File& out) {
        readFailed = !m_index.copyTo(out);
        return !readFailed;
    });
    if (result == FileOps::PlaceResult::Done)
        return true;
    const int error = errno;
    QString why;
    if (result == FileOps::PlaceResult::DirectoryFailed)
        why = QStringLiteral("it is not a regular file, it is the patch itself, or its folder cannot be written");
    else if (readFailed)
        why = QStringLiteral("the patch can no longer be read whole");
    else
        why = QString::fromLocal8Bit(std::strerror(error));
    m_message(QStringLiteral("The patch could not be saved as %1: %2.").arg(target, why));
    return false;
}

void PreviewWindow::saveAs()
{
    const QString target = m_chooseTarget();
    if (target.isEmpty())
        return;
    // An existing name is replaced only on a Yes; no answer is No.
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        if (!m_askOverwrite(target))
            return;
    savePatch(target);
}

void PreviewWindow::showRefusedFiles(const QStringList& files)
{
    if (files.isEmpty())
        return;
    m_message(QStringLiteral("Not replaced, changed since the preview:\n") + files.join(QLatin1Char('\n')));
}

void PreviewWindow::done(int result)
{
    // Close, Escape and the close box all end here.
    m_closedRect = (isMinimized() || isMaximized() || isFullScreen()) ? QRect() : QRect(pos(), size());
    QDialog::done(result);
}

} // namespace tw
