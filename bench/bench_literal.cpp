// Micro-benchmarks of the literal scan over a block of source-like text (MB/s).
#include "engine/LiteralMatcher.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

std::string makeText(size_t size)
{
    static const char* words[] = {"static", "int", "return", "struct", "device", "if", "(", ")", "{", "}",
                                  ";", "\n", "\t", "pm_runtime", "PM_SUSPEND", "value", "=", "0x1F", "_", "->"};
    std::mt19937 rng(1);
    std::string text;
    while (text.size() < size) {
        text += words[rng() % (sizeof words / sizeof *words)];
        text += ' ';
    }
    text.resize(size);
    return text;
}

void scan(benchmark::State& state, const char* needle, bool caseSensitive, bool wholeWord)
{
    const std::string text = makeText(102400);
    const tw::LiteralMatcher m(needle, caseSensitive, wholeWord);
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    for (auto _ : state) {
        size_t hits = 0;
        for (size_t p = 0;;) {
            const size_t s = m.findNext(b, text.size(), p, text.size());
            if (s == tw::LiteralMatcher::npos)
                break;
            ++hits;
            p = s + m.length();
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void countLines(benchmark::State& state)
{
    const std::string text = makeText(102400);
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    for (auto _ : state)
        benchmark::DoNotOptimize(tw::countLineFeeds(b, b + text.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

} // namespace

BENCHMARK_CAPTURE(scan, case_sensitive, "PM_RESUME", true, false);
BENCHMARK_CAPTURE(scan, case_insensitive, "PM_RESUME", false, false);
BENCHMARK_CAPTURE(scan, whole_word, "value", true, true);
BENCHMARK_CAPTURE(scan, frequent_case_insensitive, "static", false, false);
BENCHMARK(countLines);
BENCHMARK_MAIN();
