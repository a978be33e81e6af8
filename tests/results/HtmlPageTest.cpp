// The HTML form of results lines: hit text, file names and summaries can hold anything a
// file or a search can hold, and none of it may turn into markup.
#include "results/HtmlPage.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(HtmlPage, LinesAreEscapedAndLinked)
{
    const HtmlOptions latin{false}, utf8{true};
    const struct {
        ResultEntry entry;
        HtmlOptions options;
        std::string html;
    } cases[] = {
        // A hit line: the hyphen becomes a reference, spaces stay, the hit gets its colour.
        {ResultEntry{"Line   3 - foo\x01\x02" "bar\x01\x03" "baz", 3}, latin,
         "<NOBR>Line   3 &#45; foo<B><FONT COLOR=\"#dc3403\">bar</FONT></B>baz</NOBR><BR>"},
        // Markup characters in a hit line; the quote stays as it is.
        {ResultEntry{"Line   1 - <a href=\"x\">&", 0}, latin,
         "<NOBR>Line   1 &#45; &#60;a href&#61;\"x\"&#62;&#38;</NOBR><BR>"},
        // A begin marker without an end marker gets the opening tags only.
        {ResultEntry{"x\x01\x02y", 0}, latin, "<NOBR>x<B><FONT COLOR=\"#dc3403\">y</NOBR><BR>"},
        // A file named like markup shows as text, and its link is percent-encoded.
        {ResultEntry::fileLine("/d/<img src=x onerror=alert(1)>.txt", ""), latin,
         "<BR><NOBR>Processing file &#58; <A HREF=\"file:///d/%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E.txt\">"
         "<B><FONT COLOR=\"#0000ff\">&#47;d&#47;&#60;img src&#61;x onerror&#61;alert&#40;1&#41;&#62;&#46;txt"
         "</FONT></B></A></NOBR><BR>"},
        // A quote in a name cannot close the link's attribute.
        {ResultEntry::fileLine("/d/a\"b.txt", ""), latin,
         "<BR><NOBR>Processing file &#58; <A HREF=\"file:///d/a%22b.txt\"><B><FONT COLOR=\"#0000ff\">"
         "&#47;d&#47;a\"b&#46;txt</FONT></B></A></NOBR><BR>"},
        // An archive member's name is never a link target: the line links to its archive.
        {ResultEntry::fileLine("/etc/passwd", "/d/a.zip"), latin,
         "<BR><NOBR>Processing file &#58; <A HREF=\"file:///d/a.zip\"><B><FONT COLOR=\"#0000ff\">"
         "&#47;d&#47;a&#46;zip &#124; &#47;etc&#47;passwd</FONT></B></A></NOBR><BR>"},
        // A summary line, escaped like everything else.
        {ResultEntry::summary("Found <1>"), latin,
         "<BR><NOBR><B><FONT COLOR=\"#0000ff\">Found &#60;1&#62;</FONT></B></NOBR><BR>"},
        // Bytes from 0xA0 on: references in a single-byte code page, as they are in UTF-8.
        {ResultEntry{"caf\xC3\xA9", 0}, latin, "<NOBR>caf&#195;&#169;</NOBR><BR>"},
        {ResultEntry{"caf\xC3\xA9", 0}, utf8, "<NOBR>caf\xC3\xA9</NOBR><BR>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(htmlLine(c.entry, c.options), c.html) << c.entry.text;
}

TEST(HtmlPage, HeadingLinesBecomeBreaks)
{
    const std::string start = htmlPageStart("1/2/26 10:00\r\nSearch String: <x>\r\n", HtmlOptions{false});
    EXPECT_EQ(start, "<html>\r\n<head><title>Tarnwick Search Results</title></head>\r\n<body vlink=\"#ff0080\">\r\n"
                     "<NOBR>1&#47;2&#47;26 10&#58;00</NOBR><BR><NOBR>Search String&#58; &#60;x&#62;</NOBR><BR>\r\n");
}

} // namespace
} // namespace tw
