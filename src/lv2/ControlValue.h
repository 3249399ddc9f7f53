#pragma once

#include "params/ParameterDescriptor.h"

namespace tarvo::lv2 {

/// The host position a control port's value stands for. Control ports hold
/// values in the units the parameter displays (Hz, dB, ms, %, ratio), or the
/// option number of a choice parameter.
///
/// - A value equal, in single precision, to the value a factory program's
///   position gives in the descriptor's current range: that position, so a
///   preset runs exactly as the program does in a VST host. Float values are
///   coarser than float positions over most of a range, so without this a
///   preset could only come near a factory position.
/// - Otherwise the position that runs the value (positionRunning), a value
///   at the display's decimals taken as the decimal number it stands for
///   (valueOfFloat: 5.6f is 5.6, not 5.5999999): a choice
///   parameter's nearest option, kept inside the list, exactly as the same
///   option chosen in a VST host; "Ratio" 4.0 the gain computer's 4.0 row;
///   "Att.Mode" 1 Alpha; other values the nearest position, a value outside
///   the range (infinite ones too) the nearer end.
///
/// index is the descriptor's parameter number.
/// A NaN stands for nothing: the answer is false and position is untouched.
bool positionForPortValue(const ParameterDescriptor& descriptor, int index, float value,
                          float& position) noexcept;

}  // namespace tarvo::lv2
