#pragma once

namespace tarvo {

/// The highest oversampling factor.
constexpr int kMaximumOversampling = 8;

/// The oversampling factors the resamplers run: 1, 2, 4 or 8. Any other
/// request is taken as the largest of these not above it (at least 1), so
/// a resampler never writes or reads more than 8 samples per base sample.
inline int supportedFactor(int factor) noexcept {
    return factor >= 8 ? 8 : factor >= 4 ? 4 : factor >= 2 ? 2 : 1;
}

/// Whether the halfband stages run: only when asked for and above 1x.
inline bool effectiveHq(int factor, bool hq) noexcept {
    return hq && supportedFactor(factor) > 1;
}

/// Factor of the polynomial interpolator and IIR decimator: the whole
/// factor, or half of it when the halfband stages supply the other 2:1.
inline int stageFactorFor(int factor, bool hq) noexcept {
    const int f = supportedFactor(factor);
    return effectiveHq(f, hq) ? f / 2 : f;
}

}  // namespace tarvo
