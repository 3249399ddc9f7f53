#pragma once

#include "params/ParameterTable.h"

namespace tarvo {

constexpr int kProgramCount = 16;
/// Longest program name: 24 characters, terminator at [24].
constexpr int kProgramNameLength = 24;

/// The factory positions: row n is program n, column i parameter i.
extern const float factoryPrograms[kProgramCount][kParameterCount];
/// The factory names, in program order.
extern const char* const factoryProgramNames[kProgramCount];

/// The "Upsampl." position that keeps a program's oversampled rate near the
/// one its factory choice gives at 44100 Hz, for a host running at rateHz:
/// k = floor(3 s + 0.5) is the factory option of position s, f = 2^k,
/// m = ceil(f * 44100 / rateHz); c = 0 when m <= 1, else the smallest c in
/// 1..4 with 2^c >= m, 4 when none is; the result is c * (1/3 in single
/// precision), so c = 4 lies above 1 and loads as "8x". m is kept in double,
/// so a rate of 0, infinity or NaN needs no integer conversion (0 and NaN
/// give c = 4, infinity c = 0).
float adaptedUpsamplingPosition(float factoryPosition, double rateHz) noexcept;

}  // namespace tarvo
