#pragma once
// The texts a run shows: progress and title texts, the run heading of the output file, the
// notice of a run that found no files, the archive phase's texts and the file error lines.
// fileProgressText, byteProgressText, fileTitleText and namesDefaultPrinter are declared in
// RunHost.h, which the front ends see; they are made here with the others.
#include "core/RunHost.h"
#include "core/SearchRequest.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// printf-style text with up to three longs.
std::string formatText(const char* fmt, long a, long b = 0, long c = 0);
// The local date and time, as the run heading shows it.
std::string nowText();
// Builds the run heading written at the start of the output file.
std::string buildRunHeading(const SearchRequest& request, const std::string& dateTime);
// The paragraphs of the notice of a run that searched no file.
std::vector<std::string> noFilesParagraphs();

// "Searched %ld file(s), found %ld occurrences in %ld file(s)"
std::string searchedText(long searched, long hits, long filesWithHits);

// The archive phase.
inline constexpr const char* kZipExtracting = "Processing ZIP file - extracting";
// "Processing ZIP files, N files left (P% done)"
std::string zipProgressText(long left, long percent);
// "archive | member" as it reads in a window title or an error line.
std::string memberText(const std::string& archivePath, const std::string& member);
// The line of a member that would expand beyond `limit` bytes.
std::string oversizedText(const std::string& archivePath, const std::string& member, int64_t limit);

// The one form of a file error line: `message` (ending with its space) and the file as
// shown (`shown`: a path or "archive | member" already made displayable); with a cause,
// the cause after a colon (the colon also when the reader gave no text).
std::string fileErrorText(std::string_view message, std::string_view shown);
std::string fileErrorText(std::string_view message, std::string_view shown, std::string_view cause);

} // namespace tw
