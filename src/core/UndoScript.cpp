#include "core/UndoScript.h"

#include "core/ConfirmationState.h"

#include <climits>

namespace tw {

std::string shellQuote(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

namespace {

// The kernel refuses a path of this many bytes or more in one call.
constexpr size_t kPathLimit = PATH_MAX;

// `cd` commands, each followed by " && ", that enter `dir` (a directory part ending in "/"
// or empty) a group of whole components at a time, every argument shorter than the
// kernel's limit. "-P" changes directory by the argument itself rather than by a logical
// $PWD spelled out in full, which would be too long again; relative groups start with
// "./" so that CDPATH never takes part.
std::string enterSteps(const std::string& dir)
{
    std::string out;
    std::string group = !dir.empty() && dir.front() == '/' ? "/" : "./";
    const std::string bare = group;
    size_t pos = 0;
    while (pos < dir.size()) {
        size_t slash = dir.find('/', pos);
        if (slash == std::string::npos)
            slash = dir.size();
        const std::string name = dir.substr(pos, slash - pos);
        pos = slash + 1;
        if (name.empty())
            continue;
        if (group != bare && group.size() + name.size() + 1 >= kPathLimit) {
            out += "cd -P -- " + shellQuote(group) + " && ";
            group = "./";
        }
        group += name + '/';
    }
    if (group != "./")
        out += "cd -P -- " + shellQuote(group) + " && ";
    return out;
}

} // namespace

std::string undoCopyLine(const std::string& source, const std::string& target)
{
    if (source.size() < kPathLimit && target.size() < kPathLimit)
        return "cp -p -- " + shellQuote(source) + " " + shellQuote(target) + "\n";
    // A path too long for one system call: in a subshell, enter the source's directory in
    // steps and keep it open as descriptor 4, then enter the target's directory the same
    // way (back from the starting directory, kept as descriptor 3, when the target is
    // relative), and copy from "/dev/fd/4/NAME" to NAME: every path cp sees is short.
    const bool relativeTarget = target.empty() || target.front() != '/';
    return std::string("(") + (relativeTarget ? "exec 3<. && " : "") + enterSteps(directoryOf(source)) +
           "exec 4<. && " + (relativeTarget ? "cd -P /dev/fd/3 && " : "") + enterSteps(directoryOf(target)) +
           "exec cp -p -- /dev/fd/4/" + shellQuote(baseName(source)) + " " + shellQuote(baseName(target)) + ")\n";
}

bool UndoScript::open(const std::string& dataDir)
{
    if (!close())
        return false;
    if (dataDir.empty())
        return false;
    m_path = dataDir + kUndoScriptName;
    m_file = m_fs.openWrite(m_path, true, true);
    if (!m_file)
        return false;
    static const char kHeader[] = "#!/bin/sh\n";
    if (!m_file->write(kHeader, sizeof kHeader - 1) || !m_ops.setMode(m_path, 0755)) {
        m_file.reset();
        return false;
    }
    return true;
}

bool UndoScript::addCopy(const std::string& source, const std::string& target)
{
    if (!m_file)
        return false;
    const std::string line = undoCopyLine(source, target);
    // Lines reach the disk with the rewrite batch that follows (its barrier) or at close.
    return m_file->write(line.data(), line.size());
}

bool UndoScript::addCopies(const std::vector<std::pair<std::string, std::string>>& copies)
{
    if (!m_file)
        return false;
    std::string lines;
    for (const auto& [source, target] : copies)
        lines += undoCopyLine(source, target);
    return m_file->write(lines.data(), lines.size());
}

} // namespace tw
