#include "app/BinaryModeModel.h"

#include "engine/Utf8Text.h"

#include "engine/Escapes.h"
#include "engine/LiteralMatcher.h"
#include "engine/PatternScan.h"
#include "platform/Assert.h"

#include <algorithm>

namespace tw {

namespace {

bool isFixedText(std::string_view text)
{
    return text == kPrependBlock || text == kAppendBlock;
}

} // namespace

std::string blockTooLongMessage()
{
    std::string text = kBlockTooLongMessage;
    text.replace(text.find("%1"), 2, std::to_string(kBinaryBlockMaxChars));
    return text;
}

BinaryModeModel::BinaryModeModel(std::string block, BlockSide side, bool regularExpression,
                                 const CharClasses& classes)
    : m_block(std::move(block)), m_side(side), m_regularExpression(regularExpression), m_classes(classes),
      m_table(classes)
{
    if (m_side == BlockSide::Search) {
        if (m_block == kAppendBlock)
            m_operation = BlockOperation::AddAtBottom;
        else if (m_block == kPrependBlock)
            m_operation = BlockOperation::AddAtTop;
    }
}

std::string BinaryModeModel::startingBlock(const std::string& binaryBlock, const std::string& fieldText,
                                           bool fromMainWindow, bool ctrlHeld)
{
    if (fromMainWindow && (ctrlHeld || (binaryBlock.empty() && fieldText != kBinaryPlaceholder)))
        return fieldText;
    return binaryBlock;
}

void BinaryModeModel::setBlock(std::string block)
{
    if (editable())
        m_block = std::move(block);
}

void BinaryModeModel::addCode(uint8_t value)
{
    if (editable())
        m_block += m_table.row(value).code;
}

size_t BinaryModeModel::pasteText(std::string_view text, size_t selStart, size_t selEnd)
{
    selEnd = std::min(selEnd, m_block.size());
    selStart = std::min(selStart, selEnd);
    if (!editable())
        return selStart;
    const size_t kept = charCount(m_block) - charCount(std::string_view(m_block).substr(selStart, selEnd - selStart));
    const size_t room = kept < kBinaryBlockMaxChars ? kBinaryBlockMaxChars - kept : 0;
    // Cut the pasted text to `room` characters; in UTF-8 never inside a character.
    size_t take = 0;
    for (size_t chars = 0; take < text.size(); ++chars) {
        if (chars == room)
            break;
        ++take;
        if (m_classes.kind == CodePageKind::Utf8)
            while (take < text.size() && isUtf8Continuation(text[take]))
                ++take;
    }
    m_block.replace(selStart, selEnd - selStart, text.substr(0, take));
    TW_ASSERT(charCount(m_block) <= std::max(kBinaryBlockMaxChars, kept));
    return selStart + take;
}

void BinaryModeModel::chooseOperation(BlockOperation operation)
{
    if (m_side != BlockSide::Search)
        return;
    if (operation == BlockOperation::UseSearchString) {
        if (m_operation != BlockOperation::UseSearchString)
            m_block = m_savedBlock;
    } else {
        if (!isFixedText(m_block))
            m_savedBlock = m_block;
        m_block = operation == BlockOperation::AddAtTop ? kPrependBlock : kAppendBlock;
    }
    m_operation = operation;
    TW_ASSERT(editable() || isFixedText(m_block));
}

size_t BinaryModeModel::charCount(std::string_view text) const
{
    if (m_classes.kind != CodePageKind::Utf8)
        return text.size();
    size_t n = 0;
    for (char c : text)
        n += isUtf8Continuation(c) ? 0 : 1;
    return n;
}

size_t BinaryModeModel::loneBackslashes(std::string_view block)
{
    static constexpr std::string_view kValidAfter = "\\0abtnvfr\"'?";
    size_t lone = 0;
    for (size_t i = 0; i < block.size(); ++i) {
        if (block[i] != '\\')
            continue;
        if (i + 1 < block.size() && kValidAfter.find(block[i + 1]) != std::string_view::npos)
            ++i; // a valid escape: skipped together with its character
        else
            ++lone;
    }
    return lone;
}

BinaryModeModel::OkCheck BinaryModeModel::checkOk() const
{
    if (m_block.empty())
        return OkCheck::EmptyBlock;
    if (charCount(m_block) > kBinaryBlockMaxChars)
        return OkCheck::TooLong;
    if (loneBackslashes(m_block) > 0)
        return OkCheck::AskDoubling;
    return OkCheck::Accept;
}

void BinaryModeModel::doubleBackslashes()
{
    if (m_regularExpression)
        EscapeSpecials(m_block, kReplaceSpecials);
    else
        tw::doubleBackslashes(m_block);
}

void BinaryModeModel::applyTo(SearchPair& pair) const
{
    if (m_side == BlockSide::Search) {
        pair.binarySearchBlock = m_block;
        pair.searchText = kBinaryPlaceholder;
    } else {
        pair.binaryReplaceBlock = m_block;
        pair.replaceText = kBinaryPlaceholder;
    }
}

BlockScriptResult BinaryModeModel::applyScript(const std::string& path, const ScriptLoader& load,
                                               const EnvironmentLookup& env, int maxRepeat)
{
    BlockScriptResult result;
    if (!editable())
        return result;
    m_lastScriptFile = path;
    Script script;
    result.load = load(script, path);
    if (!result.load.read)
        return result;
    std::string text = m_block;
    for (const SearchPair& pair : script.pairs) {
        const PreparedPair prepared = preparePair(pair, maxRepeat, env);
        if (prepared.usable() && prepared.special == SpecialOp::None)
            result.hits += replaceAllHits(text, prepared);
    }
    if (result.hits != 0)
        m_block = std::move(text);
    return result;
}

ScriptChoiceStart BinaryModeModel::scriptChoiceStart(const std::string& lastScriptFile)
{
    if (lastScriptFile.empty())
        return {"", kScriptDefaultName};
    const size_t slash = lastScriptFile.rfind('/');
    if (slash == std::string::npos)
        return {"", lastScriptFile};
    // The root keeps its separator ("/name" starts in "/").
    return {lastScriptFile.substr(0, slash == 0 ? 1 : slash), lastScriptFile.substr(slash + 1)};
}

long replaceAllHits(std::string& text, const PreparedPair& pair)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const size_t len = text.size();
    std::string out;
    long hits = 0;
    size_t copied = 0; // text[0, copied) is in `out` (replaced or as it was)
    if (pair.regex) {
        if (!pair.pattern || !pair.pattern->ok())
            return 0;
        PatternScan scan(*pair.pattern);
        size_t from = 0, s = 0, e = 0;
        while (from <= len && scan.findNext(bytes, len, from, true, true, &s, &e)) {
            out.append(text, copied, s - copied);
            out += scan.buildReplacement();
            ++hits;
            copied = e;
            // An empty hit (an anchor alone) moves the scan on by one byte.
            from = e > s ? e : e + 1;
        }
    } else {
        if (pair.searchBytes.empty() || pair.searchBytes.size() > len)
            return 0;
        const LiteralMatcher matcher(pair.searchBytes, pair.caseSensitive, pair.wholeWord);
        const size_t startLimit = len - matcher.length() + 1;
        for (size_t at = matcher.findNext(bytes, len, 0, startLimit); at != LiteralMatcher::npos;
             at = matcher.findNext(bytes, len, copied, startLimit)) {
            out.append(text, copied, at - copied);
            out += pair.replaceBytes;
            ++hits;
            copied = at + matcher.length();
            if (copied >= startLimit)
                break;
        }
    }
    if (hits == 0)
        return 0;
    out.append(text, copied);
    text = std::move(out);
    return hits;
}

} // namespace tw
