#include "results/HtmlPage.h"

#include <cstdio>

namespace tw {

namespace {

bool keptAsIs(uint8_t c, bool utf8)
{
    if (c < 0x23)
        return true; // control bytes (the markers among them), space, "!" and the quote
    if (c >= '0' && c <= '9')
        return true;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return true;
    if (c >= 0x80)
        return utf8 || c < 0xA0;
    return false;
}

// Appends `text` to `out`, every byte that `keep` refuses written with `format` (which
// takes the byte's value).
template <typename Keep> void appendEncoded(std::string& out, std::string_view text, Keep keep, const char* format)
{
    out.reserve(out.size() + text.size());
    for (const char ch : text) {
        const auto c = static_cast<uint8_t>(ch);
        if (keep(c)) {
            out += ch;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, format, c);
            out += buf;
        }
    }
}

// A path as a file URL: unreserved bytes and "/" as they are, everything else "%XX".
std::string fileUrl(std::string_view path)
{
    std::string out = "file://";
    appendEncoded(
        out, path,
        [](uint8_t c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/' || c == '-' ||
                   c == '.' || c == '_' || c == '~';
        },
        "%%%02X");
    return out;
}

void replaceFirst(std::string& text, std::string_view what, std::string_view with, size_t from = 0, size_t* at = nullptr)
{
    const size_t p = text.find(what, from);
    if (at)
        *at = p;
    if (p != std::string::npos)
        text.replace(p, what.size(), with);
}

} // namespace

std::string htmlEscape(std::string_view text, const HtmlOptions& options)
{
    std::string out;
    appendEncoded(out, text, [utf8 = options.utf8](uint8_t c) { return keptAsIs(c, utf8); }, "&#%d;");
    return out;
}

std::string htmlLine(const ResultEntry& entry, const HtmlOptions& options)
{
    const std::string& text = entry.text;
    const size_t name = text.find(kNameMarker);
    if (name == 0) { // a summary line
        return "<BR><NOBR><B><FONT COLOR=\"#0000ff\">" +
               htmlEscape(displayName(std::string_view(text).substr(kNameMarker.size())), options) +
               "</FONT></B></NOBR><BR>";
    }
    if (name != std::string::npos) { // a file line: the name links to the file
        const std::string_view path = std::string_view(text).substr(name + kNameMarker.size());
        // A member's name is no path on disk: its line links to the archive that holds it.
        const std::string_view target = entry.archivePath.empty() ? path : std::string_view(entry.archivePath);
        return "<BR><NOBR>" + htmlEscape(std::string_view(text).substr(0, name), options) + "<A HREF=\"" +
               fileUrl(target) + "\"><B><FONT COLOR=\"#0000ff\">" + htmlEscape(displayName(path), options) +
               "</FONT></B></A></NOBR><BR>";
    }
    std::string out = htmlEscape(text, options);
    size_t begin = std::string::npos;
    replaceFirst(out, kHitBegin, "<B><FONT COLOR=\"#dc3403\">", 0, &begin);
    if (begin != std::string::npos)
        replaceFirst(out, kHitEnd, "</FONT></B>", begin);
    return "<NOBR>" + out + "</NOBR><BR>";
}

std::string htmlPageStart(const std::string& runHeading, const HtmlOptions& options)
{
    std::string page = "<html>\r\n<head>";
    if (options.utf8)
        page += "<meta charset=\"utf-8\">";
    page += "<title>Tarnwick Search Results</title></head>\r\n<body vlink=\"#ff0080\">\r\n";
    std::string heading = runHeading;
    if (heading.size() >= 2 && heading.compare(heading.size() - 2, 2, "\r\n") == 0)
        heading.resize(heading.size() - 2);
    std::string converted;
    for (const char c : htmlLine(ResultEntry{heading, 0}, options)) {
        if (c == '\r')
            continue;
        if (c == '\n')
            converted += "</NOBR><BR><NOBR>";
        else
            converted += c;
    }
    return page + converted + "\r\n";
}

HtmlResultsView::HtmlResultsView(File& file, const std::string& runHeading, const HtmlOptions& options)
    : m_file(file), m_options(options)
{
    write(htmlPageStart(runHeading, options));
}

void HtmlResultsView::appendLine(const ResultEntry& entry)
{
    write(htmlLine(entry, m_options) + "\r\n");
}

bool HtmlResultsView::finish()
{
    write(kHtmlPageEnd);
    return !m_failed;
}

void HtmlResultsView::write(std::string_view text)
{
    if (!m_failed && !m_file.write(text.data(), text.size()))
        m_failed = true;
}

} // namespace tw
