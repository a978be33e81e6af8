#pragma once
// The per-hit dialog "Replace Confirmation" of a replace run: the lines held back so far for
// the current file, in the style of the results list, followed by the question line
// (selected); below them the change itself (the found text struck through, the
// replacement beside it); and the eight answers. "&Replace This" has the focus and is the
// default; "&Cancel Remaining", Escape and the close box cancel the run.
#include "core/RunHost.h"
#include "results/ResultEntry.h"

#include <QDialog>
#include <QPoint>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QListView;
class QPushButton;

namespace tw {

class ResultsModel;

class ReplaceConfirmDialog final : public QDialog {
    Q_OBJECT
public:
    // The most held-back lines handed to the dialog for one question (see HeldBackTail).
    static constexpr size_t kMaxLines = 2000;

    // `heldBack`: the file's lines, bounded; `questionLine`: the marked question line.
    // Colours as the options keep them (0x00BBGGRR).
    ReplaceConfirmDialog(std::vector<ResultEntry> heldBack, const std::string& questionLine, uint32_t foundColor,
                         uint32_t fileColor, QWidget* parent = nullptr);

    // The answer of the button that closed the dialog; CancelRemaining when it was closed
    // another way.
    Answer answer() const { return m_answer; }
    // The button of an answer (tests press them).
    QPushButton* button(Answer answer) const;
    // The list's lines: the held-back lines and the question line last.
    const ResultsModel& lines() const { return *m_model; }
    QListView* list() const { return m_list; }
    // The change as shown below the list (rich text).
    QString changeText() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Answer m_answer = Answer::CancelRemaining; // set by an answer button before it closes the dialog
    ResultsModel* m_model;
    QListView* m_list;
    QLabel* m_change;
    std::vector<std::pair<QPushButton*, Answer>> m_buttons; // the eight, in the order of QuestionDialog::answers
    bool m_placed = false; // the first show has placed the dialog

    // Where the dialog's top-left corner was when it last closed, for the program's life;
    // unset until the first dialog closes.
    static std::optional<QPoint> s_lastPosition;
};

} // namespace tw
