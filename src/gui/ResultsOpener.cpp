#include "gui/ResultsOpener.h"

#include "app/LanguageTable.h"
#include "app/QtViewerSystem.h"
#include "app/SettingsStore.h"
#include "gui/ContextWindow.h"
#include "gui/ResultsModel.h"
#include "gui/WindowGeometry.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QUrl>

namespace tw {
namespace {

std::string bytesOf(const QVariant& v)
{
    const QByteArray b = v.toByteArray();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString chooseProgram(QWidget* parent)
{
    QFileDialog chooser(parent, QStringLiteral("Select Viewer"), QStringLiteral("/usr/bin"));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilter(QStringLiteral("All Files (*)"));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return {};
    return chooser.selectedFiles().constFirst();
}

} // namespace

ResultsOpener::ResultsOpener(QWidget* window, QListView* list, ResultsModel& model, const ProgramOptions& options,
                             SettingsStore& store, MessageSink message)
    : m_window(window), m_list(list), m_model(model), m_options(options), m_store(store),
      m_message(std::move(message)), m_chooseProgram(chooseProgram)
{
    m_system = std::make_unique<QtViewerSystem>([](const std::string& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
    });
}

ResultsOpener::~ResultsOpener() = default;

void ResultsOpener::setViewerSystem(std::unique_ptr<ViewerSystem> system) { m_system = std::move(system); }

int ResultsOpener::currentRow() const
{
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() && current.row() < m_model.rowCount() ? current.row() : -1;
}

void ResultsOpener::show(const std::string& message)
{
    if (!message.empty())
        m_message(QString::fromStdString(message));
}

std::optional<ViewerTarget> ResultsOpener::viewerTarget(int row)
{
    if (row < 0)
        return std::nullopt;
    const LineKind kind = m_model.kindAt(row);
    if (kind != LineKind::File && kind != LineKind::Hit)
        return std::nullopt;
    const QModelIndex index = m_model.index(row);
    ViewerTarget target;
    target.path = bytesOf(index.data(ResultsModel::PathBytesRole));
    if (target.path.empty())
        return std::nullopt;
    if (kind == LineKind::Hit) {
        const ResultFields& f = m_model.fieldsAt(row);
        target.line = f.lineNumber;
        target.binary = f.binary;
        target.offset = f.fileOffset;
        target.length = f.hitLength;
    }
    // A member is copied out under a name of the program's own, and the viewer opens that.
    const std::string archive = bytesOf(index.data(ResultsModel::ArchivePathBytesRole));
    std::string file;
    const std::string error =
        viewerFile(target.path, archive, m_options, realFileSystem(), realFileOps(), dataDirectory(), &file);
    if (file.empty()) {
        show(error);
        return std::nullopt;
    }
    target.path = file;
    return target;
}

std::optional<ContextHit> ResultsOpener::contextHit(int row) const
{
    if (row < 0 || m_model.kindAt(row) != LineKind::Hit)
        return std::nullopt;
    const ResultFields& f = m_model.fieldsAt(row);
    if (f.binary || f.lineNumber <= 0)
        return std::nullopt;
    const QModelIndex index = m_model.index(row);
    ContextHit hit;
    hit.path = bytesOf(index.data(ResultsModel::PathBytesRole));
    hit.archivePath = bytesOf(index.data(ResultsModel::ArchivePathBytesRole));
    hit.line = f.lineNumber;
    hit.column = std::max(f.hitColumn, 0);
    hit.length = f.hitLength;
    hit.offset = f.fileOffset;
    return hit;
}

void ResultsOpener::openCurrent()
{
    const int row = currentRow();
    if (row < 0)
        return;
    if (m_model.kindAt(row) == LineKind::Hit) {
        if (m_model.fieldsAt(row).binary) {
            if (const auto target = viewerTarget(row))
                show(openBinaryViewer(*target, *m_system));
        } else {
            viewContext();
        }
    } else if (m_model.kindAt(row) == LineKind::File) {
        openAssociated();
    }
}

void ResultsOpener::openAssociated()
{
    if (const auto target = viewerTarget(currentRow()))
        show(tw::openAssociated(*target, m_options, realFileSystem(), *m_system));
}

void ResultsOpener::openDefaultViewer()
{
    if (const auto target = viewerTarget(currentRow()))
        show(tw::openDefaultViewer(*target, m_options, *m_system));
}

void ResultsOpener::openWithProgram()
{
    const int row = currentRow();
    if (row < 0 || (m_model.kindAt(row) != LineKind::File && m_model.kindAt(row) != LineKind::Hit))
        return;
    const QString program = m_chooseProgram(m_window);
    if (program.isEmpty())
        return;
    if (const auto target = viewerTarget(row))
        show(tw::openWithProgram(*target, program.toStdString(), *m_system));
}

std::optional<int> ResultsOpener::neighbourHit(int step) const
{
    for (int row = currentRow() + step; row >= 0 && row < m_model.rowCount(); row += step)
        if (contextHit(row))
            return row;
    return std::nullopt;
}

void ResultsOpener::viewContext()
{
    const std::optional<ContextHit> hit = contextHit(currentRow());
    if (!hit)
        return;
    ContextSettings settings;
    settings.contextLines = m_options.contextLines;
    settings.font = m_options.contextFont;
    settings.detectUtf16 = m_options.detectUtf16;
    settings.save = ContextSaveSettings{dataDirectory(), m_options.backupPath, m_runEnded};
    // The arrows move the list's current line to the neighbouring hit, which the window
    // then shows.
    ContextNeighbour neighbour = [this](int step, bool probe) -> std::optional<ContextHit> {
        const std::optional<int> row = neighbourHit(step);
        if (!row)
            return std::nullopt;
        if (!probe)
            m_list->setCurrentIndex(m_model.index(*row));
        return contextHit(*row);
    };
    ContextWindow window(*hit, settings, std::move(neighbour), fromStoredRect(m_store.loadWindowRect("View Context Position")),
                         m_window);
    if (!window.loaded()) {
        m_message(window.loadError());
        return;
    }
    window.exec();
    const QRect r = window.rectangleToSave();
    if (!r.isEmpty())
        m_store.saveWindowRect("View Context Position", toStoredRect(r));
}

} // namespace tw
