#pragma once

#include <cstdint>

#include "filters/Biquad.h"
#include "filters/Inlining.h"
#include "filters/NoiseGenerator.h"

namespace tarvo {

/// Noise amplitude of a decimator for the noise setting n: 1 / 2^(n+1),
/// or 0 when n is 0 (20 gives 2^-21, 24 gives 2^-25).
double decimatorNoiseLevel(int noiseBits) noexcept;
/// Noise amplitude of a channel's interpolator: 2^-25, or 0 when n is 0.
double interpolatorNoiseLevel(int noiseBits) noexcept;

/// The decimator's filtering over a value type V (`double`, or Lanes2 for
/// two decimators side by side): N inputs through the low-pass, oldest first,
/// the last one's output through the correction shelf, times gain.
template <typename V>
struct DecimatorSections {
    BiquadOf<V> lowPass;     ///< runs at the oversampled rate
    BiquadOf<V> correction;  ///< runs at the output rate
    V gain = 1.0;

    /// input(i) is the i-th of the N inputs.
    template <int N, typename Input>
    TARVO_ALWAYS_INLINE V decimate(Input input) noexcept {
        for (int i = 0; i + 1 < N; ++i) lowPass.process(input(i));
        return gain * correction.process(lowPass.process(input(N - 1)));
    }

    /// decimate<factor> for a factor of 2, 4 or 8; any other factor passes
    /// input(0) and runs no section.
    template <typename Input>
    TARVO_ALWAYS_INLINE V decimate(int factor, Input input) noexcept {
        switch (factor) {
            case 2: return decimate<2>(input);
            case 4: return decimate<4>(input);
            case 8: return decimate<8>(input);
            default: return input(0);
        }
    }

    /// Clears both sections' histories.
    void reset() noexcept {
        lowPass.reset();
        correction.reset();
    }

    /// Takes both sections' coefficients and the gain; histories carry on.
    void setCoefficients(const DecimatorSections& design) noexcept {
        lowPass.setCoefficients(design.lowPass);
        correction.setCoefficients(design.correction);
        gain = design.gain;
    }
};

/// Second-order IIR decimator: `factor` inputs at the oversampled rate
/// through a Butterworth low-pass at the output's Nyquist frequency; the
/// output for the last input then runs through a correction shelf at the
/// output rate (lifting the top of the band against the low-pass droop)
/// and is scaled by `gain`, the reciprocal of the shelf's DC gain, for
/// unity gain at DC. Factor 1 passes the input. A rectangular dither is
/// added to every output.
struct IirDecimator : DecimatorSections<double> {
    int factor;          ///< 1, 2, 4 or 8 inputs per output
    double noiseLevel;
    std::uint32_t noiseSeed;

    /// Designed for factor 4 and noise setting 20; seed from takeNoiseSeed().
    IirDecimator();

    /// Reads `factor` inputs, oldest first; returns one output. Inline, so
    /// that a caller at a known factor loses the switch.
    inline double process(const double* in) noexcept;
    /// Designs for the stage factor F and noise setting n and takes the new
    /// coefficients, gain, factor and noise level; histories and seed are kept.
    /// low-pass at f = 0.5 / F (0.49 for F <= 1); shelf and gain from the
    /// table of F = 2, 4, 8 (any other F takes the row of F = 1).
    void redesign(int stageFactor, int noiseBits) noexcept;
};

inline double IirDecimator::process(const double* in) noexcept {
    return decimate(factor, [in](int i) { return in[i]; }) + nextNoise(noiseSeed, noiseLevel);
}

}  // namespace tarvo
