#include "gui/QuestionDialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>

namespace tw {
namespace {

QAbstractButton* buttonFor(QuestionDialog& dialog, Answer answer)
{
    for (QAbstractButton* b : dialog.buttons())
        if (b->text() == QuestionDialog::label(answer))
            return b;
    return nullptr;
}

TEST(QuestionDialog, EachButtonGivesItsAnswerAndClosingGivesTheClosingAnswer)
{
    struct Case {
        Question kind;
        std::vector<Answer> answers;
        Answer closing;
    };
    const Case cases[] = {
        {Question::YesNo, {Answer::Yes, Answer::No}, Answer::No},
        {Question::YesNoCancel, {Answer::Yes, Answer::No, Answer::Cancel}, Answer::Cancel},
        {Question::ReadOnly, {Answer::Yes, Answer::YesToAll, Answer::No, Answer::Cancel}, Answer::Cancel},
        {Question::ReplaceHit,
         {Answer::ReplaceThis, Answer::ReplaceRestInFile, Answer::ReplaceAllRemaining, Answer::ReplaceRestInDir,
          Answer::SkipThis, Answer::SkipRestOfFile, Answer::SkipRestInDir, Answer::CancelRemaining},
         Answer::CancelRemaining},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        EXPECT_EQ(QuestionDialog::answers(c.kind), c.answers);
        for (const Answer a : c.answers) {
            QuestionDialog dialog(c.kind, "Replace?", QString());
            dialog.open();
            QAbstractButton* button = buttonFor(dialog, a);
            ASSERT_NE(button, nullptr);
            QTest::mouseClick(button, Qt::LeftButton);
            EXPECT_EQ(dialog.answer(), a);
        }
        QuestionDialog dialog(c.kind, "Replace?", QString());
        dialog.open();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.answer(), c.closing);
    }
}

} // namespace
} // namespace tw
