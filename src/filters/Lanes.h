#pragma once

#include <cmath>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARVO_LANES_SSE2 1
#endif

namespace tarvo {

// The value types the per-sample steps are written over: plain `double`
// (one strip) and `Lanes2` (two strips side by side, lane 0 and lane 1).
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
inline Lanes2 select(Lanes2Mask m, Lanes2 then, Lanes2 otherwise) noexcept {
    return Lanes2(_mm_or_pd(_mm_and_pd(m.bits, then.v), _mm_andnot_pd(m.bits, otherwise.v)));
}

#else

/// Without SSE2: the two lanes as two doubles, each operation lane by lane.
struct Lanes2Mask {
    bool lane[2];
};

struct Lanes2 {
    double lane[2];

    Lanes2() = default;
    Lanes2(double both) noexcept : lane{both, both} {}
    Lanes2(double lane0, double lane1) noexcept : lane{lane0, lane1} {}

    static Lanes2 loadAligned(const double* p) noexcept { return {p[0], p[1]}; }

    double lane0() const noexcept { return lane[0]; }
    double lane1() const noexcept { return lane[1]; }
    Lanes2 spread0() const noexcept { return Lanes2(lane[0]); }
    Lanes2 spread1() const noexcept { return Lanes2(lane[1]); }
    void store(double* lane0, double* lane1) const noexcept {
        *lane0 = lane[0];
        *lane1 = lane[1];
    }
};

inline Lanes2 operator+(Lanes2 a, Lanes2 b) noexcept {
    return {a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]};
}
inline Lanes2 operator-(Lanes2 a, Lanes2 b) noexcept {
    return {a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]};
}
inline Lanes2 operator*(Lanes2 a, Lanes2 b) noexcept {
    return {a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]};
}
inline Lanes2 operator/(Lanes2 a, Lanes2 b) noexcept {
    return {a.lane[0] / b.lane[0], a.lane[1] / b.lane[1]};
}
inline Lanes2Mask operator<(Lanes2 a, Lanes2 b) noexcept {
    return {{a.lane[0] < b.lane[0], a.lane[1] < b.lane[1]}};
}
inline Lanes2Mask operator>(Lanes2 a, Lanes2 b) noexcept {
    return {{a.lane[0] > b.lane[0], a.lane[1] > b.lane[1]}};
}
inline Lanes2Mask operator|(Lanes2Mask a, Lanes2Mask b) noexcept {
    return {{a.lane[0] || b.lane[0], a.lane[1] || b.lane[1]}};
}
inline bool allOf(Lanes2Mask m) noexcept { return m.lane[0] && m.lane[1]; }
inline bool anyOf(Lanes2Mask m) noexcept { return m.lane[0] || m.lane[1]; }
inline Lanes2 minOf(Lanes2 a, Lanes2 b) noexcept {
    return {minOf(a.lane[0], b.lane[0]), minOf(a.lane[1], b.lane[1])};
}
inline Lanes2 maxOf(Lanes2 a, Lanes2 b) noexcept {
    return {maxOf(a.lane[0], b.lane[0]), maxOf(a.lane[1], b.lane[1])};
}
inline Lanes2 magnitude(Lanes2 x) noexcept { return {std::fabs(x.lane[0]), std::fabs(x.lane[1])}; }
inline Lanes2 select(Lanes2Mask m, Lanes2 then, Lanes2 otherwise) noexcept {
    return {m.lane[0] ? then.lane[0] : otherwise.lane[0],
            m.lane[1] ? then.lane[1] : otherwise.lane[1]};
}

#endif

/// State of a step over two strips: every double of `a` in lane 0 and of `b`
/// in lane 1. State is any S<double> whose members are all doubles (or such
/// structs), so that S<Lanes2> holds the same fields in the same order.
template <template <typename> class S>
S<Lanes2> zipLanes(const S<double>& a, const S<double>& b) noexcept {
    static_assert(sizeof(S<Lanes2>) == 2 * sizeof(S<double>), "only double members");
    static_assert(std::is_trivially_copyable<S<Lanes2>>::value, "plain state");
    constexpr std::size_t n = sizeof(S<double>) / sizeof(double);
    double fromA[n], fromB[n];
    std::memcpy(fromA, &a, sizeof fromA);
    std::memcpy(fromB, &b, sizeof fromB);
    double zipped[2 * n];
    for (std::size_t k = 0; k < n; ++k) {
        zipped[2 * k] = fromA[k];
        zipped[2 * k + 1] = fromB[k];
    }
    S<Lanes2> lanes;
    std::memcpy(static_cast<void*>(&lanes), zipped, sizeof zipped);
    return lanes;
}

/// Lane `lane` (0 or 1) of every Lanes2 in `from` copied into `to`, the other
/// lane of `to` kept: how a strip that sleeps through a paired frame keeps
/// its state. S holds only Lanes2 (or structs of them).
template <class S>
void copyLane(S& to, const S& from, int lane) noexcept {
    static_assert(std::is_trivially_copyable<S>::value, "plain state");
    static_assert(sizeof(S) % sizeof(Lanes2) == 0, "only lanes");
    unsigned char* t = reinterpret_cast<unsigned char*>(&to);
    const unsigned char* f = reinterpret_cast<const unsigned char*>(&from);
    for (std::size_t k = static_cast<std::size_t>(lane) * sizeof(double); k < sizeof(S);
         k += sizeof(Lanes2))
        std::memcpy(t + k, f + k, sizeof(double));
}

/// The inverse of zipLanes: lane 0 into `a`, lane 1 into `b`.
template <template <typename> class S>
void unzipLanes(const S<Lanes2>& lanes, S<double>& a, S<double>& b) noexcept {
    static_assert(sizeof(S<Lanes2>) == 2 * sizeof(S<double>), "only double members");
    constexpr std::size_t n = sizeof(S<double>) / sizeof(double);
    double zipped[2 * n];
    std::memcpy(zipped, static_cast<const void*>(&lanes), sizeof zipped);
    double toA[n], toB[n];
    for (std::size_t k = 0; k < n; ++k) {
        toA[k] = zipped[2 * k];
        toB[k] = zipped[2 * k + 1];
    }
    std::memcpy(static_cast<void*>(&a), toA, sizeof toA);
    std::memcpy(static_cast<void*>(&b), toB, sizeof toB);
}

}  // namespace tarvo
