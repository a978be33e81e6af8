#include "gui/GuiRunHost.h"

#include "gui/QuestionDialog.h"
#include "gui/ResultsPrinter.h"
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

} // namespace

GuiRunHost::GuiRunHost(QWidget* dialogParent) : m_dialogParent(dialogParent) {}

void GuiRunHost::beginRun()
{
    std::lock_guard lock(m_mutex);
    m_stopping = false;
}

void GuiRunHost::stopQuestions()
{
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
    handOver(true, Question::YesNo, fromRun(text), QString());
}

Answer GuiRunHost::ask(Question kind, const std::string& text, const HeldBackLines& detail)
{
    // The held-back lines are read here, on the worker that owns them.
    const QString detailText = detail.count() > 0 ? fromRun(heldBackText(detail, "", "")) : QString();
    return handOver(false, kind, fromRun(text), detailText);
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
    // At most this often; an empty progress text (the run's end) goes at once.
    constexpr long long kIntervalNs = 40'000'000;
    const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    long long delayNs = 0;
    {
        std::lock_guard lock(m_latestMutex);
        m_latestText[isTitle] = text;
        m_latestChanged[isTitle] = true;
        if (m_latestPosted)
            return; // the pending post shows this text
        m_latestPosted = true;
        delayNs = text.empty() ? 0 : std::max(0LL, kIntervalNs - (now - m_lastPostNs));
        m_lastPostNs = now + delayNs;
    }
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
            texts[k] = fromRun(m_latestText[k]);
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

Answer GuiRunHost::handOver(bool isMessage, Question kind, const QString& text, const QString& detail)
{
    std::unique_lock lock(m_mutex);
    if (m_stopping)
        return QuestionDialog::closingAnswer(kind);
    m_waiting = true;
    m_answer.reset();
    QMetaObject::invokeMethod(
        this, [this, isMessage, kind, text, detail] { present(isMessage, kind, text, detail); },
        Qt::QueuedConnection);
    m_answered.wait(lock, [this] { return m_answer.has_value() || m_stopping; });
    m_waiting = false;
    if (m_stopping || !m_answer)
        return QuestionDialog::closingAnswer(kind);
    return *m_answer;
}

void GuiRunHost::present(bool isMessage, Question kind, const QString& text, const QString& detail)
{
    {
        std::lock_guard lock(m_mutex);
        // A stop came first: the worker has gone on without this answer.
        if (m_stopping || !m_waiting)
            return;
    }
    if (isMessage) {
        if (m_messageSink) {
            m_messageSink(text);
            deliver(Answer::Yes);
            return;
        }
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Tarnwick"), text, QMessageBox::Ok,
                                    m_dialogParent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QDialog::finished, this, [this] { deliver(Answer::Yes); });
        m_openDialog = box;
        box->open();
        return;
    }
    if (m_answerProvider) {
        deliver(m_answerProvider(kind, text, detail));
        return;
    }
    auto* dialog = new QuestionDialog(kind, text, detail, m_dialogParent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog] { deliver(dialog->answer()); });
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
