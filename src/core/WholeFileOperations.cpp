#include "core/WholeFileOperations.h"

#include "core/ReplaceWriter.h"

#include <cstdio>
#include <vector>

namespace tw {

namespace {

SpecialOutcome addReplaceText(SpecialContext& ctx, File& output, const std::string& replaceText,
                              const char* question, const char* doneLine)
{
    SpecialOutcome outcome;
    if (!ctx.confirmation.confirmSpecialOperation(ctx.host, question))
        return outcome;
    if (!output.write(replaceText.data(), replaceText.size())) {
        reportFileError(ctx.sink, ctx.host, ctx.quiet, kErrorWritingReplace, ctx.filePath);
        outcome.result = SpecialResult::WriteFailed;
        return outcome;
    }
    ctx.sink.addResultLines(ResultEntry::done(doneLine, ctx.filePath));
    outcome.result = SpecialResult::Performed;
    outcome.sizeChange = -static_cast<int64_t>(replaceText.size());
    return outcome;
}

} // namespace

SpecialOutcome prependReplaceText(SpecialContext& ctx, File& output, const std::string& replaceText)
{
    return addReplaceText(ctx, output, replaceText, "Prepend the replace string to file?",
                          "Replace string prepended to beginning of the file");
}

SpecialOutcome appendReplaceText(SpecialContext& ctx, File& output, const std::string& replaceText)
{
    return addReplaceText(ctx, output, replaceText, "Append the replace string to file?",
                          "Replace string appended to end of the file");
}

SpecialOutcome reformatFile(SpecialContext& ctx, File& input, File& output, int columns)
{
    SpecialOutcome outcome;
    char question[80];
    std::snprintf(question, sizeof question, "Reformat to %ld columns in file?", static_cast<long>(columns));
    if (columns <= 0 || !ctx.confirmation.confirmSpecialOperation(ctx.host, question))
        return outcome;

    ParagraphFormatter formatter(static_cast<size_t>(columns));
    auto flush = [&] {
        std::string& out = formatter.output();
        const bool ok = out.empty() || output.write(out.data(), out.size());
        out.clear();
        return ok;
    };
    if (!input.seek(0)) {
        ctx.sink.addResultLines(ResultEntry::error("Error reading file " + ctx.filePath, ctx.filePath));
        outcome.result = SpecialResult::ReadFailed;
        return outcome;
    }
    std::vector<char> buffer(102400);
    std::string line;
    for (;;) {
        const int64_t n = input.read(buffer.data(), buffer.size());
        if (n < 0) {
            ctx.sink.addResultLines(ResultEntry::error("Error reading file " + ctx.filePath, ctx.filePath));
            outcome.result = SpecialResult::ReadFailed;
            return outcome;
        }
        if (n == 0)
            break;
        for (int64_t i = 0; i < n; ++i) {
            const char c = buffer[static_cast<size_t>(i)];
            if (c != '\n') {
                line += c;
                continue;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            formatter.addLine(line);
            line.clear();
        }
        if (!flush()) {
            reportFileError(ctx.sink, ctx.host, ctx.quiet, kErrorWritingTemp, ctx.filePath);
            outcome.result = SpecialResult::WriteFailed;
            return outcome;
        }
    }
    if (!line.empty())
        formatter.addLine(line);
    formatter.finish();
    if (!flush()) {
        reportFileError(ctx.sink, ctx.host, ctx.quiet, kErrorWritingTemp, ctx.filePath);
        outcome.result = SpecialResult::WriteFailed;
        return outcome;
    }
    char done[80];
    std::snprintf(done, sizeof done, "File was reformatted to a maximum of %ld columns", static_cast<long>(columns));
    ctx.sink.addResultLines(ResultEntry::done(done, ctx.filePath));
    outcome.result = SpecialResult::Performed;
    return outcome;
}

} // namespace tw
