#include "results/ResultEntry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tw {

namespace {

ResultEntry make(LineKind kind, std::string text, const std::string& path = {})
{
    ResultEntry e;
    e.kind = kind;
    e.text = std::move(text);
    e.path = path;
    return e;
}

// The text of a file line, written over `text`.
void assignFileLineText(std::string& text, std::string_view path, std::string_view archivePath)
{
    text.assign(kFileLinePrefix);
    text += kNameMarker;
    if (!archivePath.empty()) {
        text += archivePath;
        text += " | ";
    }
    text += path;
}

std::string fileLineText(const std::string& path, const std::string& archivePath)
{
    std::string text;
    assignFileLineText(text, path, archivePath);
    return text;
}

} // namespace

ResultEntry ResultEntry::fileLine(const std::string& path, const std::string& archivePath)
{
    ResultEntry e = make(LineKind::File, fileLineText(path, archivePath), path);
    e.archivePath = archivePath;
    return e;
}

ResultEntry ResultEntry::listedFile(const std::string& path, const std::string& archivePath)
{
    ResultEntry e = make(LineKind::ListedFile, fileLineText(path, archivePath), path);
    e.archivePath = archivePath;
    return e;
}

void ResultEntry::setListedFile(std::string_view file)
{
    // Written over the line of the file before, only its path is new.
    const size_t head = kFileLinePrefix.size() + kNameMarker.size();
    if (text.size() >= head && text.compare(0, kFileLinePrefix.size(), kFileLinePrefix) == 0 &&
        text.compare(kFileLinePrefix.size(), kNameMarker.size(), kNameMarker) == 0) {
        text.resize(head);
        text += file;
    } else {
        assignFileLineText(text, file, {});
    }
    path.assign(file);
    archivePath.clear();
    fields() = ResultFields{};
    kind = LineKind::ListedFile;
}

ResultEntry ResultEntry::replaceText(const std::string& text, const std::string& path)
{
    return make(LineKind::ReplaceText, text, path);
}

ResultEntry ResultEntry::count(const std::string& text, const std::string& path)
{
    return make(LineKind::Count, text, path);
}

ResultEntry ResultEntry::error(const std::string& text, const std::string& path)
{
    return make(LineKind::Error, text, path);
}

ResultEntry ResultEntry::recovery(const std::string& text, const std::string& path)
{
    return make(LineKind::Recovery, text, path);
}

ResultEntry ResultEntry::done(const std::string& text, const std::string& path)
{
    return make(LineKind::Done, text, path);
}

ResultEntry ResultEntry::summary(const std::string& text)
{
    return make(LineKind::Summary, std::string(kNameMarker) + text);
}

ResultEntry ResultEntry::pairSummary(const std::string& text)
{
    return make(LineKind::PairSummary, std::string(kNameMarker) + text);
}

ResultEntry ResultEntry::notice(const std::string& text)
{
    return make(LineKind::Notice, text);
}

std::string displayName(std::string_view name)
{
    std::string out;
    appendDisplayName(out, name);
    return out;
}

namespace {

bool isControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Where the first control byte of `name` is (its size when there is none), eight bytes at a
// time: a word holds one when a byte below 0x20 or equal to 0x7F is in it.
size_t firstControl(std::string_view name)
{
    constexpr uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, name.data() + i, 8);
        const uint64_t del = w ^ (0x7F * ones);
        if ((((w - 0x20 * ones) & ~w) | ((del - ones) & ~del)) & highs)
            break;
    }
    while (i < name.size() && !isControl(name[i]))
        ++i;
    return i;
}

} // namespace

void appendDisplayName(std::string& out, std::string_view name)
{
    // Names almost never hold control bytes: look for one first, and change bytes only
    // from there on.
    const size_t control = firstControl(name);
    const size_t from = out.size() + control;
    out.append(name);
    for (auto it = out.begin() + static_cast<long>(from); it != out.end(); ++it)
        if (isControl(*it))
            *it = '?';
}

} // namespace tw
