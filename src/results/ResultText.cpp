#include "results/ResultText.h"

#include <algorithm>

namespace tw {

namespace {

// A results line's text with its markers replaced: the file name between `nameOpen` and
// `nameClose` (its control bytes as "?"), the hit between `hitOpen` and `hitClose`. The end
// marker counts only after a begin marker, and only the first after it; without one,
// `hitClose` still follows the rest when `closeOpenHit` is set.
void appendMarkedForm(std::string& out, std::string_view text, std::string_view nameOpen,
                      std::string_view nameClose, std::string_view hitOpen, std::string_view hitClose,
                      bool closeOpenHit)
{
    if (const size_t n = text.find(kNameMarker); n != std::string_view::npos) {
        out.append(text.substr(0, n));
        out.append(nameOpen);
        appendDisplayName(out, text.substr(n + kNameMarker.size()));
        out.append(nameClose);
        return;
    }
    const size_t b = text.find(kHitBegin);
    if (b == std::string_view::npos) {
        out.append(text);
        return;
    }
    out.append(text.substr(0, b));
    out.append(hitOpen);
    const std::string_view rest = text.substr(b + kHitBegin.size());
    const size_t e = rest.find(kHitEnd);
    if (e == std::string_view::npos) {
        out.append(rest);
        if (closeOpenHit)
            out.append(hitClose);
        return;
    }
    out.append(rest.substr(0, e));
    out.append(hitClose);
    out.append(rest.substr(e + kHitEnd.size()));
}

} // namespace

void appendOutputForm(std::string& out, std::string_view text, std::string_view beforeHit, std::string_view afterHit)
{
    appendMarkedForm(out, text, {}, {}, beforeHit, afterHit, false);
}

std::string sgrForeground(uint32_t bgr)
{
    return "\x1b[38;2;" + std::to_string(bgr & 0xFF) + ';' + std::to_string((bgr >> 8) & 0xFF) + ';' +
           std::to_string((bgr >> 16) & 0xFF) + 'm';
}

void appendColouredForm(std::string& out, std::string_view text, std::string_view nameColour,
                        std::string_view hitColour)
{
    appendMarkedForm(out, text, nameColour, kSgrReset, hitColour, kSgrReset, true);
}

std::string outputForm(std::string_view text, std::string_view beforeHit, std::string_view afterHit)
{
    std::string out;
    appendOutputForm(out, text, beforeHit, afterHit);
    return out;
}

std::string outputFileLine(const ResultEntry& entry, std::string_view beforeHit, std::string_view afterHit)
{
    std::string line = outputForm(entry.text, beforeHit, afterHit);
    line += "\r\n";
    return line;
}

std::string streamLine(const ResultEntry& entry, std::string_view beforeHit, std::string_view afterHit)
{
    std::string line = outputForm(entry.text, beforeHit, afterHit);
    line += '\n';
    return line;
}

void listForm(const ResultEntry& entry, ListLine& out)
{
    // The same text as the output form with empty hit texts; the hit range is where the
    // markers were.
    out.text.clear();
    appendOutputForm(out.text, entry.text, {}, {});
    out.hitBegin = out.hitEnd = out.nameBegin = std::string::npos;
    if (const size_t name = entry.text.find(kNameMarker); name != std::string::npos) {
        out.nameBegin = name;
        return;
    }
    const size_t b = entry.text.find(kHitBegin);
    if (b == std::string::npos)
        return;
    out.hitBegin = b;
    const size_t e = entry.text.find(kHitEnd, b + kHitBegin.size());
    out.hitEnd = e == std::string::npos ? out.text.size() : e - kHitBegin.size();
}

std::string heldBackText(const HeldBackLines& lines, std::string_view beforeHit, std::string_view afterHit)
{
    std::string out;
    lines.forEach([&](const ResultEntry& e) {
        out += streamLine(e, beforeHit, afterHit);
        return true;
    });
    return out;
}

std::string withHitReplaced(std::string text, std::string_view shown)
{
    const size_t begin = text.find(kHitBegin);
    if (begin != std::string::npos) {
        const size_t from = begin + kHitBegin.size();
        size_t end = text.find(kHitEnd, from);
        if (end == std::string::npos)
            end = text.size();
        text.replace(from, end - from, shown);
    }
    return text;
}

namespace {

// A marked text split at its hit markers: before, between, after (no markers: all before).
struct HitParts {
    std::string_view before, middle, after;
};
HitParts splitAtHit(std::string_view text)
{
    const size_t begin = text.find(kHitBegin);
    if (begin == std::string_view::npos)
        return {text, {}, {}};
    const size_t from = begin + kHitBegin.size();
    const size_t end = text.find(kHitEnd, from);
    if (end == std::string_view::npos)
        return {text.substr(0, begin), text.substr(from), {}};
    return {text.substr(0, begin), text.substr(from, end - from), text.substr(end + kHitEnd.size())};
}

} // namespace

HitChange hitChange(std::string_view questionLine, const ResultEntry* hitLine)
{
    constexpr std::string_view head = "Replace - ";
    if (questionLine.substr(0, head.size()) == head)
        questionLine.remove_prefix(head.size());
    const HitParts q = splitAtHit(questionLine);
    HitChange out{std::string(q.before), {}, std::string(q.middle), std::string(q.after)};
    if (!hitLine || hitLine->kind != LineKind::Hit)
        return out;
    // The hit line's prefix ("Line N - ", "Offset 0x... - ") is cut as the question cuts it.
    std::string_view context = hitLine->text;
    if (const size_t dash = context.find('-'); dash != std::string_view::npos)
        context.remove_prefix(std::min(context.size(), dash + 1 + (context.substr(dash + 1, 1) == " " ? 1 : 0)));
    const HitParts h = splitAtHit(context);
    if (context.find(kHitBegin) == std::string_view::npos || h.before != q.before || h.after != q.after)
        return out;
    out.found = std::string(h.middle);
    out.foundKnown = true;
    return out;
}

const HeldBackLines& noHeldBackLines()
{
    struct None final : HeldBackLines {
        size_t count() const override { return 0; }
        void forEach(const std::function<bool(const ResultEntry&)>&) const override {}
    };
    static const None none;
    return none;
}

} // namespace tw
