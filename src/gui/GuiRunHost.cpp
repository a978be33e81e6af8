#include "gui/GuiRunHost.h"
#include "gui/TitleFit.h"

#include "gui/QuestionDialog.h"
#include "gui/ResultsPrinter.h"
#include "gui/ReplaceConfirmDialog.h"
#include "results/HeldBackTail.h"
#include "results/ResultText.h"

#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace tw {

namespace {

QString fromRun(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string joinParagraphs(const std::vector<std::string>& paragraphs)
{
    std::string out;
    for (const std::string& p : paragraphs) {
        if (!out.empty())
            out += "\n\n";
        out += p;
    }
    return out;
}

} // namespace

GuiRunHost::GuiRunHost(QWidget* dialogParent) : m_dialogParent(dialogParent) {}

QString GuiRunHost::noFilesFoundText(const std::vector<std::string>& paragraphs)
{
    return fromRun(joinParagraphs(paragraphs));
}

void GuiRunHost::beginRun(std::function<void()> applyStop)
{
    m_applyStop = std::move(applyStop);
    m_stopAsked = false;
    std::lock_guard lock(m_mutex);
    m_stopping = false;
}

void GuiRunHost::pump()
{
    if (m_stopAsked.load(std::memory_order_relaxed) && m_applyStop)
        m_applyStop();
}

void GuiRunHost::stopQuestions()
{
    m_stopAsked = true;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_answered.notify_all();
    if (QDialog* dialog = m_openDialog.data()) {
        m_openDialog.clear();
        dialog->reject();
    }
}

void GuiRunHost::message(const std::string& text, bool suppressedByQuiet)
{
    if (suppressedByQuiet)
        return;
    auto what = std::make_shared<Presentation>();
    what->text = text;
    handOver(std::move(what));
}

void GuiRunHost::noFilesFound(const std::vector<std::string>& paragraphs, bool suppressedByQuiet)
{
    if (suppressedByQuiet)
        return;
    auto what = std::make_shared<Presentation>();
    what->form = Presentation::Form::NoFilesFound;
    what->text = joinParagraphs(paragraphs);
    handOver(std::move(what));
}

Answer GuiRunHost::ask(Question kind, const std::string& text, const HeldBackLines& detail)
{
    auto what = std::make_shared<Presentation>();
    what->form = Presentation::Form::Question;
    what->kind = kind;
    what->text = text;
    // The held-back lines are read here, on the worker that owns them, and only as many
    // as the dialog shows: a file with any number of hits costs a bounded hand-over.
    if (kind == Question::ReplaceHit && detail.count() > 0)
        what->lines = heldBackTail(detail, ReplaceConfirmDialog::kMaxLines).lines;
    return handOver(std::move(what));
}

void GuiRunHost::progress(const std::string& text)
{
    postLatest(false, text);
}

void GuiRunHost::title(const std::string& text)
{
    postLatest(true, text);
}

void GuiRunHost::postLatest(bool isTitle, const std::string& text)
{
    std::lock_guard lock(m_latestMutex);
    m_latestText[isTitle] = text;
    m_latestChanged[isTitle] = true;
    m_latestSource[isTitle] = Source::Text;
    postLocked(text.empty());
}

void GuiRunHost::fileProgress(long remaining, long percent, std::string_view path)
{
    std::lock_guard lock(m_latestMutex);
    m_latestRemaining = remaining;
    m_latestPercent = percent;
    m_latestPath.assign(path); // keeps its capacity: no allocation per file
    for (int k = 0; k < 2; ++k) {
        m_latestChanged[k] = true;
        m_latestSource[k] = Source::FileParts;
    }
    postLocked(false);
}

void GuiRunHost::byteProgress(std::string_view path, int64_t done)
{
    std::lock_guard lock(m_latestMutex);
    m_latestBytes = done;
    m_latestPath.assign(path);
    for (int k = 0; k < 2; ++k) {
        m_latestChanged[k] = true;
        m_latestSource[k] = Source::Bytes;
    }
    postLocked(false);
}

void GuiRunHost::postLocked(bool atOnce)
{
    if (m_latestPosted)
        return; // the pending post shows the latest texts
    // At most this often; an empty progress text (the run's end) goes at once.
    constexpr long long kIntervalNs = 40'000'000;
    const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    m_latestPosted = true;
    const long long delayNs = atOnce ? 0 : std::max(0LL, kIntervalNs - (now - m_lastPostNs));
    m_lastPostNs = now + delayNs;
    const int delayMs = static_cast<int>(delayNs / 1'000'000);
    QMetaObject::invokeMethod(
        this,
        [this, delayMs] {
            if (delayMs == 0)
                showLatest();
            else
                QTimer::singleShot(delayMs, this, &GuiRunHost::showLatest);
        },
        Qt::QueuedConnection);
}

void GuiRunHost::showLatest()
{
    QString texts[2];
    bool changed[2];
    {
        std::lock_guard lock(m_latestMutex);
        m_latestPosted = false;
        for (int k = 0; k < 2; ++k) {
            changed[k] = m_latestChanged[k];
            m_latestChanged[k] = false;
            if (!changed[k])
                continue;
            if (m_latestSource[k] == Source::Text)
                texts[k] = fromRun(m_latestText[k]);
            else if (k == 1)
                texts[k] = fromRun(fileTitleText(m_latestPath));
            else if (m_latestSource[k] == Source::FileParts)
                texts[k] = fromRun(fileProgressText(m_latestRemaining, m_latestPercent));
            else
                texts[k] = fromRun(byteProgressText(m_latestBytes));
        }
    }
    if (changed[0])
        emit progressChanged(texts[0]);
    if (changed[1])
        emit titleChanged(texts[1]);
}

void GuiRunHost::findDefaultPrinter()
{
    if (!m_printRedirect.isEmpty()) {
        m_defaultPrinter = "PDF";
        return;
    }
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    m_defaultPrinter = printer.isNull() ? std::string() : printer.printerName().toStdString();
}

void GuiRunHost::printFile(const std::string& path, const std::string& printer)
{
    QPrinter target(QPrinter::HighResolution);
    if (m_printRedirect.isEmpty()) {
        target.setPrinterName(fromRun(printer));
    } else {
        target.setOutputFormat(QPrinter::PdfFormat);
        target.setOutputFileName(m_printRedirect);
    }
    QString error;
    if (printTextFile(fromRun(path), target, &error) < 0)
        message(error.toStdString(), false);
}

Answer GuiRunHost::handOver(std::shared_ptr<const Presentation> what)
{
    const Question kind = what->kind;
    std::unique_lock lock(m_mutex);
    if (m_stopping)
        return QuestionDialog::closingAnswer(kind);
    m_waiting = true;
    m_answer.reset();
    QMetaObject::invokeMethod(this, [this, what] { present(*what); }, Qt::QueuedConnection);
    m_answered.wait(lock, [this] { return m_answer.has_value() || m_stopping; });
    m_waiting = false;
    if (m_stopping || !m_answer)
        return QuestionDialog::closingAnswer(kind);
    return *m_answer;
}

void GuiRunHost::openMessageBox(const QString& title, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, m_dialogParent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    fitTitle(*box);
    connect(box, &QDialog::finished, this, [this] { deliver(Answer::Yes); });
    m_openDialog = box;
    box->open();
}

void GuiRunHost::present(const Presentation& what)
{
    {
        std::lock_guard lock(m_mutex);
        // A stop came first: the worker has gone on without this answer.
        if (m_stopping || !m_waiting)
            return;
    }
    const QString text = fromRun(what.text);
    if (what.form != Presentation::Form::Question) {
        if (m_messageSink) {
            m_messageSink(text);
            deliver(Answer::Yes);
            return;
        }
        openMessageBox(what.form == Presentation::Form::NoFilesFound ? QStringLiteral("No Files Were Found")
                                                                     : QStringLiteral("Tarnwick"),
                       text);
        return;
    }
    if (m_answerProvider) {
        std::string detail;
        for (const ResultEntry& e : what.lines)
            detail += streamLine(e, "", "");
        deliver(m_answerProvider(what.kind, text, fromRun(detail)));
        return;
    }
    QDialog* dialog = nullptr;
    if (what.kind == Question::ReplaceHit) {
        auto* confirm = new ReplaceConfirmDialog(what.lines, what.text, m_foundColor, m_fileColor, m_dialogParent);
        connect(confirm, &QDialog::finished, this, [this, confirm] { deliver(confirm->answer()); });
        dialog = confirm;
    } else {
        auto* question = new QuestionDialog(what.kind, text, QString(), m_dialogParent);
        connect(question, &QDialog::finished, this, [this, question] { deliver(question->answer()); });
        dialog = question;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_openDialog = dialog;
    dialog->open();
}

void GuiRunHost::deliver(Answer answer)
{
    m_openDialog.clear();
    {
        std::lock_guard lock(m_mutex);
        if (!m_waiting || m_answer)
            return;
        m_answer = answer;
    }
    m_answered.notify_all();
}

} // namespace tw
