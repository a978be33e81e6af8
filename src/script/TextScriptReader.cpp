#include "script/TextScriptReader.h"

#include "core/SearchRequest.h"
#include "platform/Assert.h"

namespace tw {

namespace {

constexpr size_t npos = std::string_view::npos;

// Sets what the flag letters of a header say; true when "b" (the binary block) is among them.
bool applyFlags(std::string_view flags, SearchPair& pair)
{
    bool binary = false;
    for (char c : flags) {
        switch (c) {
        case 'b': case 'B': binary = true; break;
        case 'h': case 'H': pair.ignoreWhitespace = true; break;
        case 'i': case 'I': pair.caseSensitive = false; break;
        case 'w': case 'W': pair.wholeWord = true; break;
        case 'x': case 'X': pair.regularExpression = true; break;
        default: break; // other characters carry nothing
        }
    }
    return binary;
}

// A content that is the binary block goes there, and the text becomes the placeholder.
void setText(std::string_view content, bool binary, std::string& text, std::string& block)
{
    if (binary) {
        block.assign(content);
        text = kBinaryPlaceholder;
    } else {
        text.assign(content);
    }
}

} // namespace

bool TextScriptReader::read()
{
    for (size_t pos = readPreamble(); pos != npos;)
        pos = readSection(pos);
    // A pair whose "[Replace" never came, or whose replace block has no end, is lost whole.
    return !m_script.pairs.empty() || !m_script.paths.empty();
}

size_t TextScriptReader::readPreamble()
{
    // The first line ends at the first "]", whatever it says; the description starts on
    // the next line.
    size_t start = m_text.find(']');
    if (start == npos)
        return npos;
    ++start;
    if (start < m_text.size() && m_text[start] == '\r')
        ++start;
    if (start < m_text.size() && m_text[start] == '\n')
        ++start;
    const ContentBlock description = contentBlock(m_text, start);
    if (description.next == npos)
        return npos;
    m_script.description.assign(description.content);
    return readOptions(readExpression(description.next));
}

size_t TextScriptReader::readExpression(size_t pos)
{
    if (pos == npos || sectionAt(m_text, pos) != SectionKind::Expression)
        return pos;
    const auto block = sectionContent(pos);
    if (!block)
        return npos;
    m_script.expression.assign(block->content);
    return block->next;
}

size_t TextScriptReader::readOptions(size_t pos)
{
    if (pos == npos || sectionAt(m_text, pos) != SectionKind::Options)
        return pos;
    const auto block = sectionContent(pos);
    if (!block)
        return npos;
    ProgramOptions options = m_context.currentOptions;
    if (m_context.codec.read && m_context.codec.read(block->content, options)) {
        m_script.subdirectories = options.searchSubdirs ? ScriptSubdirs::Yes : ScriptSubdirs::No;
        m_script.options = std::move(options);
    }
    return block->next;
}

size_t TextScriptReader::readSection(size_t pos)
{
    const std::optional<SectionKind> kind = sectionAt(m_text, pos);
    TW_ASSERT(kind); // `pos` comes from nextSection
    if (!kind)
        return npos;
    switch (*kind) {
    case SectionKind::Search: return readSearch(pos);
    case SectionKind::Replace: return readReplace(pos);
    case SectionKind::Path: return readPath(pos);
    case SectionKind::End:
        appendCurrentPair();
        return npos;
    case SectionKind::OtherPath:
    case SectionKind::Options:
    case SectionKind::Expression:
        break; // only ends the block before it
    }
    return nextSection(m_text, pos + 1);
}

size_t TextScriptReader::readSearch(size_t pos)
{
    appendCurrentPair();
    if (full())
        return npos;
    SectionHeader header;
    const auto block = sectionContent(pos, &header);
    if (!block)
        return npos;
    SearchPair pair;
    const bool binary = applyFlags(header.flags, pair);
    pair.searchComment.assign(header.comment);
    setText(block->content, binary, pair.searchText, pair.binarySearchBlock);
    m_current = std::move(pair);
    return block->next;
}

size_t TextScriptReader::readReplace(size_t pos)
{
    if (!m_current)
        return nextSection(m_text, pos + 1); // a replace text without its search text
    SectionHeader header;
    const auto block = sectionContent(pos, &header);
    if (!block) {
        m_current.reset();
        return npos;
    }
    SearchPair& pair = *m_current;
    const bool binary = applyFlags(header.flags, pair);
    pair.replaceComment.assign(header.comment);
    setText(block->content, binary, pair.replaceText, pair.binaryReplaceBlock);
    appendCurrentPair();
    return block->next;
}

size_t TextScriptReader::readPath(size_t pos)
{
    appendCurrentPair();
    if (full())
        return npos;
    const auto block = sectionContent(pos);
    if (!block)
        return npos;
    PathMaskPair entry;
    SplitPathAndMask(std::string(block->content), &entry.path, &entry.mask);
    m_script.paths.push_back(std::move(entry));
    return block->next;
}

std::optional<ContentBlock> TextScriptReader::sectionContent(size_t pos, SectionHeader* header) const
{
    const SectionHeader h = readHeader(m_text, pos);
    if (header)
        *header = h;
    if (h.contentStart == npos)
        return std::nullopt;
    const ContentBlock block = contentBlock(m_text, h.contentStart);
    if (block.next == npos)
        return std::nullopt;
    return block;
}

bool TextScriptReader::full()
{
    m_cutOff = m_script.pairs.size() + m_script.paths.size() >= kMaxScriptEntries;
    return m_cutOff;
}

void TextScriptReader::appendCurrentPair()
{
    if (m_current)
        m_script.pairs.push_back(std::move(*m_current));
    m_current.reset();
}

} // namespace tw
