#include "engine/StripPair.h"

namespace tarvo {

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

namespace {

template <int Asleep>
double runAsleep(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                 FrameBuffer& bufferB, LevelLink link, double keyA, double keyB,
                 Upsampler* audioUpsamplerA, Upsampler* audioUpsamplerB, double audioA,
                 double audioB) noexcept {
    ChannelStrip& asleep = Asleep == 0 ? a : b;
    const StripPairState before = pair;
    asleep.limiterDetector.pushZero();
    (Asleep == 0 ? bufferA : bufferB).clear();
    if (Asleep != 0) a.upsampler.process(a.inputGain * keyA, bufferA.rows[FrameBuffer::audio]);
    if (Asleep != 1) b.upsampler.process(b.inputGain * keyB, bufferB.rows[FrameBuffer::audio]);
    double outA = 0.0;
    double outB = 0.0;
    runPairFrame<Asleep>(
        pair, a, b, bufferA, bufferB, link, false,
        [&] {
            if (Asleep != 0 && audioUpsamplerA)
                audioUpsamplerA->process(a.inputGain * audioA, bufferA.rows[FrameBuffer::audio]);
            if (Asleep != 1 && audioUpsamplerB)
                audioUpsamplerB->process(b.inputGain * audioB, bufferB.rows[FrameBuffer::audio]);
        },
        outA, outB);
    // The asleep lane as it was, but for the limiter sections' idle step.
    copyLane(pair, before, Asleep);
    LimiterSections<Lanes2> idled = before.limiter;
    idled.idle();
    copyLane(pair.limiter, idled, Asleep);
    return Asleep == 0 ? outB : outA;
}

template <int Asleep>
void runSleeperRuns(StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                    FrameBuffer& bufferA, FrameBuffer& bufferB, LevelLink link, double keyA,
                    double keyB, Upsampler* audioUpsamplerA, Upsampler* audioUpsamplerB,
                    double audioA, double audioB, double& outA, double& outB) noexcept {
    ChannelStrip& asleep = Asleep == 0 ? a : b;
    const StripPairState before = pair;
    // The asleep strip's idle step first, as its detect takes it.
    asleep.limiterDetector.pushZero();
    (Asleep == 0 ? bufferA : bufferB).clear();
    LimiterSections<Lanes2> idled = pair.limiter;
    idled.idle();
    copyLane(pair.limiter, idled, Asleep);
    if (Asleep != 0) a.upsampler.process(a.inputGain * keyA, bufferA.rows[FrameBuffer::audio]);
    if (Asleep != 1) b.upsampler.process(b.inputGain * keyB, bufferB.rows[FrameBuffer::audio]);
    runPairFrame<Asleep, true>(
        pair, a, b, bufferA, bufferB, link, false,
        [&] {
            if (audioUpsamplerA)
                audioUpsamplerA->process(a.inputGain * audioA, bufferA.rows[FrameBuffer::audio]);
            if (audioUpsamplerB)
                audioUpsamplerB->process(b.inputGain * audioB, bufferB.rows[FrameBuffer::audio]);
        },
        outA, outB);
    // The asleep strip's detection as it was.
    copyLane(pair.keyFirst, before.keyFirst, Asleep);
    copyLane(pair.keySecond, before.keySecond, Asleep);
    copyLane(pair.level, before.level, Asleep);
}

}  // namespace

void runPairSleeperRuns(int asleep, StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                        FrameBuffer& bufferA, FrameBuffer& bufferB, LevelLink link, double keyA,
                        double keyB, Upsampler* audioUpsamplerA, Upsampler* audioUpsamplerB,
                        double audioA, double audioB, double& outA, double& outB) noexcept {
    if (asleep == 0)
        runSleeperRuns<0>(pair, a, b, bufferA, bufferB, link, keyA, keyB, audioUpsamplerA,
                          audioUpsamplerB, audioA, audioB, outA, outB);
    else
        runSleeperRuns<1>(pair, a, b, bufferA, bufferB, link, keyA, keyB, audioUpsamplerA,
                          audioUpsamplerB, audioA, audioB, outA, outB);
}

double runPairAsleep(int asleep, StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                     FrameBuffer& bufferA, FrameBuffer& bufferB, LevelLink link, double keyA,
                     double keyB, Upsampler* audioUpsamplerA, Upsampler* audioUpsamplerB,
                     double audioA, double audioB) noexcept {
    if (asleep == 0)
        return runAsleep<0>(pair, a, b, bufferA, bufferB, link, keyA, keyB, audioUpsamplerA,
                            audioUpsamplerB, audioA, audioB);
    return runAsleep<1>(pair, a, b, bufferA, bufferB, link, keyA, keyB, audioUpsamplerA,
                        audioUpsamplerB, audioA, audioB);
}

}  // namespace tarvo
