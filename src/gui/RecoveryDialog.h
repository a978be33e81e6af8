#pragma once
// The start-up dialog for rewrites a crash interrupted: it names each file that may be
// incomplete and the copy of its earlier content, and offers to put the files back from
// their copies ("Restore", as tarnwick-cli --recover), to keep the files as they are and
// forget the copies ("Discard", as tarnwick-cli --discard-recovery), or to decide later
// (nothing changes; such files are not replaced again until then). The outcome of
// Restore or Discard is shown in a message box, every failure named.
#include "core/RecoveryList.h"

#include <QDialog>

#include <string>
#include <vector>

class QPushButton;
class QTreeWidget;

namespace tw {

class RecoveryDialog final : public QDialog {
    Q_OBJECT
public:
    RecoveryDialog(std::vector<RecoveryEntry> pending, std::string dataDir, QWidget* parent = nullptr,
                   FileSystem& fs = realFileSystem(), FileOps& ops = realFileOps());

    // Opens the dialog over `parent` (without waiting) when `dataDir` has pending entries;
    // returns it, or null when nothing is pending. It deletes itself when closed.
    static RecoveryDialog* offerPending(QWidget* parent, const std::string& dataDir);

    QPushButton* restoreButton() const { return m_restore; }
    QPushButton* discardButton() const { return m_discard; }
    QPushButton* laterButton() const { return m_later; }
    // The outcome of the last Restore or Discard: one line per entry, as the core reports it.
    const std::vector<std::string>& outcome() const { return m_outcome; }

signals:
    // Restore or Discard has been carried out; `ok` is false when anything failed.
    void handled(bool ok);

private:
    void carryOut(bool restore);

    std::string m_dataDir; // ends with "/"
    FileSystem& m_fs;
    FileOps& m_ops;
    QTreeWidget* m_files;
    QPushButton* m_restore;
    QPushButton* m_discard;
    QPushButton* m_later;
    std::vector<std::string> m_outcome;
};

} // namespace tw
