#include "filters/PolyInterpolator.h"

#include <cstring>

#include "filters/NoiseGenerator.h"

namespace tarvo {

namespace {

/// The weights of the rows a factor F uses (p = j / F, row j * 8 / F),
/// stored by sample role so that outputs side by side share a multiply.
template <int F>
struct Columns {
    double w[5][F];
};

template <int F>
constexpr Columns<F> columnsFor() {
    Columns<F> c{};
    for (int j = 0; j < F; ++j)
        for (int role = 0; role < 5; ++role) c.w[role][j] = PolyInterpolator::kWeights[j * (8 / F)][role];
    return c;
}

constexpr Columns<2> kColumns2 = columnsFor<2>();
constexpr Columns<4> kColumns4 = columnsFor<4>();
constexpr Columns<8> kColumns8 = columnsFor<8>();

// Up to kWidth doubles in one register: 4 in the AVX2 build, else 2 (GCC's
// vector extension: per lane the same IEEE operations as on doubles).
#if defined(__AVX2__)
constexpr int kWidth = 4;
#else
constexpr int kWidth = 2;
#endif
template <int W>
struct OutputsOf {
    typedef double Type __attribute__((vector_size(W * sizeof(double))));
};

/// out_j = wb*b + wc*c + wd*d + we*e + wx*x for j = 0 .. F-1, in that order
/// for every j, W outputs side by side (one multiply per role and
/// register). out_0 = d itself: the first row is (0, 0, 1, 0, 0), but its
/// sum would turn a d of -0 into +0, and 0 times an infinite neighbour is NaN.
template <int F>
inline void interpolate(const Columns<F>& c, double b, double cc, double d, double e, double x,
                        double* out) noexcept {
    constexpr int W = F < kWidth ? F : kWidth;
    using V = typename OutputsOf<W>::Type;
    const auto weights = [&](int role, int m) {
        V w;
        std::memcpy(&w, &c.w[role][m], sizeof w);
        return w;
    };
    for (int m = 0; m < F; m += W) {
        const V y = weights(0, m) * b + weights(1, m) * cc + weights(2, m) * d +
                    weights(3, m) * e + weights(4, m) * x;
        std::memcpy(out + m, &y, sizeof y);
    }
    out[0] = d;
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
        case 2: interpolate(kColumns2, b, c, d, e, x, out); break;
        case 4: interpolate(kColumns4, b, c, d, e, x, out); break;
        case 8: interpolate(kColumns8, b, c, d, e, x, out); break;
        default: out[0] = d; break;
    }
    history[0] = c;
    history[1] = d;
    history[2] = e;
    history[3] = x;
}

namespace {

template <int F>
void interpolateRun(PolyInterpolator& p, const Columns<F>* columns, const double* in,
                    double gain, std::uint32_t frames, double* out, double* newest) noexcept {
    double b = p.history[0];
    double c = p.history[1];
    double d = p.history[2];
    double e = p.history[3];
    std::uint32_t seed = p.noiseSeed;
    const double level = p.noiseLevel;
    for (std::uint32_t j = 0; j < frames; ++j) {
        const double x = gain * in[j] + nextNoise(seed, level);
        if (F == 1)
            out[j] = d;
        else
            interpolate(*columns, b, c, d, e, x, out + j * F);
        newest[j] = x;
        b = c;
        c = d;
        d = e;
        e = x;
    }
    p.history[0] = b;
    p.history[1] = c;
    p.history[2] = d;
    p.history[3] = e;
    p.noiseSeed = seed;
}

}  // namespace

void PolyInterpolator::processRun(const double* in, double gain, std::uint32_t frames,
                                  double* out, double* newest) noexcept {
    switch (factor) {
        case 2: interpolateRun(*this, &kColumns2, in, gain, frames, out, newest); break;
        case 4: interpolateRun(*this, &kColumns4, in, gain, frames, out, newest); break;
        case 8: interpolateRun(*this, &kColumns8, in, gain, frames, out, newest); break;
        default:
            interpolateRun<1>(*this, nullptr, in, gain, frames, out, newest);
            break;
    }
}

void PolyInterpolator::reset() noexcept {
    history[0] = history[1] = history[2] = history[3] = 0.0;
}

}  // namespace tarvo
