#include "filters/PolyInterpolator.h"

#include "filters/NoiseGenerator.h"

namespace tarvo {

const double PolyInterpolator::kWeights[8][5] = {
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

namespace {

/// Outputs 1 .. F-1 for a fixed factor F, fully unrolled by the compiler;
/// output j uses the weight row of p = j / F, that is row j * 8 / F.
template <int F>
inline void interpolate(double b, double c, double d, double e, double x, double* out) noexcept {
    out[0] = d;
    for (int j = 1; j < F; ++j) {
        const double* w = PolyInterpolator::kWeights[j * (8 / F)];
        out[j] = w[0] * b + w[1] * c + w[2] * d + w[3] * e + w[4] * x;
    }
}

}  // namespace

PolyInterpolator::PolyInterpolator()
    : history{0.0, 0.0, 0.0, 0.0},
      factor(4),
      noiseLevel(2.9802322387695312e-08),  // 2^-25
      noiseSeed(takeNoiseSeed()) {}

void PolyInterpolator::process(double input, double* out) noexcept {
    const double x = input + nextNoise(noiseSeed, noiseLevel);
    const double b = history[0];
    const double c = history[1];
    const double d = history[2];
    const double e = history[3];
    switch (factor) {
        case 2: interpolate<2>(b, c, d, e, x, out); break;
        case 4: interpolate<4>(b, c, d, e, x, out); break;
        case 8: interpolate<8>(b, c, d, e, x, out); break;
        default: out[0] = d; break;
    }
    history[0] = c;
    history[1] = d;
    history[2] = e;
    history[3] = x;
}

void PolyInterpolator::reset() noexcept {
    history[0] = history[1] = history[2] = history[3] = 0.0;
}

}  // namespace tarvo
