#pragma once
// The confirmation state of a replace run: how much the user wants to be asked (the prompt
// mode), the answers given so far and the flags they leave behind for the current hit, the
// current file, the current directory and the rest of the run.
//
// How the run uses it:
//   run start          startRun(promptMode); setCancelHandler(...) to reach the stop flag
//   each file          onFileStart(path) before opening; Skip means: do not open the file
//                      onFileOpened() when the file is opened for its first pair
//   each hit           hitVisible() decides whether the hit line is built and shown;
//                      decideHit(...) decides whether it is replaced (asks in mode 0)
//                      markOneHitReplaced() after a replacement when "One hit" is on
//   special operation  confirmSpecialOperation(...)
//   commit             confirmFile(...) and confirmReadOnly(...) (called by ReplaceWriter)
// Every question answered with Cancel (or a closed dialog) sets cancelled() and calls the
// cancel handler once per cancellation.
#include "core/RunHost.h"

#include <functional>
#include <string>

namespace tw {

enum class DirectoryRuleKind { None, ReplaceRestInDir, SkipRestInDir };

// What the directory rule says about a file that is about to be opened.
enum class DirDecision { Process, Skip };

class ConfirmationState {
public:
    // Prompt modes ("Prompt_flag").
    static constexpr int kPromptEveryHit = 0;
    static constexpr int kPromptEachFile = 1;
    static constexpr int kNoPrompts = 2;

    // Resets everything for a new run. Read-only yes-to-all starts on in mode 2.
    void startRun(int promptMode);
    // Called whenever a question is cancelled (the run's stop flag is set there).
    void setCancelHandler(std::function<void()> handler) { m_onCancel = std::move(handler); }

    // The directory rule for the next file: another directory clears the rule and switches
    // replaceAllRemaining off; the rule's own directory is skipped (skip rule) or gets
    // replaceAllRemaining switched on (replace rule).
    DirDecision onFileStart(const std::string& filePath);
    // Opening a file clears the per-file flags.
    void onFileOpened();

    // The hit line is built and shown only while the rest of the file is not skipped.
    bool hitVisible() const { return !m_skipRestOfFile; }
    // Whether this hit is replaced. In mode 0, without a "rest"/"all" flag, the per-hit
    // dialog is asked with `questionLine` (see buildHitQuestion) and `heldBackLines` (the
    // file's lines shown so far, current hit line included) and its answer updates the flags.
    bool decideHit(RunHost& host, const std::string& questionLine, const HeldBackLines& heldBackLines,
                   const std::string& filePath);
    // True when decideHit would put the question to the user (so the caller need only
    // build the question and the file's lines then).
    bool hitNeedsAnswer() const
    {
        return !m_skipRestOfFile && m_promptMode == kPromptEveryHit && !m_replaceRestOfFile && !m_replaceAllRemaining;
    }
    // "One hit" in replace mode: after the first replacement the rest of the file is skipped.
    void markOneHitReplaced() { m_skipRestOfFile = true; }

    // The "Confirmation Required" question of a special operation. Skipped with yes unless
    // the mode is 0 and neither replaceRestOfFile nor replaceAllRemaining is on.
    bool confirmSpecialOperation(RunHost& host, const std::string& question);
    // The per-file question "Replace %ld occurences in file %s?" (Yes/No/Cancel), skipped
    // with yes in mode 2 or with replaceAllRemaining or replaceRestOfFile on.
    bool confirmFile(RunHost& host, long replacements, const std::string& filePath);
    // The read-only question, skipped with yes in mode 2 or after a yes to all.
    bool confirmReadOnly(RunHost& host);

    int promptMode() const { return m_promptMode; }
    bool replaceRestOfFile() const { return m_replaceRestOfFile; }
    bool skipRestOfFile() const { return m_skipRestOfFile; }
    // The special operations skip the rest of the pair and put the old value back afterwards.
    void setSkipRestOfFile(bool on) { m_skipRestOfFile = on; }
    bool replaceAllRemaining() const { return m_replaceAllRemaining; }
    bool yesToAll() const { return m_yesToAll; }
    DirectoryRuleKind directoryRule() const { return m_ruleKind; }
    const std::string& ruleDirectory() const { return m_ruleDirectory; }
    bool cancelled() const { return m_cancelled; }

private:
    void cancel();

    int m_promptMode = 0;              // 0, 1 or 2
    bool m_replaceRestOfFile = false;  // per file: later hits replaced, per-file question skipped
    bool m_skipRestOfFile = false;     // per file: later hits neither shown nor replaced
    bool m_replaceAllRemaining = false; // per run (and per directory under a replace rule)
    bool m_yesToAll = false;           // per run: the read-only question is not asked again
    bool m_cancelled = false;          // a question was cancelled in this run
    DirectoryRuleKind m_ruleKind = DirectoryRuleKind::None;
    std::string m_ruleDirectory;       // ends with "/"; empty exactly when m_ruleKind is None
    std::function<void()> m_onCancel;
};

// The directory of a path: everything up to and including the last "/".
std::string directoryOf(const std::string& path);
// The name of a path without its directory.
std::string baseName(const std::string& path);

// The question line of the per-hit dialog: "Replace - " followed by the hit line's text
// after its prefix (after the first "- "), with the found text between the hit markers
// replaced by the shown form of `replaceText` (markers kept, so the list can highlight it).
// Tab, CR, LF and bytes that are not displayable are shown as spaces; in binary files the
// replace text is cut at its first byte that is not displayable.
std::string buildHitQuestion(const std::string& hitLine, const std::string& replaceText, bool binaryFile);

} // namespace tw
