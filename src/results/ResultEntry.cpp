#include "results/ResultEntry.h"

#include <algorithm>

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
    assignFileLineText(text, file, {});
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

void appendDisplayName(std::string& out, std::string_view name)
{
    const size_t from = out.size();
    out.append(name);
    // Names almost never hold control bytes: look for one first, and change bytes only
    // from there on.
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    auto it = std::find_if(out.begin() + static_cast<long>(from), out.end(), isControl);
    for (; it != out.end(); ++it)
        if (isControl(*it))
            *it = '?';
}

} // namespace tw
