#pragma once
// The RunHost of a run executing on a worker thread. Messages and questions are handed to
// the GUI thread and shown there; the worker waits for the answer (the GUI thread never
// waits for the worker while a question is open). The per-hit question is shown as a
// ReplaceConfirmDialog, the others as QuestionDialogs, the no-files notice as its own
// message box. Progress and title go over queued.
// pump() passes a stop on to the run again while it is being stopped; the GUI thread's
// event loop runs by itself.
#include "core/RunHost.h"
#include "results/ResultEntry.h"

#include <QObject>
#include <QDialog>
#include <QPointer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QWidget;

namespace tw {

class GuiRunHost final : public QObject, public RunHost {
    Q_OBJECT
public:
    // Answers a question on the GUI thread instead of a dialog (tests, scripted runs). The
    // detail of the per-hit question is its held-back lines in their text form, bounded as
    // the dialog gets them.
    using AnswerProvider = std::function<Answer(Question kind, const QString& text, const QString& detail)>;
    // Receives a message on the GUI thread instead of a message box.
    using MessageSink = std::function<void(const QString& text)>;

    // Lives on the GUI thread; dialogs are shown over `dialogParent`.
    explicit GuiRunHost(QWidget* dialogParent = nullptr);

    void setAnswerProvider(AnswerProvider provider) { m_answerProvider = std::move(provider); }
    void setMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }
    // The colours of the per-hit dialog's list, as the options keep them (0x00BBGGRR).
    void setColors(uint32_t foundColor, uint32_t fileColor)
    {
        m_foundColor = foundColor;
        m_fileColor = fileColor;
    }
    // The text of the "No Files Were Found" dialog: the paragraphs, a blank line apart.
    static QString noFilesFoundText(const std::vector<std::string>& paragraphs);

    // GUI thread: a run starts; questions are shown again. `applyStop` sets the run's stop
    // flag (any thread): once stopQuestions() has been called, each pump() calls it, so a
    // stop asked for while the run was starting, before the run cleared its flag, is not
    // lost.
    void beginRun(std::function<void()> applyStop = {});
    // GUI thread, once the run's thread has ended: `applyStop` is no longer called.
    void endRun() { m_applyStop = nullptr; }
    // GUI thread, before a run whose output file is "Default Printer": finds the system's
    // default printer (none: the run writes an ordinary file of that name).
    void findDefaultPrinter();
    // GUI thread, while idle: "Default Printer" output is printed to this PDF file instead
    // of a printer (tests); empty: to the printer.
    void setPrintRedirect(const QString& pdfPath) { m_printRedirect = pdfPath; }

    // GUI thread: the run is being stopped. The open question, and every later one of
    // this run, resolves as if closed (Cancel; No where there is none), so the worker
    // never waits for the GUI again.
    void stopQuestions();

    // Worker thread.
    void pump() override;
    void message(const std::string& text, bool suppressedByQuiet) override;
    void noFilesFound(const std::vector<std::string>& paragraphs, bool suppressedByQuiet) override;
    Answer ask(Question kind, const std::string& text, const HeldBackLines& detail = noHeldBackLines()) override;
    void progress(const std::string& text) override;
    void title(const std::string& text) override;
    // Keeps the parts; the texts are made on the GUI thread when they are shown.
    void fileProgress(long remaining, long percent, std::string_view path) override;
    // Any thread (a worker on a long file): kept as parts like fileProgress.
    void byteProgress(std::string_view path, int64_t done) override;
    std::string defaultPrinter() override { return m_defaultPrinter; }
    // Prints on the worker thread (painting on a printer is allowed there); a failure is
    // reported as a message.
    void printFile(const std::string& path, const std::string& printer) override;

signals:
    void progressChanged(const QString& text);
    void titleChanged(const QString& text);

private:
    // What the worker hands to the GUI thread: a message, the no-files notice, or a question.
    struct Presentation {
        enum class Form { Message, NoFilesFound, Question } form = Form::Message;
        Question kind = Question::YesNo;
        std::string text;                // the run's text (its bytes); NoFilesFound: the paragraphs joined
        std::vector<ResultEntry> lines;  // ReplaceHit: the held-back lines, bounded (HeldBackTail)
    };

    // Waits on the worker thread until the GUI thread has answered, or the run stops;
    // a message is a question whose answer is its acknowledgement.
    Answer handOver(std::shared_ptr<const Presentation> what);
    // GUI thread: shows the message or question, or asks the provider.
    void present(const Presentation& what);
    // GUI thread: opens a message box that acknowledges when it closes.
    void openMessageBox(const QString& title, const QString& text);
    // GUI thread: the answer of the open question.
    void deliver(Answer answer);
    // Worker thread: keeps `text` as the latest progress (or title) and posts it to the
    // GUI thread unless a post is on its way already or one went less than a moment ago.
    // A run reports progress per file; the label shows the latest, a few times a second.
    void postLatest(bool isTitle, const std::string& text);
    // Worker thread, with m_latestMutex held and the latest texts updated: posts them
    // unless a post is on its way (`atOnce`: with no delay).
    void postLocked(bool atOnce);
    // GUI thread: shows the latest progress and title.
    void showLatest();

    QWidget* m_dialogParent;
    AnswerProvider m_answerProvider; // GUI thread only
    MessageSink m_messageSink;       // GUI thread only
    QPointer<QDialog> m_openDialog;  // GUI thread only: the dialog of the open question, if any
    // Written by the GUI thread only while no run is active, read by the worker during one.
    std::string m_defaultPrinter; // the printer found by findDefaultPrinter(); empty: none
    QString m_printRedirect;      // see setPrintRedirect
    std::function<void()> m_applyStop; // see beginRun
    // Set by stopQuestions(), cleared by beginRun(); read by pump() on the run's threads,
    // once per block or file, so without the lock.
    std::atomic<bool> m_stopAsked{false};
    uint32_t m_foundColor = 255;      // GUI thread only: the options' default red
    uint32_t m_fileColor = 0xFF0000;  // GUI thread only: the options' default blue

    std::mutex m_mutex;
    std::condition_variable m_answered;
    // Guarded by m_mutex. m_waiting: the worker waits in handOver; m_answer: the answer
    // it waits for, set at most once per hand-over; m_stopping: questions resolve unshown.
    bool m_waiting = false;
    std::optional<Answer> m_answer;
    bool m_stopping = false;

    // Guarded by m_latestMutex: the latest progress and title of the run, whether each
    // changed since the GUI thread last showed it, whether a post is pending, and when
    // the last post was made (steady-clock nanoseconds). A text whose source is not Text
    // is made from the parts below (fileProgress, byteProgress) when it is shown.
    enum class Source { Text, FileParts, Bytes };
    std::mutex m_latestMutex;
    std::string m_latestText[2];
    bool m_latestChanged[2] = {false, false};
    Source m_latestSource[2] = {Source::Text, Source::Text};
    long m_latestRemaining = 0;
    long m_latestPercent = 0;
    int64_t m_latestBytes = 0;
    std::string m_latestPath;
    bool m_latestPosted = false;
    long long m_lastPostNs = 0;
};

} // namespace tw
