#pragma once

#include "filters/Biquad.h"

namespace tarvo {

/// Quality of the two identical 35.15 Hz high-pass sections that puts the
/// cascade's -3.01 dB point at cornerHz (40 < cornerHz <= 260):
///   q = 236410735106.01834 c / sqrt(1.873733445464774e19 c^4
///                                   + 1.1178007134673595e23 c^2 - 6.905339660024878e25)
/// (0.7528796850613756 at 40 Hz, 0.43731196796327615 at 100, 0.20143585617444257 at 260).
double sideChainQ(double cornerHz);

/// The key filter of a channel, at the oversampled rate: a fourth-order
/// high-pass (two sections) when a corner is set, else a gentle low shelf
/// of -3.02 dB below about 296 Hz.
struct SideChainFilter {
    BiquadPair highPass;
    Biquad shelf;
    bool highPassOn;

    /// High-pass for 100 Hz at 176400 Hz; shelf at 296 Hz / 176400 Hz with
    /// G = 10^-0.151 and the slope computed from 10^-0.325; high-pass on.
    SideChainFilter();

    double process(double x) noexcept {
        return highPassOn ? highPass.process(x) : shelf.process(x);
    }
    /// Clears all three sections.
    void reset() noexcept {
        highPass.reset();
        shelf.reset();
    }
    /// designSideChain: at R = sampleRate * factor, filterHz > 0 selects the
    /// high-pass for that corner, else the shelf. Only the selected filter's
    /// coefficients change; all histories carry on.
    void design(double sampleRate, int factor, double filterHz) noexcept;
};

}  // namespace tarvo
