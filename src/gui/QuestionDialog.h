#pragma once
// The message box of a run's question: the text, the detail lines when there are any, and
// one button per answer of the question's answer set. The run host shows the per-file
// question (Yes, No, Cancel) and "Confirmation Required" (read-only files and the special
// operations) with it; the per-hit question has ReplaceConfirmDialog.
#include "core/RunHost.h"

#include <QMessageBox>

#include <vector>

namespace tw {

class QuestionDialog final : public QMessageBox {
    Q_OBJECT
public:
    QuestionDialog(tw::Question kind, const QString& text, const QString& detail, QWidget* parent = nullptr);

    // The answer of the button that closed the dialog; closingAnswer() when it was closed
    // another way (Escape, the close box, or a stop).
    Answer answer() const;

    // The answers offered for `kind`, in button order.
    static std::vector<Answer> answers(tw::Question kind);
    // The button text of an answer.
    static QString label(Answer answer);
    // What a question resolves to when it is closed without an answer: Cancel, or No
    // where there is no Cancel, or Cancel Remaining for the per-hit question.
    static Answer closingAnswer(tw::Question kind);

private:
    tw::Question m_kind; // QMessageBox::Question would hide the unqualified name
    std::vector<std::pair<QAbstractButton*, Answer>> m_buttons; // one per offered answer
};

} // namespace tw
