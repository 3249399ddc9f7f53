#pragma once

#include <cstdint>
#include <string_view>

#include "params/ParameterDescriptor.h"

namespace tarvo {

// Typed values to host positions. A host position p gives the value
// v = minimum + (maximum - minimum) * p (ParameterDescriptor), and the
// configuration pass turns v into what the engine runs. For most parameters
// that is v itself; a few run a step of it:
//
// - "Ratio": the gain computer's tenth at or below v (floor(10 v) / 10);
//   above 10.9 a hard ceiling, which is what "inf" runs too;
// - "Att.Mode": "Alpha" only at exactly 1, "Sigma" below;
// - the other choice parameters: the option floor(v + 0.5), as displayed;
// - "Filter": off at exactly 40 Hz ("Off").
//
// The display rounds v to its decimals instead, so a display text can name a
// step the position does not run (ratio 3.96 shows "4.0" and runs 3.9).
// positionRunning answers the position that runs what a user means.

/// Whether "Att.Mode" at `value` runs the Alpha detector: only the exact end.
constexpr bool runsAlphaMode(double value) noexcept { return value >= 1.0; }

/// The ratio "Ratio" at `value` hands to the gain computers: 100 at the
/// "inf" end (11), else the value itself.
constexpr double gainComputerRatio(double value) noexcept { return value >= 11.0 ? 100.0 : value; }

/// The side-chain high-pass corner of "Filter" at `value`, in Hz: 0 (off)
/// at the "Off" end, 40 Hz, else the value.
constexpr double sideChainFilterHz(double value) noexcept { return value > 40.0 ? value : 0.0; }

/// What the engine runs for parameter `index` at `value`, in the
/// parameter's own units, so displayText shows it: "Ratio" its tenth at or
/// below, or the maximum (11, "inf") for the hard ceiling above 10.9;
/// "Att.Mode" 1 or 0; a choice parameter its option number; "Filter" the
/// minimum when off; every other parameter the value itself.
double runningValue(const ParameterDescriptor& descriptor, int index, double value) noexcept;

/// The host position whose value runs `value` (in the descriptor's current
/// range), for parameter `index`:
/// - the value is first kept inside the range (a time outside the "A,R Time"
///   range acts as the nearer end); NaN counts as the minimum;
/// - a choice parameter: the option floor(value - minimum + 0.5), at the
///   position option / (maximum - minimum), narrowed to float ("Alpha" is
///   1.0);
/// - otherwise, among the single-precision positions around the value's own
///   position, the one whose value runs what the value runs
///   (runningValue equal), shows what the value shows if one does ("11.0",
///   not "inf"), and lies nearest to it; "Ratio" 4.0 gives the
///   first position at or above 4.0, which runs the 4.0 row; a number
///   that no position holds exactly, the nearest position. A ratio no
///   position runs (10.9: the row lies between two floats) takes the
///   nearest position that runs less, the tenth below.
float positionRunning(const ParameterDescriptor& descriptor, int index, double value) noexcept;

/// The value a typed text names for a parameter, as its display would show
/// it (case, surrounding blanks and the unit label after a number are
/// ignored): an option name ("Alpha", or "6" for the option "+6"); the text
/// shown at an end ("Off", "inf", "Soft", "Hard"); or a number. A number
/// equal to an end that shows a text instead ("Filter" 40 shows "Off") is
/// taken as just inside that end, where the number is shown. Numbers outside
/// the range are returned as they are. False when the text names nothing.
bool valueForText(const ParameterDescriptor& descriptor, std::string_view text,
                  double& value) noexcept;

/// The value a single-precision number stands for (an LV2 control port's):
/// the decimal number at the parameter's display decimals whose nearest
/// float it is ("Ratio" 5.6f, which is 5.5999999, stands for 5.6), else the
/// number itself.
double valueOfFloat(const ParameterDescriptor& descriptor, float number) noexcept;

/// For a tool that hosts the plug-in: the position of parameter `index` at
/// which the value `text` names runs, with Attack and Release in the ranges
/// the "A,R Time" position `arTimePosition` selects. A number outside the
/// range is taken as the nearer end for Attack and Release only. False (and
/// position untouched) for an unknown index, a text that names nothing, or
/// a number outside the range of another parameter.
bool positionForText(int index, std::string_view text, float arTimePosition,
                     float& position) noexcept;

/// For a tool that hosts a plug-in: whether the plug-in that reports this
/// unique ID, parameter count and effect name is Tarvo ('TRV2', 22
/// parameters, "Tarvo"), whose texts positionForText maps.
bool hostedPluginIsTarvo(std::int32_t uniqueId, int parameterCount,
                         std::string_view effectName) noexcept;

}  // namespace tarvo
