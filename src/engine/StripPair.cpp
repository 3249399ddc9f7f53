#include "engine/StripPair.h"

namespace tarvo {

namespace {

/// IirDecimator::process for both strips (equal settings): the sections in
/// lanes, the dither per strip.
inline void decimatePair(StripPairState& pair, IirDecimator& da, IirDecimator& db,
                         const double* inA, const double* inB, double& outA,
                         double& outB) noexcept {
    const Lanes2 y =
        pair.decimator.decimate(da.factor, [inA, inB](int i) { return Lanes2(inA[i], inB[i]); });
    outA = y.lane0() + nextNoise(da.noiseSeed, da.noiseLevel);
    outB = y.lane1() + nextNoise(db.noiseSeed, db.noiseLevel);
}

}  // namespace

void StripPairState::load(ChannelStrip& a, ChannelStrip& b) noexcept {
    const bool highPass = a.sideChain.highPassOn;
    keyFirst = zipLanes<BiquadOf>(highPass ? a.sideChain.highPass.first : a.sideChain.shelf,
                                  highPass ? b.sideChain.highPass.first : b.sideChain.shelf);
    keySecond = zipLanes<BiquadOf>(a.sideChain.highPass.second, b.sideChain.highPass.second);
    level = zipLanes<EnvelopeOf>(a.levelDetector, b.levelDetector);
    smoother = zipLanes<EnvelopeOf>(a.gainSmoother, b.gainSmoother);
    limiter = zipLanes<LimiterSections>(a.limiterDetector.sections(), b.limiterDetector.sections());
    scoopWet = zipLanes<ScoopChain>(a.scoopWet, b.scoopWet);
    scoopDry = zipLanes<ScoopChain>(a.scoopDry, b.scoopDry);
    decimator = zipLanes<DecimatorSections>(a.downsampler.decimator, b.downsampler.decimator);
}

void StripPairState::store(ChannelStrip& a, ChannelStrip& b) const noexcept {
    const bool highPass = a.sideChain.highPassOn;
    unzipLanes<BiquadOf>(keyFirst, highPass ? a.sideChain.highPass.first : a.sideChain.shelf,
                         highPass ? b.sideChain.highPass.first : b.sideChain.shelf);
    unzipLanes<BiquadOf>(keySecond, a.sideChain.highPass.second, b.sideChain.highPass.second);
    unzipLanes<EnvelopeOf>(level, a.levelDetector, b.levelDetector);
    unzipLanes<EnvelopeOf>(smoother, a.gainSmoother, b.gainSmoother);
    unzipLanes<LimiterSections>(limiter, a.limiterDetector.sections(),
                                b.limiterDetector.sections());
    unzipLanes<ScoopChain>(scoopWet, a.scoopWet, b.scoopWet);
    unzipLanes<ScoopChain>(scoopDry, a.scoopDry, b.scoopDry);
    unzipLanes<DecimatorSections>(decimator, a.downsampler.decimator, b.downsampler.decimator);
}

void detectPair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                FrameBuffer& bufferB, LevelLink link) noexcept {
    TwoStrips strips{pair, a, b, bufferA, bufferB};
    detectRows(strips, link);
}

void compressPair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                  FrameBuffer& bufferB, LevelLink link, bool linkLimiter) noexcept {
    // Two passes over the frame, as compress and finish: the gain
    // smoother's and limiters' recursions first, then the per-sub-sample
    // shaping.
    TwoStrips strips{pair, a, b, bufferA, bufferB};
    compressRows(strips, link != LevelLink::none);
    finishRows(strips, linkLimiter);
}

void downsamplePair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                    const FrameBuffer& bufferA, const FrameBuffer& bufferB, double& outA,
                    double& outB) noexcept {
    Downsampler& da = a.downsampler;
    Downsampler& db = b.downsampler;
    const double* inA = bufferA.rows[FrameBuffer::processed];
    const double* inB = bufferB.rows[FrameBuffer::processed];
    if (!da.hq) {
        decimatePair(pair, da.decimator, db.decimator, inA, inB, outA, outB);
        return;
    }
    // HQ: each half of the block through the decimators, then the halfband stage.
    double u0A, u0B, u1A, u1B;
    decimatePair(pair, da.decimator, db.decimator, inA, inB, u0A, u0B);
    decimatePair(pair, da.decimator, db.decimator, inA + da.stageFactor, inB + db.stageFactor,
                 u1A, u1B);
    outA = da.halfband.process(u0A, u1A);
    outB = db.halfband.process(u0B, u1B);
}

}  // namespace tarvo
