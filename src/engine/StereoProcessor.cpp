#include "engine/StereoProcessor.h"

namespace tarvo {

namespace {
std::unique_ptr<AudioEngine> newEngine(KernelCode& code) {
#if TARVO_HAS_AVX2_KERNEL
    if (code == KernelCode::avx2 && avx2KernelUsable())
        return std::unique_ptr<AudioEngine>(tarvo_avx2::newLaneEngine());
#endif
    code = KernelCode::sse2;
    return std::make_unique<LaneEngine<Lanes2>>();
}
}  // namespace

StereoProcessor::StereoProcessor() : StereoProcessor(defaultKernelCode()) {}

StereoProcessor::StereoProcessor(KernelCode code) : code_(code), engine_(newEngine(code_)) {}

}  // namespace tarvo
