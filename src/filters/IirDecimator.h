#pragma once

#include <cstdint>

#include "filters/Biquad.h"
#include "filters/NoiseGenerator.h"

namespace tarvo {

/// Noise amplitude of a decimator for the noise setting n: 1 / 2^(n+1),
/// or 0 when n is 0 (20 gives 2^-21, 24 gives 2^-25).
double decimatorNoiseLevel(int noiseBits) noexcept;
/// Noise amplitude of a channel's interpolator: 2^-25, or 0 when n is 0.
double interpolatorNoiseLevel(int noiseBits) noexcept;

/// Second-order IIR decimator: `factor` inputs at the oversampled rate
/// through a Butterworth low-pass at the output's Nyquist frequency; the
/// output for the last input then runs through a correction shelf at the
/// output rate (lifting the top of the band against the low-pass droop)
/// and is scaled by `gain`, the reciprocal of the shelf's DC gain, for
/// unity gain at DC. Factor 1 passes the input. A rectangular dither is
/// added to every output.
struct IirDecimator {
    Biquad lowPass;      ///< runs at the oversampled rate
    Biquad correction;   ///< runs at the output rate
    double gain;
    int factor;          ///< 1, 2, 4 or 8 inputs per output
    double noiseLevel;
    std::uint32_t noiseSeed;

    /// Designed for factor 4 and noise setting 20; seed from takeNoiseSeed().
    IirDecimator();

    /// Reads `factor` inputs, oldest first; returns one output. Inline, so
    /// that a caller at a known factor loses the switch.
    inline double process(const double* in) noexcept;
    /// Clears both sections' histories; coefficients, gain, factor, noise
    /// level and seed are kept.
    void reset() noexcept;
    /// Designs for the stage factor F and noise setting n and takes the new
    /// coefficients, gain, factor and noise level; histories and seed are kept.
    /// low-pass at f = 0.5 / F (0.49 for F <= 1); shelf and gain from the
    /// table of F = 2, 4, 8 (any other F takes the row of F = 1).
    void redesign(int stageFactor, int noiseBits) noexcept;
};

inline double IirDecimator::process(const double* in) noexcept {
    double y;
    switch (factor) {
        case 1:
            y = in[0];
            break;
        case 2:
            lowPass.process(in[0]);
            y = gain * correction.process(lowPass.process(in[1]));
            break;
        case 4:
            lowPass.process(in[0]);
            lowPass.process(in[1]);
            lowPass.process(in[2]);
            y = gain * correction.process(lowPass.process(in[3]));
            break;
        case 8:
            lowPass.process(in[0]);
            lowPass.process(in[1]);
            lowPass.process(in[2]);
            lowPass.process(in[3]);
            lowPass.process(in[4]);
            lowPass.process(in[5]);
            lowPass.process(in[6]);
            y = gain * correction.process(lowPass.process(in[7]));
            break;
        default:
            y = in[0];
            break;
    }
    return y + nextNoise(noiseSeed, noiseLevel);
}

}  // namespace tarvo
