#pragma once
#include "core/RunHost.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tw::test {

// Records messages and answers questions from a script of answers (Cancel when empty).
class FakeHost : public RunHost {
public:
    void message(const std::string& text, bool) override { messages.push_back(text); }
    Answer ask(Question, const std::string& text, const HeldBackLines&) override
    {
        questions.push_back(text);
        if (answers.empty())
            return Answer::Cancel;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void pump() override
    {
        ++pumps;
        if (onPump)
            onPump();
    }
    std::vector<std::string> messages, questions;
    std::deque<Answer> answers;
    int pumps = 0;
    std::function<void()> onPump;
};

} // namespace tw::test
