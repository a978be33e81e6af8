#pragma once
// The results list of a run: keeps the pending file line, holds lines back while a file
// is undecided, and hands every line on to the view (what the user sees) and to the output
// file. Display-only consumers implement ResultsView.
#include "platform/FileSystem.h"
#include "results/ResultSink.h"
#include "results/ResultText.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// Shown in place of held-back lines that could not be kept (the temporary store failed).
inline constexpr const char* kHeldBackLost = "Error writing to temp file: some results lines of this file were lost";

class ResultsView {
public:
    virtual ~ResultsView() = default;
    virtual void appendLine(const ResultEntry& entry) = 0;
};

// A view that keeps the lines in memory (tests, the GUI model's source).
class MemoryResultsView final : public ResultsView {
public:
    void appendLine(const ResultEntry& entry) override { lines.push_back(entry); }
    std::vector<ResultEntry> lines;
};

class ResultsList final : public ResultSink {
public:
    explicit ResultsList(FileSystem& fs = realFileSystem()) : m_fs(fs) {}
    ~ResultsList() override;

    // Where shown lines go; null: lines are not shown. With `onlyWithoutOutput`, lines go to
    // the view only while no output file is set, so that an output file that could not be
    // opened leaves the lines on the view instead of losing them.
    void setView(ResultsView* view, bool onlyWithoutOutput = false)
    {
        m_view = view;
        m_viewOnlyWithoutOutput = onlyWithoutOutput;
    }
    // A second view that receives every delivered line, with or without an output file
    // (the HTML page of an unattended run); null: none.
    void setCopyView(ResultsView* view) { m_copyView = view; }
    // A write to the output file failed during this run (the lines from then on are lost
    // from it; the run reports it).
    bool outputFailed() const { return m_outputFailed; }
    void setHitTexts(std::string before, std::string after) override
    {
        m_beforeHit = std::move(before);
        m_afterHit = std::move(after);
    }
    // The output file receives every line in its output form with CR LF. Null: none.
    // A new file clears the failure flag; null keeps it for the caller to read. The file
    // stays the caller's (see openOutputFile for one the list owns).
    void setOutputFile(File* file)
    {
        m_ownedOutput.reset();
        m_output = file;
        if (file)
            m_outputFailed = false;
    }
    bool openOutputFile(const std::string& name, size_t fileCount,
                        const std::function<std::string(size_t)>& fileAt) override;
    bool hasOutputFile() const override { return m_output != nullptr; }
    void closeOutputFile() override { setOutputFile(nullptr); }

    void setPendingFile(const std::string& path, const std::string& archivePath = {}) override;
    void emitPendingFileLine() override;
    void addLine(const ResultEntry& entry) override;
    bool beginHoldBack() override;
    void flushHeldBack() override;
    void discardHeldBack() override;
    void endHoldBack() override;
    const HeldBackLines& heldBack() override { return m_heldBack; }
    void writeToOutput(const std::string& text) override;

private:
    void deliver(const ResultEntry& entry);
    // Writes the buffered records to the store file; false (and m_spillFailed) on failure.
    bool spill();
    // Calls `visit` for every held-back line in order, after passing over the first `skip`
    // without decoding them; false when not holding back. `visit` returns false to stop early.
    bool forEachHeldBack(const std::function<bool(ResultEntry&&)>& visit, size_t skip = 0);

    // The held-back lines as the per-hit question reads them.
    class HeldBackAccess final : public HeldBackLines {
    public:
        explicit HeldBackAccess(ResultsList& list) : m_list(list) {}
        size_t count() const override { return m_list.m_fileRecords + m_list.m_bufferRecords; }
        void forEach(const std::function<bool(const ResultEntry&)>& visit) const override
        {
            m_list.forEachHeldBack([&](ResultEntry&& e) { return visit(e); });
        }
        void forEachFrom(size_t first, const std::function<bool(const ResultEntry&)>& visit) const override
        {
            m_list.forEachHeldBack([&](ResultEntry&& e) { return visit(e); }, first);
        }

    private:
        ResultsList& m_list;
    };

    FileSystem& m_fs;
    ResultsView* m_view = nullptr;
    bool m_viewOnlyWithoutOutput = false;
    ResultsView* m_copyView = nullptr;
    File* m_output = nullptr;
    std::unique_ptr<File> m_ownedOutput; // the output file made by openOutputFile
    bool m_outputFailed = false; // a write to m_output failed since it was set
    std::string m_beforeHit = "<", m_afterHit = ">";
    std::string m_line; // the output-file line being written; kept so its capacity is reused
    // Pending file: set by setPendingFile, cleared when its line is emitted.
    bool m_pending = false;
    std::string m_pendingPath, m_pendingArchive;
    // The path of the first line held back since the last flush or discard; later lines
    // with the same path store none (see the record format).
    std::string m_heldBackPath;
    // Held-back store: one record per line (see AppendRecord in the .cpp).
    // The newest records wait in m_storeBuffer and go to the temporary file m_store once
    // they pass kSpillBytes, so memory stays bounded however many lines a file has.
    // m_store is non-null exactly while holding back is active.
    std::unique_ptr<File> m_store;
    bool m_spillFailed = false; // some held-back lines of the current file could not be kept
    int64_t m_storeSize = 0;    // record bytes in the file since the last flush/discard
    std::string m_storeBuffer;  // record bytes after those, not yet written
    size_t m_fileRecords = 0;   // records in the file since the last flush/discard
    size_t m_bufferRecords = 0; // records in m_storeBuffer
    HeldBackAccess m_heldBack{*this};
    static constexpr size_t kSpillBytes = 256 * 1024;
};

} // namespace tw
