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
    static constexpr double kWeights[8][5] = {
        {0.0, 0.0, 1.0, 0.0, 0.0},
        {0.015950520833333332, -0.09798177083333333, 1.0185546875, 0.06803385416666667,
         -0.004557291666666667},
        {0.0234375, -0.1484375, 0.9609375, 0.1796875, -0.015625},
        {0.0244140625, -0.1611328125, 0.8447265625, 0.3212890625, -0.029296875},
        {0.020833333333333332, -0.14583333333333334, 0.6875, 0.4791666666666667,
         -0.041666666666666664},
        {0.0146484375, -0.1123046875, 0.5068359375, 0.6396484375, -0.048828125},
        {0.0078125, -0.0703125, 0.3203125, 0.7890625, -0.046875},
        {0.0022786458333333335, -0.029622395833333332, 0.1455078125, 0.9137369791666666,
         -0.031901041666666664},
    };

    double history[4];   ///< x[n-4], x[n-3], x[n-2], x[n-1]; history[3] is the newest
    int factor;          ///< 1, 2, 4 or 8 outputs per input
    double noiseLevel;   ///< amplitude of the added noise
    std::uint32_t noiseSeed;

    /// Factor 4, noise 2^-25, cleared history, seed from takeNoiseSeed().
    PolyInterpolator();

    /// Writes `factor` outputs, oldest first.
    void process(double x, double* out) noexcept;
    /// process for each of `frames` inputs gain * in[j], with the history
    /// and the noise generator kept in registers: frame j's outputs at
    /// out + j * factor, and the value that entered (input plus noise) at
    /// newest[j].
    void processRun(const double* in, double gain, std::uint32_t frames, double* out,
                    double* newest) noexcept;
    /// Clears the history; factor, noise level and seed are kept.
    void reset() noexcept;
};

}  // namespace tarvo
