#include "core/ConfirmationState.h"

#include "engine/CharClasses.h"
#include "results/ResultText.h"

#include <cstdio>

namespace tw {

void ConfirmationState::startRun(int promptMode)
{
    m_promptMode = promptMode;
    m_replaceRestOfFile = false;
    m_skipRestOfFile = false;
    m_replaceAllRemaining = false;
    m_yesToAll = promptMode == kNoPrompts;
    m_cancelled = false;
    m_ruleKind = DirectoryRuleKind::None;
    m_ruleDirectory.clear();
}

DirDecision ConfirmationState::onFileStart(const std::string& filePath)
{
    if (m_ruleKind == DirectoryRuleKind::None)
        return DirDecision::Process;
    // Linux file names are case-sensitive, so directories are compared exactly: a rule
    // given for one directory must never spread to another that differs only in case.
    if (directoryOf(filePath) != m_ruleDirectory) {
        m_ruleKind = DirectoryRuleKind::None;
        m_ruleDirectory.clear();
        m_replaceAllRemaining = false;
        return DirDecision::Process;
    }
    if (m_ruleKind == DirectoryRuleKind::SkipRestInDir)
        return DirDecision::Skip;
    m_replaceAllRemaining = true;
    return DirDecision::Process;
}

void ConfirmationState::onFileOpened()
{
    m_replaceRestOfFile = false;
    m_skipRestOfFile = false;
}

bool ConfirmationState::decideHit(RunHost& host, const std::string& questionLine,
                                  const HeldBackLines& heldBackLines, const std::string& filePath)
{
    if (m_skipRestOfFile)
        return false;
    if (!hitNeedsAnswer())
        return true;
    switch (host.ask(Question::ReplaceHit, questionLine, heldBackLines)) {
    case Answer::ReplaceThis:
        return true;
    case Answer::ReplaceRestInFile:
        m_replaceRestOfFile = true;
        return true;
    case Answer::ReplaceAllRemaining:
        m_replaceAllRemaining = true;
        return true;
    case Answer::ReplaceRestInDir:
        m_replaceRestOfFile = true;
        m_ruleKind = DirectoryRuleKind::ReplaceRestInDir;
        m_ruleDirectory = directoryOf(filePath);
        return true;
    case Answer::SkipThis:
        return false;
    case Answer::SkipRestOfFile:
        m_skipRestOfFile = true;
        return false;
    case Answer::SkipRestInDir:
        m_skipRestOfFile = true;
        m_ruleKind = DirectoryRuleKind::SkipRestInDir;
        m_ruleDirectory = directoryOf(filePath);
        return false;
    default:
        // "Cancel Remaining", a closed dialog, or an answer this dialog does not offer.
        cancel();
        return false;
    }
}

bool ConfirmationState::confirmSpecialOperation(RunHost& host, const std::string& question)
{
    if (m_promptMode != kPromptEveryHit || m_replaceRestOfFile || m_replaceAllRemaining)
        return true;
    switch (host.ask(Question::ReadOnly, question)) {
    case Answer::Yes:
        return true;
    case Answer::YesToAll:
        m_replaceAllRemaining = true;
        return true;
    case Answer::No:
        return false;
    default:
        cancel();
        return false;
    }
}

bool ConfirmationState::confirmFile(RunHost& host, long replacements, const std::string& filePath)
{
    if (m_promptMode == kNoPrompts || m_replaceAllRemaining || m_replaceRestOfFile)
        return true;
    char head[64];
    std::snprintf(head, sizeof head, "Replace %ld occurences in file ", replacements);
    switch (host.ask(Question::YesNoCancel, head + displayName(filePath) + "?")) {
    case Answer::Yes:
        return true;
    case Answer::No:
        return false;
    default:
        cancel();
        return false;
    }
}

bool ConfirmationState::confirmReadOnly(RunHost& host)
{
    if (m_promptMode == kNoPrompts || m_yesToAll)
        return true;
    switch (host.ask(Question::ReadOnly, "File is Read-Only, System or Hidden.\nReplace anyway?")) {
    case Answer::Yes:
        return true;
    case Answer::YesToAll:
        m_yesToAll = true;
        return true;
    case Answer::No:
        return false;
    default:
        cancel();
        return false;
    }
}

void ConfirmationState::cancel()
{
    m_cancelled = true;
    if (m_onCancel)
        m_onCancel();
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string buildHitQuestion(const std::string& hitLine, const std::string& replaceText, bool binaryFile)
{
    const CharClasses& cc = activeCharClasses();
    std::string shown;
    shown.reserve(replaceText.size());
    for (const char ch : replaceText) {
        const auto c = static_cast<unsigned char>(ch);
        if (cc.doubleByte) {
            shown += ch;
            continue;
        }
        const bool displayable = cc.displayable[c] && c != '\t';
        if (binaryFile && !cc.displayable[c])
            break;
        shown += displayable ? ch : ' ';
    }

    std::string text = hitLine;
    const size_t dash = text.find('-');
    if (dash != std::string::npos)
        text.erase(0, dash + 1 + (dash + 1 < text.size() && text[dash + 1] == ' ' ? 1 : 0));
    return "Replace - " + withHitReplaced(std::move(text), shown);
}

} // namespace tw
