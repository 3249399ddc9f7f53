#include "filters/HalfbandFir.h"

#include <cstring>

#include "filters/HalfbandKernel.h"

namespace tarvo {

void HalfbandDelayLine::reset() noexcept {
    double* s = slots.data();
    for (int i = 0; i < kStorage; ++i) s[i] = 0.0;
    writeIndex = kLength;
}

HalfbandFir::HalfbandFir() : centre(kHalfbandKernel[kHalfbandCentreIndex]) {
    for (int k = 0; k < kActiveTaps; ++k) taps[k] = kHalfbandKernel[2 * k + 1];
    for (int k = kActiveTaps; k < kTapCount; ++k) taps[k] = 0.0;
}

namespace {

// W doubles in one register: 4 in the AVX2 build, else 2 (GCC's vector
// extension: per lane the same IEEE operations as on doubles).
#if defined(__AVX2__)
constexpr int kDotWidth = 4;
#else
constexpr int kDotWidth = 2;
#endif
typedef double DotVector __attribute__((vector_size(kDotWidth * sizeof(double))));

inline DotVector loadDotVector(const double* p) noexcept {
    DotVector v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

/// The dot products of S stages' delay lines with the taps: per stage the
/// taps in blocks of 8, each tap k added into partial sum k mod 8 (s0a, s0b,
/// s1a, s1b, ... s3b in order), the block's 8 sums held in 8 / W registers;
/// then low = (s1a + s0a) + (s3a + s2a), high = (s1b + s0b) + (s3b + s2b),
/// and high + low. The stages' sums are independent chains, side by side.
template <int S>
inline void dots(const double* taps, const double* const (&delays)[S],
                 double (&y)[S]) noexcept {
    constexpr int perBlock = 8 / kDotWidth;
#if defined(__GNUC__)
    taps = static_cast<const double*>(__builtin_assume_aligned(taps, 16));
#endif
    DotVector sums[S][perBlock] = {};
    for (int k = 0; k < HalfbandFir::kTapCount; k += 8) {
        for (int m = 0; m < perBlock; ++m) {
            const DotVector t = loadDotVector(taps + k + m * kDotWidth);
            for (int stage = 0; stage < S; ++stage)
                sums[stage][m] += t * loadDotVector(delays[stage] + k + m * kDotWidth);
        }
    }
    for (int stage = 0; stage < S; ++stage) {
        double e[8];
        std::memcpy(e, sums[stage], sizeof e);
        const double low = (e[2] + e[0]) + (e[6] + e[4]);
        const double high = (e[3] + e[1]) + (e[7] + e[5]);
        y[stage] = high + low;
    }
}

}  // namespace

double HalfbandFir::dot() const noexcept {
    const double* const delays[1] = {delay.newest()};
    double y[1];
    dots<1>(taps.data(), delays, y);
    return y[0];
}

void HalfbandFir::dotPair(const HalfbandFir& a, const HalfbandFir& b, double& ya,
                          double& yb) noexcept {
    const double* const delays[2] = {a.delay.newest(), b.delay.newest()};
    double y[2];
    dots<2>(a.taps.data(), delays, y);
    ya = y[0];
    yb = y[1];
}

double HalfbandInterpolator::take(double x) noexcept {
    // The input enters doubled: zero-stuffing to twice the rate halves the
    // level, and the kernel has unity gain at DC.
    fir_.delay.push(2.0 * x);
    return fir_.centre * fir_.delay.at(kLatency);
}

void HalfbandInterpolator::process(double x, double& y0, double& y1) noexcept {
    y0 = take(x);
    y1 = fir_.dot();
}

void HalfbandInterpolator::processPair(HalfbandInterpolator& a, HalfbandInterpolator& b,
                                       double xa, double xb, double (&ya)[2],
                                       double (&yb)[2]) noexcept {
    ya[0] = a.take(xa);
    yb[0] = b.take(xb);
    HalfbandFir::dotPair(a.fir_, b.fir_, ya[1], yb[1]);
}

double HalfbandDecimator::take(double u0, double u1) noexcept {
    first_.push(u0);
    const double c = centre_ * first_.at(kLatency);
    fir_.delay.push(u1);
    return c;
}

double HalfbandDecimator::process(double u0, double u1) noexcept {
    const double c = take(u0, u1);
    const double f = fir_.dot();
    return f + c;
}

void HalfbandDecimator::processPair(HalfbandDecimator& a, HalfbandDecimator& b, double u0a,
                                    double u1a, double u0b, double u1b, double& ya,
                                    double& yb) noexcept {
    const double ca = a.take(u0a, u1a);
    const double cb = b.take(u0b, u1b);
    double fa, fb;
    HalfbandFir::dotPair(a.fir_, b.fir_, fa, fb);
    ya = fa + ca;
    yb = fb + cb;
}

}  // namespace tarvo
