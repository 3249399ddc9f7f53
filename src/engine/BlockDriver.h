#pragma once

#include <cstdint>

#include "engine/StereoProcessor.h"

namespace tarvo {

/// Runs one host block through the engine in double precision. inputs holds
/// main left, main right, side-chain left and side-chain right; outputs left
/// and right. The side-chain pair is read only
/// with an external key. Every frame reads all its inputs before it writes,
/// so in-place buffers give the same result as separate ones.
///
/// A host may hand over null pointers and non-finite samples: null arrays
/// process nothing, a missing input channel and a NaN or infinite input
/// sample read as silence (hostSample), and a missing output channel is not
/// written. A frame the engine leaves unwritten (invalid channel mode) comes
/// out as silence rather than whatever the buffer held.
template <typename Sample>
void processHostBuffers(StereoProcessor& engine, bool sideChainExternal, Sample* const* inputs,
                        Sample* const* outputs, std::int32_t frames) noexcept {
    if (frames <= 0 || inputs == nullptr || outputs == nullptr) return;
    const Sample* inLeft = inputs[0];
    const Sample* inRight = inputs[1];
    Sample* outLeft = outputs[0];
    Sample* outRight = outputs[1];

    if (sideChainExternal)
        engine.processKeyedBySideChain(inLeft, inRight, inputs[2], inputs[3], outLeft,
                                       outRight, frames);
    else
        engine.processKeyedByMain(inLeft, inRight, outLeft, outRight, frames);
}

}  // namespace tarvo
