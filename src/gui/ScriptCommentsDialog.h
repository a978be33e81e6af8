#pragma once
// "Script Comments": the two comments of one search/replace pair of a script.
#include <QDialog>

class QLineEdit;

namespace tw {

class ScriptCommentsDialog final : public QDialog {
    Q_OBJECT
public:
    ScriptCommentsDialog(const QString& searchComment, const QString& replaceComment, QWidget* parent = nullptr);

    QString searchComment() const;
    QString replaceComment() const;

private:
    QLineEdit* m_search = nullptr;
    QLineEdit* m_replace = nullptr;
};

} // namespace tw
