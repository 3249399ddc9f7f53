#pragma once

#include <cstdint>
#include <memory>

namespace tarvo {

/// N doubles on the heap, 16-byte aligned, zero-filled. Copy construction
/// allocates; copy assignment only copies the contents (same size), so an
/// assignment between live stages allocates nothing.
template <int N>
class AlignedDoubles {
public:
    AlignedDoubles() : storage_(new double[N + 1]()), data_(align(storage_.get())) {}
    AlignedDoubles(const AlignedDoubles& other) : AlignedDoubles() { *this = other; }
    AlignedDoubles& operator=(const AlignedDoubles& other) noexcept {
        for (int i = 0; i < N; ++i) data_[i] = other.data_[i];
        return *this;
    }
    ~AlignedDoubles() = default;

    double* data() noexcept { return data_; }
    const double* data() const noexcept { return data_; }
    double& operator[](int i) noexcept { return data_[i]; }
    double operator[](int i) const noexcept { return data_[i]; }

private:
    // new double[] is at least 8-byte aligned, so one spare slot suffices.
    static double* align(double* p) noexcept {
        return (reinterpret_cast<std::uintptr_t>(p) & 15u) != 0 ? p + 1 : p;
    }
    std::unique_ptr<double[]> storage_;
    double* data_;
};

/// A double-buffered delay line of kLength slots that needs no modulo
/// indexing: samples are written downwards from writeIndex, and when the
/// index reaches 0 the newest kLength samples are copied to the upper half
/// (one block copy every kLength pushes). After a push, at(j) is the sample
/// pushed j pushes ago, valid for j up to kLength + 2 (the slack of the
/// storage covers the padded taps of the dot product).
class HalfbandDelayLine {
public:
    static constexpr int kLength = 173;
    static constexpr int kStorage = 2 * (kLength + 5);

    void push(double x) noexcept {
        if (writeIndex == 0) {
            double* s = slots.data();
            for (int i = 0; i < kLength; ++i) s[kLength + i] = s[i];
            writeIndex = kLength;
        }
        --writeIndex;
        slots[writeIndex] = x;
    }
    double at(int samplesAgo) const noexcept { return slots[writeIndex + samplesAgo]; }
    const double* newest() const noexcept { return slots.data() + writeIndex; }
    /// Zero-fills the whole storage and sets writeIndex back to kLength.
    void reset() noexcept;

    AlignedDoubles<kStorage> slots;
    int writeIndex = kLength;
};

/// The odd phase of the halfband kernel with its delay line, the part both
/// halfband stages share. taps = h[1], h[3], ..., h[343], then 4 zeros so
/// the dot product runs over 22 whole blocks of 8; centre = h[172].
struct HalfbandFir {
    static constexpr int kTapCount = 176;
    static constexpr int kActiveTaps = 172;

    HalfbandFir();

    /// sum_{k=0}^{175} taps[k] * delay.at(k), in 22 blocks of 8 with eight
    /// partial sums (tap k into sum k mod 8: s0a, s0b, s1a, s1b, ... s3b),
    /// combined as low = (s1a + s0a) + (s3a + s2a), high likewise over the b
    /// sums, and high + low.
    double dot() const noexcept;
    /// dot() of two stages at once: a's into ya, b's into yb, each with the
    /// same partial sums, in the same order, as dot() (so the same bits).
    /// One sum's additions form a chain that waits on itself; two sums side
    /// by side fill each other's waits, and read the taps once (every stage
    /// holds the same kernel, so a's taps serve both).
    static void dotPair(const HalfbandFir& a, const HalfbandFir& b, double& ya,
                        double& yb) noexcept;

    AlignedDoubles<kTapCount> taps;
    int tapCount = kTapCount;
    int activeTaps = kActiveTaps;
    HalfbandDelayLine delay;
    double centre;
};

/// Doubles the rate with the halfband kernel: one input x gives y0 then y1.
/// y0 = 2 * centre * x[n - 86] (the even phase is the centre tap alone),
/// y1 = 2 * sum_k kernel[k] * x[n - k]; latency 86 input samples.
class HalfbandInterpolator {
public:
    static constexpr int kLatency = 86;

    void process(double x, double& y0, double& y1) noexcept;
    /// process on two stages at once (a on xa, b on xb), the same bits as
    /// one after the other.
    static void processPair(HalfbandInterpolator& a, HalfbandInterpolator& b, double xa,
                            double xb, double (&ya)[2], double (&yb)[2]) noexcept;
    /// Clears the delay line; the kernel is kept.
    void reset() noexcept { fir_.delay.reset(); }
    int activeTaps() const noexcept { return fir_.activeTaps; }
    /// The input of `samplesAgo` calls ago (0: the newest), up to 175: the
    /// delay line holds it doubled, and halving is exact.
    double pastInput(int samplesAgo) const noexcept { return 0.5 * fir_.delay.at(samplesAgo); }
    /// Takes over the other stage's history (delay line and write index).
    void copyStateFrom(const HalfbandInterpolator& other) noexcept {
        fir_.delay.slots = other.fir_.delay.slots;
        fir_.delay.writeIndex = other.fir_.delay.writeIndex;
    }
    const HalfbandFir& fir() const noexcept { return fir_; }

private:
    /// x into the delay line (doubled); returns y0, the centre tap's output.
    double take(double x) noexcept;

    HalfbandFir fir_;
};

/// Halves the rate with the halfband kernel: the pair (u0, u1), u0 earlier,
/// gives y = sum_k kernel[k] * u1[n - k] + centre * u0[n - 85]; latency 85
/// output samples from the older sample of each pair.
class HalfbandDecimator {
public:
    static constexpr int kLatency = 85;

    HalfbandDecimator() : centre_(fir_.centre) {}

    double process(double u0, double u1) noexcept;
    /// process on two stages at once: a on (u0a, u1a) into ya, b on
    /// (u0b, u1b) into yb, the same bits as one after the other.
    static void processPair(HalfbandDecimator& a, HalfbandDecimator& b, double u0a, double u1a,
                            double u0b, double u1b, double& ya, double& yb) noexcept;
    /// Clears both delay lines; the kernel is kept.
    void reset() noexcept {
        fir_.delay.reset();
        first_.reset();
    }
    /// 172, the latency in host samples of a full HQ path.
    int activeTaps() const noexcept { return fir_.activeTaps; }
    const HalfbandFir& fir() const noexcept { return fir_; }

private:
    /// The pair into the two delay lines; returns the centre tap's term.
    double take(double u0, double u1) noexcept;

    HalfbandFir fir_;
    HalfbandDelayLine first_;  ///< the first sample of each pair
    double centre_;
};

}  // namespace tarvo
