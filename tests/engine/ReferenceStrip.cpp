#include "engine/ReferenceStrip.h"

#include <cmath>

#include "engine/GainComputerTable.h"
#include "filters/HalfbandKernel.h"
#include "filters/PolyInterpolator.h"

namespace tarvo {

namespace {

/// Rectangular dither: a linear congruential generator's bits 16..30,
/// centred, times level / 16383.
double dither(std::uint32_t& seed, double level) {
    seed = seed * 214013u + 2531011u;
    const int r = static_cast<int>((seed >> 16) & 0x7FFFu);
    return (r - 16383) * level * 6.103888176768602e-05;
}

}  // namespace

ReferenceStrip::Section::Section(const Biquad& d)
    : b0(d.b0), b1(d.b1), b2(d.b2), c1(d.c1), c2(d.c2), x1(d.x1), x2(d.x2), y1(d.y1), y2(d.y2) {}

void ReferenceStrip::Section::take(const Biquad& d) {
    b0 = d.b0;
    b1 = d.b1;
    b2 = d.b2;
    c1 = d.c1;
    c2 = d.c2;
}

double ReferenceStrip::Section::step(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 + c1 * y1 + c2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
}

ReferenceStrip::Envelope::Envelope(const EnvelopeFollower& d)
    : inputFilter(d.inputFilter),
      outputFilter(d.outputFilter),
      attack(d.attackCoefficient),
      release(d.releaseCoefficient),
      envelope(d.envelope),
      softWidth(d.softWidth) {
    for (int k = 0; k < 8; ++k) softCurve[k] = d.softCurve[k];
}

void ReferenceStrip::Envelope::take(const EnvelopeFollower& d) {
    inputFilter.take(d.inputFilter);
    outputFilter.take(d.outputFilter);
    attack = d.attackCoefficient;
    release = d.releaseCoefficient;
    softWidth = d.softWidth;
    for (int k = 0; k < 8; ++k) softCurve[k] = d.softCurve[k];
}

void ReferenceStrip::Envelope::follow(double y) {
    // Rise d: the attack share of u(d), u = d above the soft width L, the
    // degree-16 soft curve below it, 0 for a fall or no change.
    const double d = y - envelope;
    double u = 0.0;
    if (d > softWidth) {
        u = d;
    } else if (d > 0.0) {
        const double* q = softCurve;
        const double d2 = d * d;
        const double d3 = d2 * d;
        const double d4 = d2 * d2;
        const double d8 = d4 * d4;
        const double d12 = d8 * d4;
        u = d12 * (q[3] + q[4] * d + q[5] * d2 + q[6] * d3 + q[7] * d4) +
            d8 * (q[0] * d + q[1] * d2 + q[2] * d3);
    }
    envelope = ((y - envelope) * release + attack * u) + envelope;
}

ReferenceStrip::Scoop::Scoop(const ScoopEq& d)
    : shelf(d.shelf), peak1(d.peak1), peak2(d.peak2), peak3(d.peak3), gain(d.gain) {}

void ReferenceStrip::Scoop::take(const ScoopEq& d) {
    shelf.take(d.shelf);
    peak1.take(d.peak1);
    peak2.take(d.peak2);
    peak3.take(d.peak3);
    gain = d.gain;
}

double ReferenceStrip::Scoop::step(double x) {
    return gain * peak3.step(peak2.step(peak1.step(shelf.step(x))));
}

void ReferenceStrip::History::push(double x) {
    newest = newest == 0 ? static_cast<std::uint32_t>(values.size()) - 1 : newest - 1;
    values[newest] = x;
}

double ReferenceStrip::History::at(std::uint32_t ago) const {
    return values[(newest + ago) % values.size()];
}

double ReferenceStrip::History::oddPhaseDot() const {
    // 176 taps (the last 4 zero) in eight interleaved partial sums (partial
    // p takes k = p mod 8), joined as odd ((p3 + p1) + (p7 + p5)) plus even
    // ((p2 + p0) + (p6 + p4)).
    double partial[8] = {};
    for (std::uint32_t k = 0; k < 176; ++k) {
        const double tap = k < 172 ? kHalfbandKernel[2 * k + 1] : 0.0;
        partial[k % 8] += tap * at(k);
    }
    const double even = (partial[2] + partial[0]) + (partial[6] + partial[4]);
    const double odd = (partial[3] + partial[1]) + (partial[7] + partial[5]);
    return odd + even;
}

ReferenceStrip::WayUp::WayUp(const Upsampler& u)
    : seed(u.interpolator.noiseSeed), noiseLevel(u.interpolator.noiseLevel) {
    for (int i = 0; i < 4; ++i) history[i] = u.interpolator.history[i];
}

void ReferenceStrip::WayUp::interpolate(double x, std::uint32_t stage, double* out) {
    const double* h = history;
    const double in = x + dither(seed, noiseLevel);
    for (std::uint32_t j = 0; j < stage; ++j) {
        const double* w = PolyInterpolator::kWeights[j * (8 / stage)];
        out[j] = w[0] * h[0] + w[1] * h[1] + w[2] * h[2] + w[3] * h[3] + w[4] * in;
    }
    out[0] = h[2];  // p = 0 is x[n-2] itself
    for (int i = 0; i < 3; ++i) history[i] = h[i + 1];
    history[3] = in;
}

void ReferenceStrip::WayUp::run(double x, std::uint32_t factor, bool hq, double* out) {
    if (!hq) {
        interpolate(x, factor, out);
        return;
    }
    // The input enters the halfband line doubled; y0 is the centre tap on
    // x[n-86], y1 the odd phase.
    halfband.push(2.0 * x);
    const double y0 = kHalfbandKernel[kHalfbandCentreIndex] * halfband.at(86);
    const double y1 = halfband.oddPhaseDot();
    interpolate(y0, factor / 2, out);
    interpolate(y1, factor / 2, out + factor / 2);
}

ReferenceStrip::ReferenceStrip(const ChannelStrip& s, const Upsampler& audioUpsampler)
    : active_(s.active),
      silentFrames_(s.silenceCounter),
      keyUp_(s.upsampler),
      audioUp_(audioUpsampler),
      keyHighPass1_(s.sideChain.highPass.first),
      keyHighPass2_(s.sideChain.highPass.second),
      keyShelf_(s.sideChain.shelf),
      detector_(s.levelDetector),
      smoother_(s.gainSmoother),
      window_(s.limiterDetector.windowLength()),
      windowPosition_(s.limiterDetector.writePosition()),
      peakFilter_(s.limiterDetector.sections().peakFilter),
      releaseFilter_(s.limiterDetector.sections().releaseFilter),
      averageFilter_(s.limiterDetector.sections().averageFilter),
      hold_(s.limiterDetector.hold()),
      scoopWet_(s.scoopWet),
      scoopDry_(s.scoopDry),
      lowPass_(s.downsampler.decimator.lowPass),
      correction_(s.downsampler.decimator.correction),
      decimatorGain_(s.downsampler.decimator.gain),
      downSeed_(s.downsampler.decimator.noiseSeed) {
    takeSettings(s, audioUpsampler);
    for (std::uint32_t i = 0; i < window_.size(); ++i)
        window_[i] = s.limiterDetector.windowEntry(i);
}

void ReferenceStrip::takeSettings(const ChannelStrip& s, const Upsampler& audioUpsampler) {
    factor_ = static_cast<std::uint32_t>(s.upsampler.factor);
    stageFactor_ = static_cast<std::uint32_t>(s.upsampler.stageFactor);
    hq_ = s.upsampler.hq;
    inputGain_ = s.inputGain;
    wetGain_ = s.wetGain;
    dryGain_ = s.dryGain;
    detectorGain_ = s.detectorGain;
    clipLevel_ = s.softClipper.clipLevel;
    ceiling_ = s.limiterDetector.limiterCeiling;
    keyUp_.noiseLevel = s.upsampler.interpolator.noiseLevel;
    audioUp_.noiseLevel = audioUpsampler.interpolator.noiseLevel;
    downNoise_ = s.downsampler.decimator.noiseLevel;
    limiterPre_ = s.limiterPre;
    limiterPost_ = s.limiterPost;
    scoopOn_ = s.scoopOn;
    saturation_ = s.saturationActive;
    highPassOn_ = s.sideChain.highPassOn;
    silenceHold_ = s.silenceHoldSamples;
    computer_ = s.gainComputer;
}

void ReferenceStrip::takeDesigns(const ChannelStrip& s, const Upsampler& audioUpsampler) {
    takeSettings(s, audioUpsampler);
    keyHighPass1_.take(s.sideChain.highPass.first);
    keyHighPass2_.take(s.sideChain.highPass.second);
    keyShelf_.take(s.sideChain.shelf);
    detector_.take(s.levelDetector);
    smoother_.take(s.gainSmoother);
    peakFilter_.take(s.limiterDetector.sections().peakFilter);
    releaseFilter_.take(s.limiterDetector.sections().releaseFilter);
    averageFilter_.take(s.limiterDetector.sections().averageFilter);
    scoopWet_.take(s.scoopWet);
    scoopDry_.take(s.scoopDry);
    lowPass_.take(s.downsampler.decimator.lowPass);
    correction_.take(s.downsampler.decimator.correction);
    decimatorGain_ = s.downsampler.decimator.gain;
    const std::size_t length = s.limiterDetector.windowLength();
    if (length == window_.size()) return;
    std::vector<double> window(length, 0.0);
    for (std::size_t i = 0; i < length && i < window_.size(); ++i)
        window[i] = window_[(windowPosition_ + i) % window_.size()];
    window_ = window;
    windowPosition_ = 0;
}

bool ReferenceStrip::gate(double key, double audio) {
    return gateHearing(key != 0.0 || audio != 0.0);
}

bool ReferenceStrip::gateHearing(bool heard) {
    if (heard) {
        active_ = true;
        silentFrames_ = 0;
    } else if (active_ && ++silentFrames_ >= silenceHold_) {
        active_ = false;
    }
    return active_;
}

double ReferenceStrip::decimate(const double* in) {
    // The IIR decimator's factor: the whole factor, or half of it with HQ.
    const std::uint32_t stage = stageFactor_;
    double y = in[0];
    if (stage > 1) {
        for (std::uint32_t i = 0; i + 1 < stage; ++i) lowPass_.step(in[i]);
        y = decimatorGain_ * correction_.step(lowPass_.step(in[stage - 1]));
    }
    return y + dither(downSeed_, downNoise_);
}

double ReferenceStrip::mix(double y, double x) {
    if (scoopOn_) {
        y = scoopWet_.step(y);
        if (dryGain_ != 0.0) x = scoopDry_.step(x);
    }
    return wetGain_ * y + dryGain_ * x;
}

double ReferenceStrip::curve(double x) const {
    const GainComputer& c = computer_;
    if (x < c.kneeEnd) {
        const double x2 = x * x;
        const double x3 = x2 * x;
        const double x4 = x2 * x2;
        return (c.kneeQuartic * x4 + c.kneeCubic * x3) + x;
    }
    if (c.inverseRatio <= 0.0) return c.threshold;
    const double* p = kGainComputerPowerTable[c.tableRow];
    const double v = x > p[9] ? p[9] : x;
    const double v2 = v * v;
    const double v4 = v2 * v2;
    return (((p[7] * v + p[6]) * v2 + p[8] * v4 + p[5] * v + p[4]) * v4 + (p[3] * v + p[2]) * v2 +
            p[1] * v + p[0]) *
           c.curveScale;
}

double ReferenceStrip::staticGain(double level) const {
    if (computer_.inverseRatio == 1.0 || level < computer_.floorLevel) return 1.0;
    return curve(level) / level;
}

void ReferenceStrip::detectKey(double key) {
    keyUp_.run(inputGain_ * key, factor_, hq_, key_);
    // The limiter's key: the newest value that entered the interpolator.
    limiterKey_ = std::fabs(keyUp_.history[3]);
    for (std::uint32_t i = 0; i < factor_; ++i) {
        const double k = highPassOn_ ? keyHighPass2_.step(keyHighPass1_.step(key_[i]))
                                     : keyShelf_.step(key_[i]);
        detector_.follow(detector_.inputFilter.step(std::fabs(k)));
        level_[i] = detector_.outputFilter.step(detector_.envelope) * detectorGain_;
    }
}

void ReferenceStrip::detect(double key) {
    detectKey(key);
    for (std::uint32_t i = 0; i < factor_; ++i) audio_[i] = key_[i];
}

void ReferenceStrip::detect(double key, double audio) {
    detectKey(key);
    audioUp_.run(inputGain_ * audio, factor_, hq_, audio_);
}

void ReferenceStrip::detect(double key, double audio, ReferenceStrip& audioFrom) {
    detectKey(key);
    audioFrom.keyUp_.run(inputGain_ * audio, factor_, hq_, audio_);
}

double ReferenceStrip::delay(double x) {
    keyUp_.run(inputGain_ * x, factor_, hq_, key_);
    return wayDown(key_);
}

void ReferenceStrip::detectNothing() {
    sleep();
    limiterKey_ = std::fabs(keyUp_.history[3]);
    for (std::uint32_t i = 0; i < factor_; ++i) level_[i] = audio_[i] = 0.0;
}

void ReferenceStrip::detectNothing(double audio) {
    detectNothing();
    audioUp_.run(inputGain_ * audio, factor_, hq_, audio_);
}

double ReferenceStrip::clip(double x) const {
    double u = x / clipLevel_;
    u = -1.927384823613229 > u ? -1.927384823613229 : u;
    u = 1.925547073273503 < u ? 1.925547073273503 : u;
    const double u2 = u * u;
    const double u3 = u2 * u;
    const double u4 = u2 * u2;
    const double s = u4 * (0.011322488095808 * u3 - 0.076851680685586 * u -
                           0.001614452827801 * u4 + 0.019456557521838 * u2 -
                           0.076851680685586) +
                     (0.051012188210767 - 0.048182108389193 * u) * u2 + 1.043653138515045 * u;
    return s * clipLevel_;
}

void ReferenceStrip::compress() {
    for (std::uint32_t i = 0; i < factor_; ++i) {
        const double x = audio_[i];
        const double g = staticGain(level_[i]);
        // The smoother follows 2 - g: more reduction is a rise.
        smoother_.follow(2.0 - g);
        const double smoothed = smoother_.outputFilter.step(smoother_.envelope);
        const double y = (2.0 - smoothed) * x;
        processed_[i] = limiterPre_ ? y : mix(y, x);
        if (!limiting()) {
            sleep();
            continue;
        }
        const double a = std::fabs(limiterKey_ * g);
        window_[windowPosition_] = a;
        windowPosition_ = (windowPosition_ + 1) % static_cast<std::uint32_t>(window_.size());
        double windowMax = 0.0;
        for (double v : window_) windowMax = v > windowMax ? v : windowMax;
        // Peak: smoothed window maximum, held with instant attack (the
        // release section then takes the peak as its input and output).
        const double p = peakFilter_.step(windowMax);
        if (p > hold_) {
            releaseFilter_.x2 = releaseFilter_.x1;
            releaseFilter_.x1 = p;
            releaseFilter_.y2 = releaseFilter_.y1;
            releaseFilter_.y1 = p;
            hold_ = p;
        } else {
            hold_ = releaseFilter_.step(p);
        }
        peakGain_[i] = hold_ > ceiling_ ? ceiling_ / hold_ : 1.0;
        // Average: the smoothed magnitude times pi/2.
        const double w = averageFilter_.step(a) * 1.5707963267948966;
        averageGain_[i] = w > ceiling_ ? ceiling_ / w : 1.0;
    }
}

double ReferenceStrip::finish() {
    for (std::uint32_t i = 0; i < factor_; ++i) {
        double y = processed_[i];
        if (limiting()) {
            const double peak = peakGain_[i];
            const double average = averageGain_[i];
            y = y * (peak < average ? peak : average);
        }
        if (saturation_) y = clip(y);
        if (limiterPre_) y = mix(y, audio_[i]);
        processed_[i] = y;
    }
    return wayDown(processed_);
}

double ReferenceStrip::wayDown(const double* in) {
    if (!hq_) return decimate(in);
    // Each half decimated, then the halfband stage: the odd phase on the
    // later sample of each pair plus the centre tap on the earlier one, 85
    // pairs ago.
    const double u0 = decimate(in);
    const double u1 = decimate(in + stageFactor_);
    downFirst_.push(u0);
    const double c = kHalfbandKernel[kHalfbandCentreIndex] * downFirst_.at(85);
    downSecond_.push(u1);
    return downSecond_.oddPhaseDot() + c;
}

void ReferenceStrip::upRows(double x, bool audioWay, ReferenceStrip& from) {
    (audioWay ? audioUp_ : from.keyUp_).run(inputGain_ * x, factor_, hq_, key_);
}

void ReferenceStrip::takeOverSideChainAudio() {
    for (int i = 0; i < 4; ++i) audioUp_.history[i] = keyUp_.history[i];
    audioUp_.halfband = keyUp_.halfband;
}

void ReferenceStrip::clearRows() {
    for (double& x : key_) x = 0.0;
}

void ReferenceStrip::downRows() { wayDown(key_); }

double ReferenceStrip::delayedInput(bool audioWay, const ReferenceStrip& from) const {
    const WayUp& way = audioWay ? audioUp_ : from.keyUp_;
    return hq_ ? 0.5 * way.halfband.at(172) : way.history[1];
}

void ReferenceStrip::sleep() {
    window_[windowPosition_] = 0.0;
    windowPosition_ = (windowPosition_ + 1) % static_cast<std::uint32_t>(window_.size());
    peakFilter_.step(0.0);
    releaseFilter_.step(0.0);
    averageFilter_.step(0.0);
}

}  // namespace tarvo
