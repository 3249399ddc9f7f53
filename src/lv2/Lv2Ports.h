#pragma once

#include <cstdint>

#include "params/ParameterTable.h"

namespace tarvo::lv2 {

/// The plug-in's LV2 URI; preset n is kPresetUriPrefix followed by n.
inline constexpr const char* kPluginUri = "urn:hanvik:tarvo";
inline constexpr const char* kPresetUriPrefix = "urn:hanvik:tarvo:preset:";

/// Port indices. Audio first (main pair, side-chain pair, outputs), then one
/// control input per parameter in parameter order, then the latency output
/// and the host's free-wheeling flag, then the host's enabled switch and
/// the meters (added later, so they come last: earlier indices never move).
enum Port : std::uint32_t {
    inLeft = 0,
    inRight,
    sideChainLeft,
    sideChainRight,
    outLeft,
    outRight,
    firstControl,  ///< parameter i is port firstControl + i
    latency = firstControl + kParameterCount,
    freeWheel,
    enabled,        ///< lv2:enabled input; unconnected reads as enabled
    gainReduction,  ///< dB of compressor gain reduction, >= 0
    inputLevel,     ///< main input peak, dBFS
    outputLevel,    ///< output peak, dBFS
    portCount
};

}  // namespace tarvo::lv2
