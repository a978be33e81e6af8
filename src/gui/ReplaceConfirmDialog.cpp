#include "gui/ReplaceConfirmDialog.h"

#include "engine/CharClasses.h"
#include "gui/QuestionDialog.h"
#include "gui/ResultsDelegate.h"
#include "gui/ResultsModel.h"
#include "results/ResultText.h"

#include <QGridLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace tw {

std::optional<QPoint> ReplaceConfirmDialog::s_lastPosition;

namespace {

// Run texts are in the active code page, as the results model decodes them.
QString decodeRunText(const std::string& bytes)
{
    const auto n = static_cast<qsizetype>(bytes.size());
    return activeCharClasses().kind == CodePageKind::Utf8 ? QString::fromUtf8(bytes.data(), n)
                                                          : QString::fromLatin1(bytes.data(), n);
}

QString colorName(uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF))
        .name();
}

QString changeHtml(const HitChange& change, uint32_t foundColor)
{
    const QString color = colorName(foundColor);
    QString html = QStringLiteral("<span style=\"white-space:pre\">") + decodeRunText(change.before).toHtmlEscaped();
    if (change.foundKnown)
        html += QStringLiteral("<s><span style=\"color:%1\">%2</span></s>")
                    .arg(color, decodeRunText(change.found).toHtmlEscaped());
    html += QStringLiteral("<b><span style=\"color:%1\">%2</span></b>")
                .arg(color, decodeRunText(change.replacement).toHtmlEscaped());
    html += decodeRunText(change.after).toHtmlEscaped() + QStringLiteral("</span>");
    return html;
}

} // namespace

ReplaceConfirmDialog::ReplaceConfirmDialog(std::vector<ResultEntry> heldBack, const std::string& questionLine,
                                           uint32_t foundColor, uint32_t fileColor, QWidget* parent)
    : QDialog(parent), m_model(new ResultsModel(this)), m_list(new QListView(this)), m_change(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Replace Confirmation"));
    setModal(true);

    // The current hit's line is the last held-back line when hit lines are shown.
    const ResultEntry* hitLine = heldBack.empty() ? nullptr : &heldBack.back();
    m_change->setTextFormat(Qt::RichText);
    m_change->setText(changeHtml(hitChange(questionLine, hitLine), foundColor));
    m_change->setAccessibleName(QStringLiteral("Change"));
    m_change->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    ResultEntry question;
    question.text = questionLine;
    question.kind = LineKind::Hit;
    heldBack.push_back(std::move(question));
    m_model->appendLines(heldBack);
    heldBack.clear();

    auto* delegate = new ResultsDelegate(m_list);
    delegate->setColors(foundColor, fileColor);
    m_list->setItemDelegate(delegate);
    m_list->setModel(m_model);
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setAccessibleName(QStringLiteral("Lines of the file"));
    const QModelIndex last = m_model->index(m_model->rowCount() - 1);
    m_list->setCurrentIndex(last);

    auto* changeCaption = new QLabel(QStringLiteral("Change:"), this);
    changeCaption->setAccessibleName(QStringLiteral("Change:"));

    auto* buttons = new QGridLayout;
    const std::vector<Answer> answers = QuestionDialog::answers(Question::ReplaceHit);
    for (size_t i = 0; i < answers.size(); ++i) {
        const Answer a = answers[i];
        auto* b = new QPushButton(QuestionDialog::label(a), this);
        b->setAccessibleName(QuestionDialog::label(a).remove(QLatin1Char('&')));
        connect(b, &QPushButton::clicked, this, [this, a] {
            m_answer = a;
            if (a == Answer::CancelRemaining)
                reject();
            else
                accept();
        });
        // The replace answers on the first row, the skip answers and Cancel on the second.
        buttons->addWidget(b, static_cast<int>(i / 4), static_cast<int>(i % 4));
        m_buttons.emplace_back(b, a);
    }
    QPushButton* replaceThis = button(Answer::ReplaceThis);
    replaceThis->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(changeCaption);
    layout->addWidget(m_change);
    layout->addLayout(buttons);
    resize(760, 420);
    replaceThis->setFocus();
}

QPushButton* ReplaceConfirmDialog::button(Answer answer) const
{
    for (const auto& [b, a] : m_buttons)
        if (a == answer)
            return b;
    return nullptr;
}

QString ReplaceConfirmDialog::changeText() const { return m_change->text(); }

void ReplaceConfirmDialog::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        if (s_lastPosition) {
            move(*s_lastPosition);
        } else if (QWidget* p = parentWidget()) {
            const QRect area = p->window()->frameGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::showEvent(event);
    button(Answer::ReplaceThis)->setFocus();
    // The question line is selected, and scrolled into view once the list has its size.
    const QModelIndex last = m_model->index(m_model->rowCount() - 1);
    m_list->selectionModel()->select(last, QItemSelectionModel::ClearAndSelect);
    QTimer::singleShot(0, this, [this] {
        m_list->scrollTo(m_model->index(m_model->rowCount() - 1), QAbstractItemView::PositionAtBottom);
    });
}

void ReplaceConfirmDialog::done(int result)
{
    if (m_placed)
        s_lastPosition = pos();
    // Escape, the close box and a stop reject the dialog: the run is cancelled.
    if (result != QDialog::Accepted)
        m_answer = Answer::CancelRemaining;
    QDialog::done(result);
}

} // namespace tw
