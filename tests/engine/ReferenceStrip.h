#pragma once

#include <cstdint>
#include <vector>

#include "engine/ChannelStrip.h"
#include "filters/Upsampler.h"

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
/// window, resampler histories and noise seeds (and those of the engine's
/// upsampler for this strip's audio under a side-chain key), and starts every
/// other history where a fresh engine starts it (zero; the gain smoother at
/// rest at 1.0). A frame of an awake strip is detect, then compress, then
/// finish; a caller that links two strips does so on levels() between
/// detect and compress and on the limiter gains between compress and finish.
class ReferenceStrip {
public:
    ReferenceStrip(const ChannelStrip& strip, const Upsampler& audioUpsampler);

    /// The strip's new settings and designs after a change between blocks:
    /// coefficients only, every history carries on; a new limiter window
    /// length keeps the oldest entries (zeros behind them) and restarts
    /// writing at slot 0.
    void takeDesigns(const ChannelStrip& strip, const Upsampler& audioUpsampler);
    /// The audio way up continues from the key way up (its histories; its
    /// seed and noise level stay): the side-chain key switched on.
    void takeOverSideChainAudio();

    /// Silence gate: true while the strip is awake. Asleep after
    /// silenceHoldSamples frames in which key and audio are both 0.0; any
    /// other frame wakes it.
    bool gate(double key, double audio);
    /// One gate step for a frame heard or not.
    bool gateHearing(bool heard);

    /// One frame of the key (which is also the audio): input gain, the way
    /// up, key filter, level detector, detector gain -> levels().
    void detect(double key);
    /// detect with a side-chain key: the audio takes its own way up.
    void detect(double key, double audio);
    /// detect with the audio through another strip's way up ("R-S.chn"
    /// keyed by the main input: the left through strip B's upsampler).
    void detect(double key, double audio, ReferenceStrip& audioFrom);
    /// The resamplers alone: x times the input gain up and down again, so
    /// delayed by the latency and dithered on both ways ("Mid." and "Side"
    /// pass the other half through strip B so).
    double delay(double x);
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
    /// A frame in which the strip heard nothing but still runs ("M/S", and
    /// "2 Mono" with a side-chain key, while the other strip is awake): the
    /// asleep step, then levels of 0 and the limiter key of the key last
    /// heard, while the key path holds still; the audio is silence, or with
    /// a side-chain key `audio` through its own way up. Then compress and
    /// finish as for a frame heard.
    void detectNothing();
    void detectNothing(double audio);
    /// The saturation alone: u = x / clipLevel clamped to [-1.927384823613229,
    /// 1.925547073273503], clipLevel times a polynomial of degree 8 in u.
    double clip(double x) const;

    /// Bypass: the frame's rows from x times the input gain through `from`'s
    /// key way up (this strip's, or strip B's for "R-S.chn") or, with
    /// `audioWay`, through this strip's audio way up; cleared; and down (the
    /// decimator keeps running, its result unused).
    void upRows(double x, bool audioWay, ReferenceStrip& from);
    void clearRows();
    void downRows();
    /// What a way up took in, delayed by the path's latency: the
    /// interpolator's x[n-2], with HQ the halfband stage's input 172 frames ago.
    double delayedInput(bool audioWay, const ReferenceStrip& from) const;

    bool limiting() const { return limiterPre_ || limiterPost_; }
    std::uint32_t subSamples() const { return factor_; }

private:
    /// One direct-form-I section: y = b0 x + b1 x1 + b2 x2 + c1 y1 + c2 y2.
    struct Section {
        double b0, b1, b2, c1, c2;
        double x1, x2, y1, y2;
        explicit Section(const Biquad& design);
        void take(const Biquad& design);
        double step(double x);
    };
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
        /// The halfband odd phase on the newest 176 values: sum_k h[2k+1] at(k).
        double oddPhaseDot() const;
    };
    /// One upsampler: the optional halfband stage, then the polynomial
    /// interpolator with its dither.
    struct WayUp {
        double history[4];  ///< the interpolator's x[n-4] .. x[n-1]
        std::uint32_t seed;
        double noiseLevel;
        History halfband{176};
        explicit WayUp(const Upsampler& upsampler);
        /// x in, `factor` values out; with HQ each of the halfband stage's
        /// two outputs through the interpolator at half the factor.
        void run(double x, std::uint32_t factor, bool hq, double* out);
        void interpolate(double x, std::uint32_t stage, double* out);
    };

    /// Factors, gains, switches, the gain computer, noise levels.
    void takeSettings(const ChannelStrip& strip, const Upsampler& audioUpsampler);
    /// The key through its way up into key_, and through the key filter and
    /// level detector into level_.
    void detectKey(double key);
    double decimate(const double* in);
    /// The way down with its dither, HQ stage included: one output.
    double wayDown(const double* in);
    double mix(double y, double x);
    double curve(double x) const;
    double staticGain(double level) const;

    // Settings.
    std::uint32_t factor_ = 4, stageFactor_ = 4;
    bool hq_ = false;
    double inputGain_ = 1.0, wetGain_ = 1.0, dryGain_ = 0.0, detectorGain_ = 1.0;
    double clipLevel_ = 1.0, ceiling_ = 1.0, downNoise_ = 0.0;
    bool limiterPre_ = true, limiterPost_ = false, scoopOn_ = false, saturation_ = true;
    bool highPassOn_ = true;
    std::uint32_t silenceHold_ = 0;
    GainComputer computer_;  // its design values; curve() is restated here

    // Gate.
    bool active_ = false;
    std::uint32_t silentFrames_ = 0;

    // The ways up: the key's (also the audio's with the main key), and the
    // audio's with a side-chain key.
    WayUp keyUp_, audioUp_;

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
    double key_[8], audio_[8], level_[8], processed_[8], averageGain_[8], peakGain_[8];
    double limiterKey_ = 0.0;
};

}  // namespace tarvo
