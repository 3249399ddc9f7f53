#include "filters/HalfbandFir.h"

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

double HalfbandFir::dot() const noexcept {
    const double* t = taps.data();
#if defined(__GNUC__)
    t = static_cast<const double*>(__builtin_assume_aligned(t, 16));
#endif
    const double* d = delay.newest();
    // Four partial sums per lane (lane 0 the even, lane 1 the odd index);
    // written out so the compiler keeps them as four two-lane registers.
    double s0a = 0.0, s0b = 0.0, s1a = 0.0, s1b = 0.0;
    double s2a = 0.0, s2b = 0.0, s3a = 0.0, s3b = 0.0;
    for (int k = 0; k < kTapCount; k += 8) {
        s0a += t[k + 0] * d[k + 0];
        s0b += t[k + 1] * d[k + 1];
        s1a += t[k + 2] * d[k + 2];
        s1b += t[k + 3] * d[k + 3];
        s2a += t[k + 4] * d[k + 4];
        s2b += t[k + 5] * d[k + 5];
        s3a += t[k + 6] * d[k + 6];
        s3b += t[k + 7] * d[k + 7];
    }
    const double low = (s1a + s0a) + (s3a + s2a);
    const double high = (s1b + s0b) + (s3b + s2b);
    return high + low;
}

void HalfbandInterpolator::process(double x, double& y0, double& y1) noexcept {
    // The input enters doubled: zero-stuffing to twice the rate halves the
    // level, and the kernel has unity gain at DC.
    fir_.delay.push(2.0 * x);
    y0 = fir_.centre * fir_.delay.at(kLatency);
    y1 = fir_.dot();
}

double HalfbandDecimator::process(double u0, double u1) noexcept {
    first_.push(u0);
    const double c = centre_ * first_.at(kLatency);
    fir_.delay.push(u1);
    const double f = fir_.dot();
    return f + c;
}

}  // namespace tarvo
