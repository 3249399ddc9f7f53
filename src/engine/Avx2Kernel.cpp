// The AVX2 build of the engine: the same sources as the SSE2 build,
// compiled with -mavx2 (never FMA, and -ffp-contract=off as everywhere), so
// every lane performs the same IEEE double operations in the same order and
// gives the same bits, in VEX-encoded three-operand instructions.
//
// Everything this file compiles lives in namespace tarvo_avx2: the engine's
// and the filters' sources are included below with `tarvo` spelt
// `tarvo_avx2`, so tarvo_avx2::LaneEngine is a type of its own and no
// function compiled here shares a name with one of the SSE2 build. (An
// inline function of a shared header compiled here would otherwise be an
// AVX2 copy of a function the SSE2 build also emits, and the linker could
// keep that copy for both: an illegal instruction on a CPU without AVX2.)
// The machine-code check (tools/ci/check-x86_64-code) holds every VEX
// instruction to functions of this namespace. Nothing here may run before
// avx2KernelUsable() said yes: no object in this file has a dynamic
// initialiser, and the only way in is newLaneEngine().
//
// The interfaces the two builds share are included before the renaming
// (their include guards then keep renamed copies out) and named in
// tarvo_avx2 by using-declarations; so are the one process-wide noise seed
// counter and the declaration of newLaneEngine.

#include "engine/AudioEngine.h"
#include "engine/EngineChoice.h"
#include "engine/EngineControl.h"

#include <cstdint>

#if !defined(__AVX2__) || defined(__FMA__)
#error "Avx2Kernel.cpp is built with -mavx2 and without FMA"
#endif

namespace tarvo {
std::uint32_t takeNoiseSeed() noexcept;
}  // namespace tarvo

namespace tarvo_avx2 {
using tarvo::AudioEngine;
using tarvo::EngineControl;
using tarvo::KernelCode;
using tarvo::kMaximumSampleRate;
using tarvo::kMinimumSampleRate;
tarvo::AudioEngine* newLaneEngine();
}  // namespace tarvo_avx2

#define tarvo tarvo_avx2
#include "engine/ChannelStrip.cpp"
#include "engine/DetectorUpdate.cpp"
#include "engine/EnvelopeFollower.cpp"
#include "engine/GainComputer.cpp"
#include "engine/GainComputerTable.cpp"
#include "engine/LaneEngine.cpp"
#include "engine/PeakLimiterDetector.cpp"
#include "engine/SoftClipper.cpp"
#include "filters/Biquad.cpp"
#include "filters/DetectorDesign.cpp"
#include "filters/Downsampler.cpp"
#include "filters/HalfbandFir.cpp"
#include "filters/HalfbandKernel.cpp"
#include "filters/IirDecimator.cpp"
#include "filters/PolyInterpolator.cpp"
#include "filters/ScoopEq.cpp"
#include "filters/SideChainFilter.cpp"
#include "filters/Upsampler.cpp"
#undef tarvo

namespace tarvo_avx2 {

std::uint32_t takeNoiseSeed() noexcept { return tarvo::takeNoiseSeed(); }

tarvo::AudioEngine* newLaneEngine() { return new LaneEngine<Lanes2>(); }

}  // namespace tarvo_avx2
