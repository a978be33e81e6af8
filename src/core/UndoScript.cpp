#include "core/UndoScript.h"

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

std::string undoCopyLine(const std::string& source, const std::string& target)
{
    return "cp -p -- " + shellQuote(source) + " " + shellQuote(target) + "\n";
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

} // namespace tw
