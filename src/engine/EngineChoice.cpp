#include "engine/EngineChoice.h"

#include <cctype>
#include <cstdlib>

#if TARVO_HAS_AVX2_KERNEL
#include <cpuid.h>
#endif

namespace tarvo {

namespace {

#if TARVO_HAS_AVX2_KERNEL
/// CPUID leaf 7 EBX bit 5 (AVX2), leaf 1 ECX bits 27 (OSXSAVE) and 28 (AVX),
/// and XCR0 bits 1 and 2 (the OS saves the xmm and the ymm upper halves).
bool cpuAndSystemHaveAvx2() noexcept {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const unsigned osxsave = 1u << 27, avx = 1u << 28;
    if ((ecx & osxsave) == 0 || (ecx & avx) == 0) return false;
    unsigned xcr0Low = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    const unsigned xmmAndYmmState = 0x6;
    if ((xcr0Low & xmmAndYmmState) != xmmAndYmmState) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    const unsigned avx2 = 1u << 5;
    return (ebx & avx2) != 0;
}
#else
bool cpuAndSystemHaveAvx2() noexcept { return false; }
#endif

/// TARVO_ENGINE is "sse2", in any case.
bool environmentForcesSse2() noexcept {
    const char* value = std::getenv("TARVO_ENGINE");
    if (!value) return false;
    const char* sse2 = "sse2";
    for (; *sse2; ++value, ++sse2)
        if (std::tolower(static_cast<unsigned char>(*value)) != *sse2) return false;
    return *value == '\0';
}

}  // namespace

bool avx2KernelUsable() noexcept {
    static const bool usable = cpuAndSystemHaveAvx2();
    return usable;
}

KernelCode defaultKernelCode() noexcept {
    static const KernelCode code = [] {
        if (environmentForcesSse2()) return KernelCode::sse2;
        return avx2KernelUsable() ? KernelCode::avx2 : KernelCode::sse2;
    }();
    return code;
}

const char* kernelCodeName(KernelCode code) noexcept {
    return code == KernelCode::avx2 ? "AVX2" : "SSE2";
}

}  // namespace tarvo
