#pragma once
#include "core/RunHost.h"

#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
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
    std::string defaultPrinter() override { return printer; }
    void printFile(const std::string& path, const std::string& on) override
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        printed.push_back({path, on, content.str()});
    }
    std::vector<std::string> messages, questions;
    std::string printer; // the default printer; empty: none
    struct Printed {
        std::string path, printer, content;
    };
    std::vector<Printed> printed;
    std::deque<Answer> answers;
    int pumps = 0;
    std::function<void()> onPump;
};

} // namespace tw::test
