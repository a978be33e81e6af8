#pragma once
// What a run needs from its front end: keeping the interface alive, telling the user
// something, and asking questions with fixed answer sets. The GUI shows dialogs; the
// command line asks on the terminal.
#include "results/HeldBackLines.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The output-file name that prints a run's output on the default printer instead.
inline constexpr std::string_view kDefaultPrinterName = "Default Printer";
// `outputFile` is that name, compared without regard to case.
bool namesDefaultPrinter(std::string_view outputFile);

// The `percent` of a file's progress while the walk is still finding files: the number of
// files is not known yet, and `remaining` stands for the files found so far.
inline constexpr long kStillListing = -1;
// "N files to process (P% done)", or "N files found so far" (percent kStillListing); and
// "TW32 - " followed by the file's name.
std::string fileProgressText(long remaining, long percent);
std::string fileTitleText(std::string_view path);
// The progress of one long file: "N MB of this file searched".
std::string byteProgressText(int64_t done);
// How often, at most, a long file reports its progress (RunHost::byteProgress).
inline constexpr int kByteProgressMs = 200;

enum class Question {
    YesNo,          // Yes / No
    YesNoCancel,    // Yes / No / Cancel
    ReadOnly,       // "Confirmation Required": Yes / Yes to All / No / Cancel
    ReplaceHit,     // the per-hit replace confirmation (eight answers)
};

enum class Answer {
    Yes, No, Cancel, YesToAll,
    // Per-hit confirmation.
    ReplaceThis, ReplaceRestInFile, ReplaceAllRemaining, ReplaceRestInDir,
    SkipThis, SkipRestOfFile, SkipRestInDir, CancelRemaining,
};

class RunHost {
public:
    virtual ~RunHost() = default;
    // Lets the front end process pending events (between blocks, files and entries).
    virtual void pump() {}
    // A message-box text. `suppressedByQuiet` is true when quiet mode keeps it off screen;
    // a front end may still record it (the command line prints every message).
    virtual void message(const std::string& text, bool suppressedByQuiet) = 0;
    // The notice of a run that searched no file: its paragraphs in order. A front end may
    // show them as one dialog; by default each is a message of its own.
    virtual void noFilesFound(const std::vector<std::string>& paragraphs, bool suppressedByQuiet)
    {
        for (const std::string& p : paragraphs)
            message(p, suppressedByQuiet);
    }
    // A question; `detail` holds the lines that go with it (for the per-hit dialog, the
    // file's lines shown so far, read on demand; see ResultText.h for their text form).
    virtual Answer ask(Question kind, const std::string& text, const HeldBackLines& detail = noHeldBackLines()) = 0;
    // Progress text above the results and the window title.
    virtual void progress(const std::string& /*text*/) {}
    // False when progress and title texts are not shown anywhere (output not on a
    // terminal): a run then need not make the texts it would give per file.
    virtual bool showsProgress() const { return true; }
    virtual void title(const std::string& /*text*/) {}
    // The progress and title of a file being started: `remaining` files still to process,
    // `percent` of them done, and the file's name. By default these are the texts of
    // fileProgressText() and fileTitleText(), given to progress() and title(); a host that
    // shows only the latest texts now and then may keep the parts and make the texts when
    // it shows them, as this runs once per file.
    // While the walk is still finding files, `percent` is kStillListing and `remaining` the
    // files found so far, so that no percentage shown goes backwards as the list grows.
    virtual void fileProgress(long remaining, long percent, std::string_view path);
    // A file that takes long: `done` bytes of `path` are searched. Every kByteProgressMs
    // or so while one file is scanned, from the thread that scans it, which in a run on
    // several threads is a worker, ahead of the file's other lines: a host that shows it
    // must take it on any thread.
    virtual void byteProgress(std::string_view /*path*/, int64_t /*done*/) {}

    // Printing for the output file "Default Printer". defaultPrinter() names the printer
    // the system would print on, found without showing anything; empty when there is none
    // or the front end cannot print (the name is then an ordinary file name). At the end of
    // such a run printFile() prints the text file `path` on that printer; the driver
    // deletes the file afterwards. The front end reports a failure itself.
    virtual std::string defaultPrinter() { return {}; }
    virtual void printFile(const std::string& /*path*/, const std::string& /*printer*/) {}
};

} // namespace tw
