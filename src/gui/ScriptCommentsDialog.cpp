#include "gui/ScriptCommentsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {

ScriptCommentsDialog::ScriptCommentsDialog(const QString& searchComment, const QString& replaceComment,
                                           QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Script Comments"));
    auto* form = new QFormLayout;
    auto addField = [&](const QString& label, const QString& text) {
        auto* edit = new QLineEdit(text, this);
        edit->setAccessibleName(QString(label).remove(QLatin1Char('&')));
        edit->setMinimumWidth(360);
        auto* caption = new QLabel(label, this);
        caption->setBuddy(edit);
        form->addRow(caption, edit);
        return edit;
    };
    m_search = addField(QStringLiteral("&Search Comment:"), searchComment);
    m_replace = addField(QStringLiteral("&Replace Comment:"), replaceComment);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : box->buttons())
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(box);
    m_search->setFocus();
}

QString ScriptCommentsDialog::searchComment() const { return m_search->text(); }

QString ScriptCommentsDialog::replaceComment() const { return m_replace->text(); }

} // namespace tw
