#pragma once

#if defined(__SSE__) || defined(_M_X64) || defined(_M_IX86_FP)
#include <xmmintrin.h>
#endif

namespace tarvo {

/// Sets the flush-to-zero bit of the calling thread's SIMD floating-point
/// control register (MXCSR bit 15 on x86, FPCR.FZ on AArch64), leaving the
/// other bits alone. Results below the smallest normal number become zero,
/// so decaying filter tails never fall into the slow denormal range. The
/// setting is per thread, so it is made again at the start of every block.
inline void enableFlushToZero() noexcept {
#if defined(__SSE__) || defined(_M_X64) || defined(_M_IX86_FP)
    _mm_setcsr(_mm_getcsr() | 0x8000u);
#elif defined(__aarch64__)
    unsigned long fpcr;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
    __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr | (1ul << 24)));
#endif
}

}  // namespace tarvo
