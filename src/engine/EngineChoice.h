#pragma once

namespace tarvo {

/// The machine code an engine's kernel runs as. Both give the same output
/// bit for bit: the same IEEE double operations in the same order, never
/// fused, only encoded differently.
enum class KernelCode : int {
    sse2 = 0,  ///< SSE2, every x86 CPU of the plug-in's platforms
    avx2 = 1,  ///< VEX-encoded (three-operand) code for CPUs with AVX2
};

/// True when this build holds the AVX2 kernel (the x86-64 builds), the CPU
/// has AVX2 and the operating system saves the 32-byte register state.
/// Asked once per process.
bool avx2KernelUsable() noexcept;

/// The kernel new engines run: AVX2 where usable, unless the environment
/// variable TARVO_ENGINE is "sse2" (in any case), which forces the SSE2 kernel. Decided
/// once per process, at the first call (the first engine's construction).
KernelCode defaultKernelCode() noexcept;

/// "SSE2" or "AVX2".
const char* kernelCodeName(KernelCode code) noexcept;

}  // namespace tarvo
