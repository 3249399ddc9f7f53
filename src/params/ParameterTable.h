#pragma once

#include "params/ParameterDescriptor.h"

#include <array>
#include <cstdint>

namespace tarvo {

/// Parameter numbers as the host addresses them; programs store one
/// position per number in this order.
namespace param {
enum Index : std::int32_t {
    Filter = 0,        ///< side-chain high-pass corner, Hz; "Off" at 40
    Threshold,         ///< "Thresh.", dB
    Knee,              ///< 0 soft .. 1 hard
    Attack,            ///< ms, range follows "A,R Time"
    Release,           ///< ms, range follows "A,R Time"
    Ratio,             ///< 1.1 .. 11, "inf" at 11
    LimiterCeiling,    ///< "Limiter" number 6, dB
    Makeup,            ///< dB
    MidScoop,          ///< dB
    DryWet,            ///< percent of dry signal, "Off" at 0
    Mode,              ///< channel mode 0..6
    Upsampling,        ///< "Upsampl." factor 1x, 2x, 4x, 8x
    AttackMode,        ///< "Att.Mode" Sigma / Alpha
    Input,             ///< input gain option
    LimiterPosition,   ///< "Limiter" number 14: Pre, Post, Off
    Saturation,        ///< "Saturat." Ratio, Off, On
    Bypass,
    Render8x,
    Dither,            ///< noise High, Off, Low
    SideChain,         ///< "Sd.chain" Internal / External
    ArTime,            ///< "A,R Time" range scales of Attack and Release
    OversamplingPath,  ///< "Upsmpl." Fast / HQ
};
}  // namespace param

constexpr int kParameterCount = 22;

/// One row of the "A,R Time" switch: Attack runs a .. 100 a ms, Release
/// 50 r .. 1000 r ms, each with its own display decimals.
struct ArTimeRange {
    double attackScale;
    int attackPrecision;
    double releaseScale;
    int releasePrecision;
};

/// Rows in the order of the "A,R Time" options.
extern const std::array<ArTimeRange, 5> ArTimeRanges;

/// Gives Attack and Release the ranges and display decimals of row `option`
/// of ArTimeRanges (kept inside the table); their values are not touched.
void setArTimeRanges(ParameterDescriptor& attack, ParameterDescriptor& release, int option) noexcept;

/// Builds the 22 descriptors in parameter order, with the Attack and Release
/// ranges of row 0 of ArTimeRanges. Values are 0 and unmarked; the owner
/// assigns them from the current program.
std::array<ParameterDescriptor, kParameterCount> makeParameterDescriptors() noexcept;

/// The option lists, shared where two parameters offer the same names.
namespace options {
extern const char* const mode[7];
extern const char* const upsampling[4];
extern const char* const attackMode[2];
extern const char* const input[5];
extern const char* const limiterPosition[3];
extern const char* const saturation[3];
extern const char* const offOn[2];  ///< "Bypass" and "Render8x"
extern const char* const dither[3];
extern const char* const sideChain[2];
extern const char* const arTime[5];
extern const char* const oversamplingPath[2];
}  // namespace options

}  // namespace tarvo
