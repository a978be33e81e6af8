#pragma once
// Chooses the byte-scan kernels at compile time. On x86 the literal and pattern scans use
// SSE2 (always present on x86-64) and, when the processor has it, AVX2 chosen at run time;
// everywhere else, or with TW_FORCE_SCALAR defined, only the scalar loops are compiled. The
// vector kernels are prefilters in front of the same full check, so both forms find exactly
// the same hits. Without vector kernels the intrinsic headers are not included at all, so a
// vector instruction left outside the guards fails to compile in the scalar build.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(TW_FORCE_SCALAR)
#define TW_X86_SIMD 1
#include <emmintrin.h>
#include <immintrin.h>
#else
#define TW_X86_SIMD 0
#endif
