#include "core/RunTexts.h"

#include "results/ResultEntry.h"

#include <cctype>
#include <cstdio>
#include <ctime>

namespace tw {

std::string formatText(const char* fmt, long a, long b, long c)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

std::string nowText()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[128];
    std::strftime(buf, sizeof buf, "%x %X", &tm);
    return buf;
}

std::vector<std::string> noFilesParagraphs()
{
    return {
        "No files were found using the specified parameters.  This could be due to one of the following reasons:",
        "- The path you entered may be invalid.  Please use the Browse (...) button next to the Path field to "
        "ensure the path is correct.",
        "- The file mask(s) you entered may be invalid.  You could try entering *.* to verify that.  Please note "
        "that the separator for multiple masks is ; and spaces are considered valid mask characters.",
        "- The filters you used (in Options) excluded all files in the search path(s).",
        "- If you want to Search Subdirectories, check the box provided in the Main Window.",
    };
}

std::string searchedText(long searched, long hits, long filesWithHits)
{
    return formatText("Searched %ld file(s), found %ld occurrences in %ld file(s)", searched, hits, filesWithHits);
}

std::string buildRunHeading(const SearchRequest& request, const std::string& dateTime)
{
    const SearchPair* pair = request.pairs.empty() ? nullptr : &request.pairs.front();
    std::string h = dateTime + "\r\n";
    auto textOf = [](const std::string& text, const std::string& block) {
        return text == kBinaryPlaceholder ? block : text;
    };
    h += "Search String: " + (pair ? textOf(pair->searchText, pair->binarySearchBlock) : std::string()) + "\r\n";
    h += "Replace String: " + (pair ? textOf(pair->replaceText, pair->binaryReplaceBlock) : std::string()) + "\r\n";
    const PathMaskPair* pm = request.pathMasks.empty() ? nullptr : &request.pathMasks.front();
    h += "Path: " + displayName(pm ? pm->path : std::string()) + "\r\n";
    h += "File Mask: " + displayName(pm ? pm->mask : std::string()) + "\r\n";
    std::string flags;
    auto flag = [&](bool on, const char* name) {
        if (!on)
            return;
        if (!flags.empty())
            flags += ", ";
        flags += name;
    };
    flag(request.searchSubdirectories, "Search Subdirectories");
    flag(request.searchZips, "Search ZIP Files");
    flag(pair && pair->caseSensitive, "Case Sensitive");
    flag(pair && pair->wholeWord, "Whole Word Match");
    flag(pair && pair->regularExpression, "Regular Expression");
    flag(pair && pair->ignoreWhitespace, "Ignore Whitespace");
    h += flags + "\r\n";
    return h;
}

std::string fileProgressText(long remaining, long percent)
{
    if (percent == kStillListing)
        return formatText("%ld files found so far", remaining);
    return formatText("%ld files to process (%ld%% done)", remaining, percent);
}

std::string byteProgressText(int64_t done)
{
    return formatText("%ld MB of this file searched", static_cast<long>(done >> 20));
}

std::string fileTitleText(std::string_view path)
{
    std::string title = "TW32 - ";
    title += path;
    return title;
}

void RunHost::fileProgress(long remaining, long percent, std::string_view path)
{
    progress(fileProgressText(remaining, percent));
    title(fileTitleText(path));
}

bool namesDefaultPrinter(std::string_view outputFile)
{
    if (outputFile.size() != kDefaultPrinterName.size())
        return false;
    for (size_t i = 0; i < outputFile.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(outputFile[i])) !=
            std::tolower(static_cast<unsigned char>(kDefaultPrinterName[i])))
            return false;
    return true;
}

std::string zipProgressText(long left, long percent)
{
    return formatText("Processing ZIP files, %ld files left (%ld%% done)", left, percent);
}

std::string memberText(const std::string& archivePath, const std::string& member)
{
    return displayName(archivePath) + " | " + displayName(member);
}

std::string oversizedText(const std::string& archivePath, const std::string& member, int64_t limit)
{
    return "Skipped oversized file " + memberText(archivePath, member) + " (expands beyond " +
           std::to_string(limit) + " bytes)";
}

std::string fileErrorText(std::string_view message, std::string_view shown)
{
    std::string text(message);
    text += shown;
    return text;
}

std::string fileErrorText(std::string_view message, std::string_view shown, std::string_view cause)
{
    std::string text = fileErrorText(message, shown);
    text += ": ";
    text += displayName(cause);
    return text;
}

} // namespace tw
