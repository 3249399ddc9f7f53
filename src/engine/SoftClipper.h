#pragma once

#include "filters/Inlining.h"
#include "filters/Lanes.h"

namespace tarvo {

/// Saturation: u = x / clipLevel, clamped to [-1.927384823613229,
/// 1.925547073273503]; y = clipLevel * s(u) with the eighth-order polynomial
///   s(u) = u^4 (0.011322488095808 u^3 - 0.076851680685586 u
///               - 0.001614452827801 u^4 + 0.019456557521838 u^2
///               - 0.076851680685586)
///          + (0.051012188210767 - 0.048182108389193 u) u^2
///          + 1.043653138515045 u.
/// Odd and even terms colour the half-waves differently: s peaks at about
/// 0.98660 near u = 1.252 and dips to about -1.10960 near u = -1.446.
struct SoftClipper {
    /// The level a strip starts with (about +12 dB).
    static constexpr double kRestingClipLevel = 3.981;
    double clipLevel = kRestingClipLevel;  ///< linear, > 0

    double shape(double x) const noexcept;
};

/// The shape above for x at clipLevel, over a value type V (`double`, or
/// Lanes2 for two strips side by side). The clamp is max(lo, u) then
/// min(hi, u), which keeps a NaN as the compares do.
template <typename V>
TARVO_ALWAYS_INLINE V softClip(V x, V clipLevel) noexcept {
    V u = x / clipLevel;
    u = maxOf(V(-1.927384823613229), u);
    u = minOf(V(1.925547073273503), u);
    const V u2 = u * u;
    const V u3 = u2 * u;
    const V u4 = u2 * u2;
    const V s = u4 * (0.011322488095808 * u3 - 0.076851680685586 * u - 0.001614452827801 * u4 +
                      0.019456557521838 * u2 - 0.076851680685586) +
                (0.051012188210767 - 0.048182108389193 * u) * u2 + 1.043653138515045 * u;
    return s * clipLevel;
}

}  // namespace tarvo
