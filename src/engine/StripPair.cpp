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

}  // namespace tarvo
