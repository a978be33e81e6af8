#include "gui/RecoveryDialog.h"
#include "gui/TitleFit.h"

#include "results/ResultEntry.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tw {

namespace {

QString fromRun(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Where the earlier content of an entry is kept, as the start-up notice describes it.
QString copyText(const RecoveryEntry& e)
{
    QString text = fromRun(displayName(e.safetyCopy));
    if (!e.copyExists)
        return text + QStringLiteral(" (missing)");
    if (e.copyLength >= 0)
        text += QStringLiteral(" (bytes %1 to %2)").arg(e.copyOffset).arg(e.copyOffset + e.copyLength);
    return text;
}

} // namespace

RecoveryDialog::RecoveryDialog(std::vector<RecoveryEntry> pending, std::string dataDir, QWidget* parent,
                               FileSystem& fs, FileOps& ops)
    : QDialog(parent), m_dataDir(std::move(dataDir)), m_fs(fs), m_ops(ops), m_files(new QTreeWidget(this)),
      m_restore(new QPushButton(QStringLiteral("&Restore Files"), this)),
      m_discard(new QPushButton(QStringLiteral("&Discard Copies"), this)),
      m_later(new QPushButton(QStringLiteral("Decide &Later"), this))
{
    setWindowTitle(QStringLiteral("Interrupted Rewrites"));
    auto* intro = new QLabel(
        QStringLiteral("The program ended while it was rewriting these files, so each may be incomplete. "
                       "Its content from before the rewrite is kept in the copy named beside it.\n\n"
                       "Restore Files puts every file back from its copy. Discard Copies keeps the files "
                       "as they are and deletes the safety copies (backups stay). Until you choose one, "
                       "these files are not replaced again."),
        this);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    intro->setAccessibleName(QStringLiteral("Interrupted rewrites"));

    m_files->setColumnCount(2);
    m_files->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Copy of its earlier content")});
    m_files->setRootIsDecorated(false);
    m_files->setAccessibleName(QStringLiteral("Files"));
    for (const RecoveryEntry& e : pending) {
        auto* item = new QTreeWidgetItem(m_files, {fromRun(displayName(e.original)), copyText(e)});
        item->setToolTip(0, fromRun(displayName(e.original)));
        item->setToolTip(1, fromRun(displayName(e.safetyCopy)));
    }
    m_files->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    for (QPushButton* b : {m_restore, m_discard, m_later})
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_restore, QDialogButtonBox::AcceptRole);
    buttons->addButton(m_discard, QDialogButtonBox::DestructiveRole);
    buttons->addButton(m_later, QDialogButtonBox::RejectRole);
    m_later->setDefault(true);
    connect(m_restore, &QPushButton::clicked, this, [this] { carryOut(true); });
    connect(m_discard, &QPushButton::clicked, this, [this] { carryOut(false); });
    connect(m_later, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_files, 1);
    layout->addWidget(buttons);
    resize(720, 320);
}

void RecoveryDialog::carryOut(bool restore)
{
    m_outcome.clear();
    const bool ok = restore ? recoverPending(m_fs, m_ops, m_dataDir, &m_outcome)
                            : discardPending(m_fs, m_ops, m_dataDir, &m_outcome);
    if (m_outcome.empty())
        m_outcome.push_back("No interrupted rewrite is pending.");
    QString text;
    for (const std::string& line : m_outcome)
        text += fromRun(line) + QLatin1Char('\n');
    text.chop(1);
    auto* box = new QMessageBox(ok ? QMessageBox::Information : QMessageBox::Warning,
                                restore ? QStringLiteral("Restore Files") : QStringLiteral("Discard Copies"), text,
                                QMessageBox::Ok, parentWidget());
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    fitTitle(*box);
    box->open();
    emit handled(ok);
    accept();
}

RecoveryDialog* RecoveryDialog::offerPending(QWidget* parent, const std::string& dataDir)
{
    if (dataDir.empty())
        return nullptr;
    std::vector<RecoveryEntry> pending = pendingRecoveries(dataDir);
    if (pending.empty())
        return nullptr;
    auto* dialog = new RecoveryDialog(std::move(pending), dataDir, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

} // namespace tw
