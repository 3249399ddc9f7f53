#include "filters/IirDecimator.h"

#include <cmath>

#include "filters/NoiseGenerator.h"

namespace tarvo {

namespace {

/// Correction shelf (f in cycles per output sample, slope S, gain G) and
/// the output gain, 1 / (DC gain of the shelf), per stage factor.
struct CorrectionRow {
    double f, slope, shelfGain, gain;
};
constexpr CorrectionRow kFactor2{0.36232, 0.64098, 1.29853, 0.9732861399017102};
constexpr CorrectionRow kFactor4{0.36062, 0.64016, 1.31635, 0.9720464088505786};
constexpr CorrectionRow kFactor8{0.359445, 0.63849, 1.31922, 0.9719647251466955};
constexpr CorrectionRow kOtherFactor{0.3635, 0.725, 1.277, 0.9742042054397407};  // 10^-0.01135

const CorrectionRow& correctionRow(int stageFactor) noexcept {
    switch (stageFactor) {
        case 2: return kFactor2;
        case 4: return kFactor4;
        case 8: return kFactor8;
        default: return kOtherFactor;
    }
}

}  // namespace

double decimatorNoiseLevel(int noiseBits) noexcept {
    return noiseBits != 0 ? std::ldexp(1.0, -(noiseBits + 1)) : 0.0;
}

double interpolatorNoiseLevel(int noiseBits) noexcept {
    return noiseBits != 0 ? 2.9802322387695312e-08 : 0.0;  // 2^-25
}

IirDecimator::IirDecimator() : factor(4), noiseLevel(0.0), noiseSeed(takeNoiseSeed()) {
    redesign(4, 20);
}

void IirDecimator::redesign(int stageFactor, int noiseBits) noexcept {
    const double cutoff = stageFactor <= 1 ? 0.49 : 0.5 / stageFactor;
    lowPass.setCoefficients(designLowPass(cutoff));
    const CorrectionRow& row = correctionRow(stageFactor);
    correction.setCoefficients(designCorrectionShelf(row.f, row.slope, row.shelfGain));
    gain = row.gain;
    factor = stageFactor;
    noiseLevel = decimatorNoiseLevel(noiseBits);
}

}  // namespace tarvo
