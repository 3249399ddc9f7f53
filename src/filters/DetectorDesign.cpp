#include "filters/DetectorDesign.h"

#include "filters/Biquad.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

/// Share of a difference a follower takes per sample at frequency f.
double followerCoefficient(double f) { return 1.0 / (1.0 / (kTwoPi * f) + 1.0); }

/// Numerators C9 .. C16 of the soft-attack polynomial S(t) = sum C_k t^k,
/// which has S(0) = 0, S(1) = 1, S'(1) = 1 and eight vanishing derivatives at 0.
constexpr double kSoftCurveNumerators[8] = {6435.0,   -40040.0, 108108.0, -163800.0,
                                            150150.0, -83160.0, 25740.0,  -3432.0};
constexpr double kSoftWidth = 0.025;

}  // namespace

EnvelopeDesign designEnvelope(bool alphaMode, double fa, double fr, double fc) {
    EnvelopeDesign d{};
    double cutoff = alphaMode ? fc : std::max(fa, fr);
    if (cutoff >= 0.5) cutoff = 0.49;
    d.outputFilter = designLowPass(cutoff);
    d.attackCoefficient = followerCoefficient(fa);
    d.releaseCoefficient = followerCoefficient(fr);
    d.softWidth = kSoftWidth;
    for (int k = 9; k <= 16; ++k)
        d.softCurve[k - 9] = kSoftCurveNumerators[k - 9] / std::pow(kSoftWidth, k - 1);
    return d;
}

double timeToFrequency(double seconds, double rate) {
    if (seconds > 0.0) return 1.0 / (seconds * rate);
    return 1.0 / kTwoPi;
}

DetectorTiming detectorTiming(bool alphaMode, double attackSeconds) {
    double a, b, w;
    if (alphaMode) {
        a = 0.00005;
        b = 0.001;
        w = 0.0439;
    } else if (attackSeconds <= 0.0095) {
        a = 0.001;
        b = 0.05;
        w = 0.02735;
    } else if (attackSeconds <= 0.0245) {
        a = 0.01;
        b = 0.05;
        w = 0.0768;
    } else {
        a = 0.025;
        b = 0.05;
        w = 0.11185;
    }
    return DetectorTiming{a, b, std::pow(10.0, w)};
}

std::uint32_t limiterWindowLength(double rate) {
    const double n = std::ceil(rate * 0.00063);
    if (!(n >= 2.0)) return 2;
    if (n > 1048576.0) return 1048576;
    return static_cast<std::uint32_t>(n);
}

LimiterFilters designLimiterFilters(double rate) {
    LimiterFilters f;
    f.peak = designSmoothingLowPass(3571.4285714285716 / rate);
    f.release = designSmoothingLowPass(115.66265060240964 / rate);
    f.average = designSmoothingLowPass(10.0 / rate);
    return f;
}

std::uint32_t silenceHoldSamples(double sampleRate, double releaseSeconds) {
    const double n = 2.0 * sampleRate * releaseSeconds;
    if (!(n > 0.0)) return 0;
    if (n >= 4294967295.0) return 4294967295u;
    return static_cast<std::uint32_t>(n);
}

}  // namespace tarvo
