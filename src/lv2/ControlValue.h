#pragma once

#include "params/ParameterDescriptor.h"

namespace tarvo::lv2 {

/// The host position a control port's value stands for. Control ports hold
/// values in the units the parameter displays (Hz, dB, ms, %, ratio), or the
/// option number of a choice parameter.
///
/// - Choice parameter: the nearest option, kept inside the list; position =
///   option / maximum, narrowed to float, so the option acts exactly as the
///   same option chosen in a VST host.
/// - A value equal, in single precision, to the value a factory program's
///   position gives in the descriptor's current range: that position. Float
///   values are coarser than float positions over most of a range, so
///   without this a preset could only come near a factory position.
/// - Otherwise: (value - minimum) / (maximum - minimum) in the descriptor's
///   current range, clamped to [0, 1] (also for infinite values), narrowed to
///   float. A value that lies in range comes back from the descriptor's
///   toValue within float resolution.
///
/// index is the descriptor's parameter number.
/// A NaN stands for nothing: the answer is false and position is untouched.
bool positionForPortValue(const ParameterDescriptor& descriptor, int index, float value,
                          float& position) noexcept;

}  // namespace tarvo::lv2
