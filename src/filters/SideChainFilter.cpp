#include "filters/SideChainFilter.h"

#include <cmath>

namespace tarvo {

namespace {

constexpr double kHighPassHz = 35.15;
constexpr double kShelfHz = 296.0;

/// Shelf slope for the gain g: S = (1 + g^2) / ((1 + g^2) + g / 0.49 - 2g).
double shelfSlope(double g) {
    return -(1.0 + g * g) / (2.0 * g - (1.0 + g * g) - 2.0408163265306127 * g);
}

}  // namespace

double sideChainQ(double c) {
    const double c2 = c * c;
    return 236410735106.01834 * c /
           std::sqrt(1.873733445464774e19 * c2 * c2 + 1.1178007134673595e23 * c2 -
                     6.905339660024878e25);
}

SideChainFilter::SideChainFilter() : highPassOn(true) {
    const Biquad section = designHighPass(kHighPassHz / 176400.0, sideChainQ(100.0));
    highPass = joinPair(section, section);
    shelf = designLowShelf(0.0016780045351473924, shelfSlope(std::pow(10.0, -0.325)),
                           std::pow(10.0, -0.151));
}

void SideChainFilter::design(double sampleRate, int factor, double filterHz) noexcept {
    const double rate = sampleRate * factor;
    if (filterHz > 0.0) {
        const Biquad section = designHighPass(kHighPassHz / rate, sideChainQ(filterHz));
        highPass.first.setCoefficients(section);
        highPass.second.setCoefficients(section);
        highPassOn = true;
    } else {
        const double g = std::pow(10.0, -0.151);  // -3.02 dB
        shelf.setCoefficients(designLowShelf(kShelfHz / rate, shelfSlope(g), g));
        highPassOn = false;
    }
}

}  // namespace tarvo
