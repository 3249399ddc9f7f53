#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/BlockDriver.h"
#include "engine/Denormals.h"
#include "engine/StereoProcessor.h"
#include "params/ParameterController.h"

namespace tarvo {

/// Zeros both output channels of a block; a missing channel pointer is
/// skipped.
template <typename Sample>
void writeSilence(Sample* const* outputs, std::int32_t frames) noexcept {
    if (!outputs || frames <= 0) return;
    for (int channel = 0; channel < 2; ++channel)
        if (outputs[channel]) std::fill_n(outputs[channel], frames, Sample(0));
}

/// One processing call as every plug-in format makes it: flush-to-zero on,
/// the host's process level handed over (offline rendering, level 4, may
/// force 8x), the configuration pass, then the frames. inputs holds main
/// left, main right, side-chain left and side-chain right; outputs left and
/// right; frames <= 0 configures and processes nothing.
///
/// A suspended instance may be configured on a host thread at this very
/// moment; the block then plays silence instead of racing it.
template <typename Sample>
void runHostBlock(ParameterController& params, StereoProcessor& engine, std::int32_t processLevel,
                  Sample* const* inputs, Sample* const* outputs, std::int32_t frames) noexcept {
    enableFlushToZero();
    if (!params.tryAcquireEngine()) {
        writeSilence(outputs, frames);
        return;
    }
    params.processLevel(processLevel);
    params.configureEngine();
    processHostBuffers(engine, params.sideChainExternal(), inputs, outputs, frames);
    params.releaseEngine();
}

}  // namespace tarvo
