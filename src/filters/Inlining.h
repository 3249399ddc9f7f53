#pragma once

// Inlining requests for the per-sample steps. The steps are small and run
// for every sub-sample of every frame, from many instantiations of the
// kernel (channel modes, limiter positions, scoop and saturation choices);
// the compiler's unit-wide inlining budget would otherwise leave some of
// them as calls, depending on how much else the file holds.
#if defined(__GNUC__)
/// Always inline this function into its callers.
#define TARVO_ALWAYS_INLINE inline __attribute__((always_inline))
/// Never inline this function: a rare path kept out of the hot loops.
#define TARVO_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define TARVO_ALWAYS_INLINE __forceinline
#define TARVO_NOINLINE __declspec(noinline)
#else
#define TARVO_ALWAYS_INLINE inline
#define TARVO_NOINLINE
#endif
