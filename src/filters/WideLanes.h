#pragma once

#include "filters/Biquad.h"
#include "filters/Inlining.h"
#include "filters/Lanes.h"

// Four doubles in one 32-byte register, for the AVX2 build of the engine
// only: two sections of two strips each side by side (the low half one
// section, strip A and B, the high half another), or four values of a row
// at once. Every lane performs the same IEEE double operations in the same
// order as with Lanes2 or double, so both builds give the same bits.
#if defined(__AVX2__)
#include <immintrin.h>

namespace tarvo {

/// Four doubles: the low half's two lanes, then the high half's.
struct Lanes4 {
    __m256d v;

    Lanes4() = default;
    Lanes4(double all) noexcept : v(_mm256_set1_pd(all)) {}
    explicit Lanes4(__m256d bits) noexcept : v(bits) {}
    /// low in lanes 0 and 1, high in lanes 2 and 3.
    Lanes4(Lanes2 low, Lanes2 high) noexcept : v(_mm256_set_m128d(high.v, low.v)) {}

    Lanes2 low() const noexcept { return Lanes2(_mm256_castpd256_pd128(v)); }
    Lanes2 high() const noexcept { return Lanes2(_mm256_extractf128_pd(v, 1)); }
    /// Lanes2::spread0 (spread1) in each half: lane 0 (1) of the half in both.
    Lanes4 spread0() const noexcept { return Lanes4(_mm256_unpacklo_pd(v, v)); }
    Lanes4 spread1() const noexcept { return Lanes4(_mm256_unpackhi_pd(v, v)); }
};

/// Per lane all ones (true) or all zeros (false).
struct Lanes4Mask {
    __m256d bits;
};

inline Lanes4 operator+(Lanes4 a, Lanes4 b) noexcept { return Lanes4(_mm256_add_pd(a.v, b.v)); }
inline Lanes4 operator-(Lanes4 a, Lanes4 b) noexcept { return Lanes4(_mm256_sub_pd(a.v, b.v)); }
inline Lanes4 operator*(Lanes4 a, Lanes4 b) noexcept { return Lanes4(_mm256_mul_pd(a.v, b.v)); }
inline Lanes4 operator/(Lanes4 a, Lanes4 b) noexcept { return Lanes4(_mm256_div_pd(a.v, b.v)); }
inline Lanes4Mask operator<(Lanes4 a, Lanes4 b) noexcept {
    return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)};
}
inline Lanes4Mask operator>(Lanes4 a, Lanes4 b) noexcept {
    return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)};
}
/// a < b ? a : b per lane, as Lanes2's minOf.
inline Lanes4 minOf(Lanes4 a, Lanes4 b) noexcept { return Lanes4(_mm256_min_pd(a.v, b.v)); }
/// a > b ? a : b per lane, as Lanes2's maxOf.
inline Lanes4 maxOf(Lanes4 a, Lanes4 b) noexcept { return Lanes4(_mm256_max_pd(a.v, b.v)); }
inline Lanes4 select(Lanes4Mask m, Lanes4 then, Lanes4 otherwise) noexcept {
    return Lanes4(_mm256_blendv_pd(otherwise.v, then.v, m.bits));
}

/// Lane masks (bit k: lane k) for lane `lane` (0 or 1) of a strip: of
/// each half, or of the high half only.
inline constexpr int laneInBothHalves(int lane) noexcept { return lane == 0 ? 0x5 : 0xA; }
inline constexpr int laneInHighHalf(int lane) noexcept { return lane == 0 ? 0x4 : 0x8; }

/// `to` with the lanes of `lanes` (a lane mask) taken from `from`'s
/// histories: how one strip's lane of a pair of sections is set apart.
inline BiquadOf<Lanes4> withHistoryOf(BiquadOf<Lanes4> to, const BiquadOf<Lanes4>& from,
                                      int lanes) noexcept {
    const Lanes4Mask take{_mm256_castsi256_pd(
        _mm256_set_epi64x(lanes & 8 ? -1 : 0, lanes & 4 ? -1 : 0, lanes & 2 ? -1 : 0,
                          lanes & 1 ? -1 : 0))};
    const auto blend = [take](Lanes4 kept, Lanes4 taken) { return select(take, taken, kept); };
    to.x1 = blend(to.x1, from.x1);
    to.x2 = blend(to.x2, from.x2);
    to.y1 = blend(to.y1, from.y1);
    to.y2 = blend(to.y2, from.y2);
    return to;
}

/// Sections `low` and `high` side by side: coefficients and histories.
inline BiquadOf<Lanes4> pairSections(const BiquadOf<Lanes2>& low,
                                     const BiquadOf<Lanes2>& high) noexcept {
    BiquadOf<Lanes4> s;
    s.b0 = Lanes4(low.b0, high.b0);
    s.b1 = Lanes4(low.b1, high.b1);
    s.b2 = Lanes4(low.b2, high.b2);
    s.a0 = Lanes4(low.a0, high.a0);
    s.c1 = Lanes4(low.c1, high.c1);
    s.c2 = Lanes4(low.c2, high.c2);
    s.x1 = Lanes4(low.x1, high.x1);
    s.x2 = Lanes4(low.x2, high.x2);
    s.y1 = Lanes4(low.y1, high.y1);
    s.y2 = Lanes4(low.y2, high.y2);
    return s;
}

/// The histories of a pair back into its two sections (their coefficients
/// did not change).
inline void unpairSections(const BiquadOf<Lanes4>& s, BiquadOf<Lanes2>& low,
                           BiquadOf<Lanes2>& high) noexcept {
    low.x1 = s.x1.low(), high.x1 = s.x1.high();
    low.x2 = s.x2.low(), high.x2 = s.x2.high();
    low.y1 = s.y1.low(), high.y1 = s.y1.high();
    low.y2 = s.y2.low(), high.y2 = s.y2.high();
}

}  // namespace tarvo

#endif
