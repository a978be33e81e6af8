#pragma once
// The results as an HTML page: the run heading, then every results line converted, in a
// page a browser opens. Every byte that HTML gives a meaning to is written as a character
// reference, in hit lines, file names and summaries alike, and file links are
// percent-encoded, so a file named "<img src=x onerror=...>" shows as text.
#include "platform/FileSystem.h"
#include "results/ResultsList.h"

#include <string>
#include <string_view>

namespace tw {

struct HtmlOptions {
    // The text is UTF-8: bytes from 0x80 on are written as they are (the page says so),
    // instead of one reference per byte of a single-byte code page.
    bool utf8 = true;
};

// `text` with every byte that is not a letter, a digit, a space, "!", a control byte or
// (in a single-byte code page) 0x80-0x9F written as "&#N;".
std::string htmlEscape(std::string_view text, const HtmlOptions& options);

// One results line as the page holds it (without the line end).
std::string htmlLine(const ResultEntry& entry, const HtmlOptions& options);

// The page up to and including the run heading; the lines follow, each with CR LF, then
// kHtmlPageEnd.
std::string htmlPageStart(const std::string& runHeading, const HtmlOptions& options);
inline constexpr std::string_view kHtmlPageEnd = "</body>\r\n</html>\r\n";

// Writes the page to a file while a run delivers its lines: the start at once, each line
// as it comes, the end on finish(). Memory stays bounded however many lines there are.
class HtmlResultsView final : public ResultsView {
public:
    HtmlResultsView(File& file, const std::string& runHeading, const HtmlOptions& options);
    void appendLine(const ResultEntry& entry) override;
    // Writes the end of the page; false when some write failed.
    [[nodiscard]] bool finish();

private:
    void write(std::string_view text);

    File& m_file;
    HtmlOptions m_options;
    bool m_failed = false; // a write failed; later writes are skipped
};

} // namespace tw
