#pragma once

#include <cstdint>

namespace tarvo {

/// Five-point polynomial interpolator, one input in and `factor` outputs
/// out. With b, c, d, e the four previous inputs (oldest first) and x the
/// new one, output j is the value at p = j / factor after d:
///   out_j = wb*b + wc*c + wd*d + we*e + wx*x   (weights per p, each row sums
/// to 1 and reproduces cubics), out_0 = d, so the delay is two input samples
/// at every factor. A rectangular dither is added to x before it enters.
struct PolyInterpolator {
    /// Interpolation weights (wb, wc, wd, we, wx) for p = i / 8, i = 0..7.
    static const double kWeights[8][5];

    double history[4];   ///< x[n-4], x[n-3], x[n-2], x[n-1]; history[3] is the newest
    int factor;          ///< 1, 2, 4 or 8 outputs per input
    double noiseLevel;   ///< amplitude of the added noise
    std::uint32_t noiseSeed;

    /// Factor 4, noise 2^-25, cleared history, seed from takeNoiseSeed().
    PolyInterpolator();

    /// Writes `factor` outputs, oldest first.
    void process(double x, double* out) noexcept;
    /// Clears the history; factor, noise level and seed are kept.
    void reset() noexcept;
};

}  // namespace tarvo
