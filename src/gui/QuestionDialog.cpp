#include "gui/QuestionDialog.h"
#include "gui/TitleFit.h"

#include <QAbstractButton>
#include <QPushButton>

namespace tw {

std::vector<Answer> QuestionDialog::answers(tw::Question kind)
{
    switch (kind) {
    case Question::YesNo:
        return {Answer::Yes, Answer::No};
    case Question::YesNoCancel:
        return {Answer::Yes, Answer::No, Answer::Cancel};
    case Question::ReadOnly:
        return {Answer::Yes, Answer::YesToAll, Answer::No, Answer::Cancel};
    case Question::ReplaceHit:
        return {Answer::ReplaceThis, Answer::ReplaceRestInFile, Answer::ReplaceAllRemaining,
                Answer::ReplaceRestInDir, Answer::SkipThis, Answer::SkipRestOfFile,
                Answer::SkipRestInDir, Answer::CancelRemaining};
    }
    return {Answer::Cancel};
}

QString QuestionDialog::label(Answer answer)
{
    switch (answer) {
    case Answer::Yes: return QStringLiteral("&Yes");
    case Answer::No: return QStringLiteral("&No");
    case Answer::Cancel: return QStringLiteral("Cancel");
    case Answer::YesToAll: return QStringLiteral("Yes to &All");
    case Answer::ReplaceThis: return QStringLiteral("&Replace This");
    case Answer::ReplaceRestInFile: return QStringLiteral("Repl. Re&st In File");
    case Answer::ReplaceAllRemaining: return QStringLiteral("Repl. &All Remaining");
    case Answer::ReplaceRestInDir: return QStringLiteral("Repl. Rest In &Dir");
    case Answer::SkipThis: return QStringLiteral("S&kip This");
    case Answer::SkipRestOfFile: return QStringLiteral("Skip Rest of &File");
    case Answer::SkipRestInDir: return QStringLiteral("Skip Res&t in Dir.");
    case Answer::CancelRemaining: return QStringLiteral("&Cancel Remaining");
    }
    return {};
}

Answer QuestionDialog::closingAnswer(tw::Question kind)
{
    switch (kind) {
    case Question::YesNo:
        return Answer::No;
    case Question::ReplaceHit:
        return Answer::CancelRemaining;
    default:
        return Answer::Cancel;
    }
}

QuestionDialog::QuestionDialog(tw::Question kind, const QString& text, const QString& detail, QWidget* parent)
    : QMessageBox(parent), m_kind(kind)
{
    setWindowTitle(kind == Question::ReplaceHit    ? QStringLiteral("Replace Confirmation")
                   : kind == Question::ReadOnly    ? QStringLiteral("Confirmation Required")
                                                   : QStringLiteral("Tarnwick"));
    setIcon(QMessageBox::Question);
    fitTitle(*this);
    // File names are shown as they are, never taken for markup.
    setTextFormat(Qt::PlainText);
    setText(text);
    if (!detail.isEmpty())
        setDetailedText(detail);
    for (const Answer a : answers(kind)) {
        const bool cancels = a == closingAnswer(kind);
        QPushButton* button = addButton(label(a), cancels ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        button->setAccessibleName(label(a).remove(QLatin1Char('&')));
        m_buttons.emplace_back(button, a);
        if (cancels)
            setEscapeButton(button);
    }
    setDefaultButton(static_cast<QPushButton*>(m_buttons.front().first));
}

Answer QuestionDialog::answer() const
{
    for (const auto& [button, a] : m_buttons)
        if (clickedButton() == button)
            return a;
    return closingAnswer(m_kind);
}

} // namespace tw
