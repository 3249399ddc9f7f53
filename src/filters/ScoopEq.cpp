#include "filters/ScoopEq.h"

#include <cmath>

namespace tarvo {

namespace {

/// Per band: (Hz, n or q, dB at full depth) for g >= 0, then the same for
/// g < 0. Band 0 is the low shelf (q sets its slope), bands 1-3 are peaks
/// (n is the reciprocal of the bandwidth in octaves).
constexpr double kBands[4][6] = {
    {332.0, 0.7, 6.5, 296.0, 0.7, -6.5},
    {1452.0, 0.3, 7.0, 1669.0, 0.5, -12.0},
    {3470.0, 1.1, -13.0, 3659.0, 0.3, 12.0},
    {8200.0, 0.3, 9.0, 8200.0, 0.6, -12.0},
};
/// Output level in dB at full depth, for g >= 0 and g < 0.
constexpr double kOutputDb[2] = {-6.57, 3.48};

/// Whether a section's poles lie strictly inside the unit circle (and its
/// coefficients are finite): |c2| < 1 and |c1| < 1 - c2.
bool isStable(const Biquad& s) {
    const bool finite = std::isfinite(s.b0) && std::isfinite(s.b1) && std::isfinite(s.b2) &&
                        std::isfinite(s.c1) && std::isfinite(s.c2);
    return finite && std::fabs(s.c2) < 1.0 && std::fabs(s.c1) < 1.0 - s.c2;
}

Biquad flatSection() {
    Biquad s;
    s.b0 = 1.0;
    s.a0 = 1.0;
    return s;
}

}  // namespace

ScoopEq::ScoopEq() : ScoopEq(designScoop(176400.0, 0.0)) {}

ScoopEq designScoop(double rate, double g) {
    const double depth = std::fabs(g * 0.08333333333333333);
    const int column = g < 0.0 ? 1 : 0;
    ScoopEq eq{ScoopEq::Undesigned{}};
    eq.gain = std::pow(10.0, kOutputDb[column] * depth * 0.05);
    double level[4];
    for (int band = 0; band < 4; ++band)
        level[band] = std::pow(10.0, kBands[band][3 * column + 2] * depth * 0.05);

    const double q = kBands[0][3 * column + 1];
    const double l0 = level[0];
    const double slope = -(1.0 + l0 * l0) / (2.0 * l0 - (1.0 + l0 * l0) - l0 / (q * q));
    eq.shelf = designLowShelf(kBands[0][3 * column] / rate, slope, l0);
    Biquad* peaks[3] = {&eq.peak1, &eq.peak2, &eq.peak3};
    for (int band = 1; band < 4; ++band) {
        const double* row = &kBands[band][3 * column];
        // A band at or near the Nyquist frequency of a low running rate (about
        // 16.4 kHz for the 8.2 kHz band) makes the octave-bandwidth design
        // divide 0 by 0 or put its poles on the unit circle; it is left flat.
        const Biquad peak = designPeak(row[0] / rate, row[1], level[band]);
        *peaks[band - 1] = isStable(peak) ? peak : flatSection();
    }
    return eq;
}

bool setScoop(ScoopEq& wet, ScoopEq& dry, double linearGain, double rate) noexcept {
    const double g = 20.0 * std::log10(linearGain);
    wet.setCoefficients(designScoop(rate, g));
    dry.setCoefficients(designScoop(rate, -g));
    return linearGain != 1.0;
}

}  // namespace tarvo
