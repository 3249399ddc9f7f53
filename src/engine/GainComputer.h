#pragma once

#include <cmath>

#include "engine/GainComputerTable.h"

namespace tarvo {

/// Static compression curve: level x -> output level y.
///   x >= kneeEnd, finite ratio: y = T^(1 - 1/r) * x^(1/r), the power taken
///     from the polynomial table row of r and held constant beyond its limit L;
///   x >= kneeEnd, ratio above 10.9: y = T (hard ceiling);
///   x <  kneeEnd: the quartic y = x + c3 x^3 + c4 x^4, slope 1 at 0, joining
///     the upper curve's value at kneeEnd.
/// design runs between blocks; curve per sub-sample (no pow, no log).
struct GainComputer {
    double threshold = 1.0;     ///< T, linear
    double inverseRatio = 0.0;  ///< 1/r, 0.0 for the hard ceiling
    double curveScale = 1.0;    ///< T^(1 - 1/r), as (1/T)^(1/r) * T
    int tableRow = 0;           ///< 0 .. 98
    double floorLevel = 1e-6;   ///< levels below it get gain 1 (in the strip)
    double kneeEnd = 0.0;       ///< x_k
    double kneeCubic = 0.0;     ///< c3
    double kneeQuartic = 0.0;   ///< c4

    /// Designed with threshold 1.0, knee 1.0, ratio 2.0.
    GainComputer();

    /// threshold linear (> 0), knee 0 .. 1, ratio 1.1 .. 10.99 or 100 ("inf").
    /// The ratio is truncated to a tenth; above 10.9 the curve has a hard
    /// ceiling (tableRow and curveScale then keep their previous values).
    /// kneeEnd = T (2 - 0.95 K).
    void design(double threshold, double knee, double ratio);

    /// The ratio a design runs for `ratio`: its tenth at or below,
    /// floor(10 ratio) / 10 (the floor taken on the double 10 ratio), up to
    /// 10.9; above 10.9, 0.0 for the hard ceiling.
    static double runningRatio(double ratio) noexcept {
        return ratio <= 10.9 ? std::floor(10.0 * ratio) * 0.1 : 0.0;
    }

    /// Output level for a level x >= 0.
    double curve(double x) const noexcept {
        if (x < kneeEnd) {
            const double x2 = x * x;
            const double x3 = x2 * x;
            const double x4 = x2 * x2;
            return (kneeQuartic * x4 + kneeCubic * x3) + x;
        }
        if (inverseRatio > 0.0) return upperCurve(x);
        return threshold;
    }

    /// The upper branch alone: P_row(min(v, L)) * curveScale. Inline, since
    /// it runs per sub-sample.
    inline double upperCurve(double v) const noexcept;
};

inline double GainComputer::upperCurve(double v) const noexcept {
    const double* p = kGainComputerPowerTable[tableRow];
    if (v > p[9]) v = p[9];
    const double v2 = v * v;
    const double v4 = v2 * v2;
    return (((p[7] * v + p[6]) * v2 + p[8] * v4 + p[5] * v + p[4]) * v4 + (p[3] * v + p[2]) * v2 +
            p[1] * v + p[0]) *
           curveScale;
}

}  // namespace tarvo
