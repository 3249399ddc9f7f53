#include "filters/Biquad.h"

#include <cmath>

namespace tarvo {

Biquad designLowPass(double f) {
    Biquad s;
    const double w = kTwoPi * f;
    const double sn = std::sin(w);
    const double cs = std::cos(w);
    const double alpha = 0.7071067811865475 * sn;
    s.b0 = (1.0 - cs) / 2.0 / (1.0 + alpha);
    s.b1 = (1.0 - cs) / (1.0 + alpha);
    s.b2 = s.b0;
    s.a0 = 1.0;
    s.c1 = 2.0 * cs / (1.0 + alpha);
    s.c2 = -(1.0 - alpha) / (1.0 + alpha);
    return s;
}

Biquad designHighPass(double f, double q) {
    Biquad s;
    const double w = kTwoPi * f;
    const double sn = std::sin(w);
    const double cs = std::cos(w);
    const double alpha = sn / (2.0 * q);
    s.b0 = (1.0 + cs) / 2.0 / (1.0 + alpha);
    s.b1 = -(1.0 + cs) / (1.0 + alpha);
    s.b2 = s.b0;
    s.a0 = 1.0;
    s.c1 = 2.0 * cs / (1.0 + alpha);
    s.c2 = -(1.0 - alpha) / (1.0 + alpha);
    return s;
}

Biquad designLowShelf(double f, double slope, double gain) {
    Biquad s;
    const double w = kTwoPi * f;
    const double sn = std::sin(w);
    const double cs = std::cos(w);
    const double A = std::sqrt(gain);
    const double alpha = 0.5 * sn * std::sqrt((A + 1.0 / A) * (1.0 / slope - 1.0) + 2.0);
    const double t = 2.0 * std::sqrt(A) * alpha;
    const double a0 = (A + 1.0) + (A - 1.0) * cs + t;
    s.b0 = A * ((A + 1.0) - (A - 1.0) * cs + t) / a0;
    s.b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * cs) / a0;
    s.b2 = A * ((A + 1.0) - (A - 1.0) * cs - t) / a0;
    s.a0 = 1.0;
    s.c1 = 2.0 * ((A - 1.0) + (A + 1.0) * cs) / a0;
    s.c2 = -((A + 1.0) + (A - 1.0) * cs - t) / a0;
    return s;
}

Biquad designCorrectionShelf(double f, double slope, double gain) {
    Biquad s;
    const double w = kTwoPi * f;
    const double sn = std::sin(w);
    const double cs = std::cos(w);
    const double A = std::sqrt(gain);
    const double alpha = 0.5 * sn * std::sqrt((A + 1.0 / A) * (1.0 / slope - 1.0) + 2.0);
    const double t = 2.0 * std::sqrt(A) * alpha;
    const double a0 = (A + 1.0) - (A - 1.0) * cs + t;
    s.b0 = (1.0 / a0) * a0 * A;
    s.b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * cs) / a0;
    s.b2 = A * ((A + 1.0) + (A - 1.0) * cs - t) / a0;
    s.a0 = 1.0;
    s.c1 = -2.0 * ((A - 1.0) - (A + 1.0) * cs) / a0;
    s.c2 = -((A + 1.0) - (A - 1.0) * cs - t) / a0;
    return s;
}

Biquad designPeak(double f, double n, double gain) {
    Biquad s;
    const double w = kTwoPi * f;
    const double sn = std::sin(w);
    const double cs = std::cos(w);
    const double A = std::sqrt(gain);
    const double alpha = sn * std::sinh(std::log(2.0) / 2.0 * w / sn / n);
    const double norm = 1.0 + alpha / A;
    s.b0 = (1.0 + alpha * A) / norm;
    s.b1 = -2.0 * cs / norm;
    s.b2 = (1.0 - alpha * A) / norm;
    s.c1 = 2.0 * cs / norm;
    s.c2 = -(1.0 - alpha / A) / norm;
    return s;
}

Biquad designSmoothingLowPass(double f) {
    Biquad s;
    const double w = kTwoPi * f;
    const double sn = std::sin(w);
    const double cs = std::cos(w);
    const double h = 1.0 / (4.0 - 2.0 * cs + 3.0 * sn);
    s.b0 = 3.0 * h * (1.0 - cs);
    s.b1 = 2.0 * s.b0;
    s.b2 = s.b0;
    s.a0 = 1.0;
    s.c1 = h * (8.0 * cs - 4.0);
    s.c2 = -h * (4.0 - 2.0 * cs - 3.0 * sn);
    return s;
}

BiquadPair joinPair(const Biquad& first, const Biquad& second) {
    BiquadPair pair;
    pair.first.setCoefficients(first);
    pair.second.setCoefficients(second);
    return pair;
}

}  // namespace tarvo
