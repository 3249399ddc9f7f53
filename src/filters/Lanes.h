#pragma once

#include <cmath>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#if defined(__AVX2__)
#include <immintrin.h>
#endif
#define TARVO_LANES_SSE2 1
#endif

namespace tarvo {

// The value types the per-sample steps are written over: plain `double`
// (one strip) and two strips side by side, lane 0 and lane 1: `Lanes2` (one
// SSE2 register) or `PlainLanes2` (two doubles).
// A step written once with the operations below performs, in every lane,
// the same IEEE double operations in the same order as with `double`, so
// both instantiations give the same bits. A comparison yields a mask
// (`bool` for double); branches ask allOf/anyOf of it and blends use select.

inline double minOf(double a, double b) noexcept { return a < b ? a : b; }
inline double maxOf(double a, double b) noexcept { return a > b ? a : b; }
inline double magnitude(double x) noexcept { return std::fabs(x); }
inline double select(bool mask, double then, double otherwise) noexcept {
    return mask ? then : otherwise;
}
inline bool allOf(bool mask) noexcept { return mask; }
inline bool anyOf(bool mask) noexcept { return mask; }

/// Per lane true or false.
struct PlainLanes2Mask {
    bool lane[2];
};

/// Two lanes as two plain doubles, each operation lane by lane: the
/// portable form of Lanes2 (what Lanes2 is without SSE2) and the engine's
/// scalar reference, whose steps then run as the double operations of the
/// `double` instantiation, one lane after the other.
struct PlainLanes2 {
    double lane[2];

    PlainLanes2() = default;
    PlainLanes2(double both) noexcept : lane{both, both} {}
    PlainLanes2(double lane0, double lane1) noexcept : lane{lane0, lane1} {}

    static PlainLanes2 loadAligned(const double* p) noexcept { return {p[0], p[1]}; }

    double lane0() const noexcept { return lane[0]; }
    double lane1() const noexcept { return lane[1]; }
    PlainLanes2 spread0() const noexcept { return PlainLanes2(lane[0]); }
    PlainLanes2 spread1() const noexcept { return PlainLanes2(lane[1]); }
    void store(double* lane0, double* lane1) const noexcept {
        *lane0 = lane[0];
        *lane1 = lane[1];
    }
};

inline PlainLanes2 operator+(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]};
}
inline PlainLanes2 operator-(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]};
}
inline PlainLanes2 operator*(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]};
}
inline PlainLanes2 operator/(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {a.lane[0] / b.lane[0], a.lane[1] / b.lane[1]};
}
inline PlainLanes2Mask operator<(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {{a.lane[0] < b.lane[0], a.lane[1] < b.lane[1]}};
}
inline PlainLanes2Mask operator>(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {{a.lane[0] > b.lane[0], a.lane[1] > b.lane[1]}};
}
inline PlainLanes2Mask operator==(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {{a.lane[0] == b.lane[0], a.lane[1] == b.lane[1]}};
}
inline PlainLanes2Mask operator|(PlainLanes2Mask a, PlainLanes2Mask b) noexcept {
    return {{a.lane[0] || b.lane[0], a.lane[1] || b.lane[1]}};
}
inline bool allOf(PlainLanes2Mask m) noexcept { return m.lane[0] && m.lane[1]; }
inline bool anyOf(PlainLanes2Mask m) noexcept { return m.lane[0] || m.lane[1]; }
inline PlainLanes2 minOf(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {minOf(a.lane[0], b.lane[0]), minOf(a.lane[1], b.lane[1])};
}
inline PlainLanes2 maxOf(PlainLanes2 a, PlainLanes2 b) noexcept {
    return {maxOf(a.lane[0], b.lane[0]), maxOf(a.lane[1], b.lane[1])};
}
inline PlainLanes2 magnitude(PlainLanes2 x) noexcept { return {std::fabs(x.lane[0]), std::fabs(x.lane[1])}; }
inline PlainLanes2 select(PlainLanes2Mask m, PlainLanes2 then, PlainLanes2 otherwise) noexcept {
    return {m.lane[0] ? then.lane[0] : otherwise.lane[0],
            m.lane[1] ? then.lane[1] : otherwise.lane[1]};
}


#if TARVO_LANES_SSE2

/// Per lane all ones (true) or all zeros (false).
struct Lanes2Mask {
    __m128d bits;
};

/// Two doubles in one SSE2 register; lane 0 is the low half.
struct Lanes2 {
    __m128d v;

    Lanes2() = default;
    /// Both lanes v (implicit, so constants mix with lanes as with doubles).
    Lanes2(double both) noexcept : v(_mm_set1_pd(both)) {}
    Lanes2(double lane0, double lane1) noexcept : v(_mm_set_pd(lane1, lane0)) {}
    explicit Lanes2(__m128d bits) noexcept : v(bits) {}

    /// p[0] and p[1], p 16-byte aligned.
    static Lanes2 loadAligned(const double* p) noexcept { return Lanes2(_mm_load_pd(p)); }

    double lane0() const noexcept { return _mm_cvtsd_f64(v); }
    double lane1() const noexcept { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }
    /// Both lanes lane 0's (lane 1's) value.
    Lanes2 spread0() const noexcept { return Lanes2(_mm_unpacklo_pd(v, v)); }
    Lanes2 spread1() const noexcept { return Lanes2(_mm_unpackhi_pd(v, v)); }
    void store(double* lane0, double* lane1) const noexcept {
        _mm_store_sd(lane0, v);
        _mm_storeh_pd(lane1, v);
    }
};

inline Lanes2 operator+(Lanes2 a, Lanes2 b) noexcept { return Lanes2(_mm_add_pd(a.v, b.v)); }
inline Lanes2 operator-(Lanes2 a, Lanes2 b) noexcept { return Lanes2(_mm_sub_pd(a.v, b.v)); }
inline Lanes2 operator*(Lanes2 a, Lanes2 b) noexcept { return Lanes2(_mm_mul_pd(a.v, b.v)); }
inline Lanes2 operator/(Lanes2 a, Lanes2 b) noexcept { return Lanes2(_mm_div_pd(a.v, b.v)); }
inline Lanes2Mask operator<(Lanes2 a, Lanes2 b) noexcept { return {_mm_cmplt_pd(a.v, b.v)}; }
inline Lanes2Mask operator>(Lanes2 a, Lanes2 b) noexcept { return {_mm_cmpgt_pd(a.v, b.v)}; }
inline Lanes2Mask operator==(Lanes2 a, Lanes2 b) noexcept { return {_mm_cmpeq_pd(a.v, b.v)}; }
inline Lanes2Mask operator|(Lanes2Mask a, Lanes2Mask b) noexcept {
    return {_mm_or_pd(a.bits, b.bits)};
}
inline bool allOf(Lanes2Mask m) noexcept { return _mm_movemask_pd(m.bits) == 3; }
inline bool anyOf(Lanes2Mask m) noexcept { return _mm_movemask_pd(m.bits) != 0; }
/// a < b ? a : b per lane (minpd keeps b where either is NaN, as the compare does).
inline Lanes2 minOf(Lanes2 a, Lanes2 b) noexcept { return Lanes2(_mm_min_pd(a.v, b.v)); }
/// a > b ? a : b per lane.
inline Lanes2 maxOf(Lanes2 a, Lanes2 b) noexcept { return Lanes2(_mm_max_pd(a.v, b.v)); }
/// The sign bit cleared, as std::fabs.
inline Lanes2 magnitude(Lanes2 x) noexcept {
    return Lanes2(_mm_and_pd(x.v, _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll))));
}
/// then where the mask is set, else otherwise (a mask lane is all ones or
/// all zeros; the AVX2 build blends in one instruction).
inline Lanes2 select(Lanes2Mask m, Lanes2 then, Lanes2 otherwise) noexcept {
#if defined(__AVX2__)
    return Lanes2(_mm_blendv_pd(otherwise.v, then.v, m.bits));
#else
    return Lanes2(_mm_or_pd(_mm_and_pd(m.bits, then.v), _mm_andnot_pd(m.bits, otherwise.v)));
#endif
}

#else

using Lanes2 = PlainLanes2;
using Lanes2Mask = PlainLanes2Mask;

#endif

/// State of a step over two strips: every double of `a` in lane 0 and of `b`
/// in lane 1. State is any S<double> whose members are all doubles (or such
/// structs), so that S<L> (L: Lanes2 or PlainLanes2, both lane 0 first in
/// memory) holds the same fields in the same order.
template <class L, template <typename> class S>
S<L> zipLanes(const S<double>& a, const S<double>& b) noexcept {
    static_assert(sizeof(S<L>) == 2 * sizeof(S<double>), "only double members");
    static_assert(std::is_trivially_copyable<S<L>>::value, "plain state");
    constexpr std::size_t n = sizeof(S<double>) / sizeof(double);
    double fromA[n], fromB[n];
    std::memcpy(fromA, &a, sizeof fromA);
    std::memcpy(fromB, &b, sizeof fromB);
    double zipped[2 * n];
    for (std::size_t k = 0; k < n; ++k) {
        zipped[2 * k] = fromA[k];
        zipped[2 * k + 1] = fromB[k];
    }
    S<L> lanes;
    std::memcpy(static_cast<void*>(&lanes), zipped, sizeof zipped);
    return lanes;
}

/// Lane `lane` (0 or 1) of every pair of lanes in `from` copied into `to`,
/// the other lane of `to` kept: how a strip that sleeps keeps its state
/// while its partner runs. S holds only Lanes2 or only PlainLanes2 (or
/// structs of them); both are two doubles, lane 0 first.
template <class S>
void copyLane(S& to, const S& from, int lane) noexcept {
    static_assert(std::is_trivially_copyable<S>::value, "plain state");
    static_assert(sizeof(Lanes2) == 2 * sizeof(double) &&
                      sizeof(PlainLanes2) == 2 * sizeof(double),
                  "two doubles, lane 0 first");
    static_assert(sizeof(S) % sizeof(Lanes2) == 0, "only lanes");
    unsigned char* t = reinterpret_cast<unsigned char*>(&to);
    const unsigned char* f = reinterpret_cast<const unsigned char*>(&from);
    for (std::size_t k = static_cast<std::size_t>(lane) * sizeof(double); k < sizeof(S);
         k += sizeof(Lanes2))
        std::memcpy(t + k, f + k, sizeof(double));
}

/// Lane 0 of every pair of lanes in `s` copied into lane 1: how a lane
/// becomes the twin of the other, so that it takes every branch the same
/// way. S holds only lanes, as for copyLane.
template <class S>
void copyLane0ToLane1(S& s) noexcept {
    static_assert(std::is_trivially_copyable<S>::value, "plain state");
    static_assert(sizeof(S) % sizeof(Lanes2) == 0, "only lanes");
    unsigned char* p = reinterpret_cast<unsigned char*>(&s);
    for (std::size_t k = 0; k < sizeof(S); k += sizeof(Lanes2))
        std::memcpy(p + k + sizeof(double), p + k, sizeof(double));
}

}  // namespace tarvo
