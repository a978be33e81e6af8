#pragma once
// TW_ASSERT(condition) checks an invariant stated next to the data it holds for. In the
// checked build (the sanitizer builds, or TW_CHECKED=ON) a broken invariant stops the
// program at once with its place and condition, before it can turn into wrong results or
// lost data. Elsewhere it is compiled out: the condition is not evaluated, so it may cost
// what it likes, but it must not have effects the program relies on.
#if defined(TW_CHECKED)
#include <cstdio>
#include <cstdlib>

namespace tw::detail {
[[noreturn]] inline void assertFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}
} // namespace tw::detail

#define TW_ASSERT(condition) ((condition) ? static_cast<void>(0) : ::tw::detail::assertFailed(#condition, __FILE__, __LINE__))
#else
#define TW_ASSERT(condition) static_cast<void>(sizeof(!(condition)))
#endif
