#pragma once

#include <cstdint>
#include <vector>

#include "engine/ChannelStrip.h"

namespace tarvo {

/// A second, plain statement of one channel strip's signal flow, for the
/// tests: every step on plain doubles, one sub-sample at a time, written from
/// the flow rather than from the engine's kernel (no lanes, no row loops, no
/// process function of the engine's blocks). It performs the same
/// floating-point operations in the same order as the engine, so the two
/// agree to the bit; a lane rule or a step the kernel gets wrong shows up as
/// a difference.
///
/// Built beside a freshly built and configured engine, before it processes
/// anything: it takes the strip's designs (coefficients), settings, limiter
/// window, resampler histories and noise seeds, and starts every other
/// history where a fresh engine starts it (zero; the gain smoother at rest
/// at 1.0). A frame of an awake strip is detect, then compress, then finish;
/// a caller that links two strips does so on levels() between detect and
/// compress and on the limiter gains between compress and finish.
class ReferenceStrip {
public:
    explicit ReferenceStrip(const ChannelStrip& strip);

    /// The strip's new settings and designs after a change between blocks:
    /// coefficients only, every history carries on; a new limiter window
    /// length keeps the oldest entries (zeros behind them) and restarts
    /// writing at slot 0.
    void takeDesigns(const ChannelStrip& strip);

    /// Silence gate: true while the strip is awake. Asleep after
    /// silenceHoldSamples frames in which key and audio are both 0.0; any
    /// other frame wakes it.
    bool gate(double key, double audio);

    /// One frame of the key (which is also the audio): input gain, the way
    /// up, key filter, level detector, detector gain -> levels().
    void detect(double key);
    /// The frame's levels, one per sub-sample, before any link.
    double* levels() { return level_; }
    /// Static gain, gain smoother, the limiter's window and sections, and
    /// for "Post" and "Off" the scoop and the mix.
    void compress();
    /// The limiter's gains of the frame (for a link between strips).
    double* averageGains() { return averageGain_; }
    double* peakGains() { return peakGain_; }
    /// Limiter gain, saturation, for "Pre" the scoop and the mix, and the
    /// way down with its dither: the frame's output.
    double finish();
    /// A frame asleep: a zero enters the limiter window and the limiter's
    /// three sections take one step on zeros; nothing else moves.
    void sleep();

    bool limiting() const { return limiterPre_ || limiterPost_; }
    std::uint32_t subSamples() const { return factor_; }

    /// One direct-form-I section: y = b0 x + b1 x1 + b2 x2 + c1 y1 + c2 y2.
    struct Section {
        double b0, b1, b2, c1, c2;
        double x1, x2, y1, y2;
        explicit Section(const Biquad& design);
        void take(const Biquad& design);
        double step(double x);
    };

private:
    struct Envelope {
        Section inputFilter, outputFilter;
        double attack, release, envelope, softWidth, softCurve[8];
        explicit Envelope(const EnvelopeFollower& design);
        void take(const EnvelopeFollower& design);
        void follow(double y);
    };
    struct Scoop {
        Section shelf, peak1, peak2, peak3;
        double gain;
        explicit Scoop(const ScoopEq& design);
        void take(const ScoopEq& design);
        double step(double x);
    };
    /// The last `length` values pushed, newest at(0); starts at zero.
    struct History {
        std::vector<double> values;
        std::uint32_t newest = 0;
        explicit History(std::uint32_t length) : values(length, 0.0) {}
        void push(double x);
        double at(std::uint32_t ago) const;
    };

    /// Factors, gains, switches, the gain computer, noise levels.
    void takeSettings(const ChannelStrip& strip);
    double noise(std::uint32_t& seed, double level);
    /// Polynomial interpolator at factor `stage`: x (plus dither) in, `stage` values out.
    void interpolate(double x, double* out);
    /// Halfband odd-phase dot product of the newest 176 values of h.
    double halfbandDot(const History& h) const;
    double decimate(const double* in);
    double mix(double y, double x);
    double curve(double x) const;
    double staticGain(double level) const;

    // Settings.
    std::uint32_t factor_ = 4, stageFactor_ = 4;
    bool hq_ = false;
    double inputGain_ = 1.0, wetGain_ = 1.0, dryGain_ = 0.0, detectorGain_ = 1.0;
    double clipLevel_ = 1.0, ceiling_ = 1.0, upNoise_ = 0.0, downNoise_ = 0.0;
    bool limiterPre_ = true, limiterPost_ = false, scoopOn_ = false, saturation_ = true;
    bool highPassOn_ = true;
    std::uint32_t silenceHold_ = 0;
    GainComputer computer_;  // its design values; curve() is restated here

    // Gate.
    bool active_ = false;
    std::uint32_t silentFrames_ = 0;

    // The way up: interpolator history (oldest first) and halfband input line.
    double interpolatorHistory_[4];
    std::uint32_t upSeed_;
    History upHalfband_{176};

    // Between the resamplers.
    Section keyHighPass1_, keyHighPass2_, keyShelf_;
    Envelope detector_, smoother_;
    std::vector<double> window_;
    std::uint32_t windowPosition_;
    Section peakFilter_, releaseFilter_, averageFilter_;
    double hold_ = 0.0;
    Scoop scoopWet_, scoopDry_;

    // The way down.
    Section lowPass_, correction_;
    double decimatorGain_;
    std::uint32_t downSeed_;
    History downFirst_{176}, downSecond_{176};

    // The frame's rows.
    double audio_[8], level_[8], processed_[8], averageGain_[8], peakGain_[8];
    double limiterKey_ = 0.0;
};

}  // namespace tarvo
