#pragma once

#include <cmath>

namespace tarvo {
namespace testing {

/// Steady-state gain of a linear per-sample process at f cycles per sample:
/// drives it with cos(2 pi f n) for `settle` samples, then fits
/// y = a cos + b sin over the next `measure` samples (least squares, exact
/// for a settled sinusoid) and returns sqrt(a^2 + b^2). f = 0 and f = 0.5
/// work too (the sine column vanishes there).
template <class Process>
double sineGain(Process&& process, double f, int settle, int measure) {
    const double w = 6.283185307179586 * f;
    for (int n = 0; n < settle; ++n) process(std::cos(w * n));
    double cc = 0, ss = 0, cs = 0, yc = 0, ys = 0;
    for (int n = settle; n < settle + measure; ++n) {
        const double c = std::cos(w * n), s = std::sin(w * n);
        const double y = process(c);
        cc += c * c;
        ss += s * s;
        cs += c * s;
        yc += y * c;
        ys += y * s;
    }
    if (ss < 1e-9 * cc) return std::fabs(yc / cc);
    const double det = cc * ss - cs * cs;
    const double a = (yc * ss - ys * cs) / det;
    const double b = (ys * cc - yc * cs) / det;
    return std::sqrt(a * a + b * b);
}

inline double toDb(double gain) { return 20.0 * std::log10(gain); }

}  // namespace testing
}  // namespace tarvo
