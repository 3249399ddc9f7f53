#include "filters/Upsampler.h"

#include "filters/Oversampling.h"

namespace tarvo {

void Upsampler::reset() noexcept {
    interpolator.reset();
    halfband.reset();
}

void Upsampler::processRun(const double* in, double gain, std::uint32_t frames, double* out,
                           double* newest) noexcept {
    if (!hq) {
        interpolator.processRun(in, gain, frames, out, newest);
        return;
    }
    for (std::uint32_t j = 0; j < frames; ++j) {
        double* frame = out + j * static_cast<std::uint32_t>(factor);
        double y0;
        double y1;
        halfband.process(gain * in[j], y0, y1);
        interpolateHalves(y0, y1, frame);
        newest[j] = interpolator.history[3];
    }
}

void Upsampler::processRunPair(Upsampler& a, Upsampler& b, const double* inA,
                               const double* inB, double gainA, double gainB,
                               std::uint32_t frames, double* outA, double* outB,
                               double* newestA, double* newestB) noexcept {
    if (!a.hq) {
        a.processRun(inA, gainA, frames, outA, newestA);
        b.processRun(inB, gainB, frames, outB, newestB);
        return;
    }
    const auto factor = static_cast<std::uint32_t>(a.factor);
    for (std::uint32_t j = 0; j < frames; ++j) {
        double ya[2];
        double yb[2];
        HalfbandInterpolator::processPair(a.halfband, b.halfband, gainA * inA[j], gainB * inB[j],
                                          ya, yb);
        a.interpolateHalves(ya[0], ya[1], outA + j * factor);
        b.interpolateHalves(yb[0], yb[1], outB + j * factor);
        newestA[j] = a.interpolator.history[3];
        newestB[j] = b.interpolator.history[3];
    }
}

void Upsampler::setOversampling(int newFactor, bool newHq, double noiseLevel) noexcept {
    factor = supportedFactor(newFactor);
    stageFactor = stageFactorFor(factor, newHq);
    hq = effectiveHq(factor, newHq);
    interpolator.factor = stageFactor;
    interpolator.noiseLevel = noiseLevel;
}

void Upsampler::takeStateFrom(const Upsampler& other) noexcept {
    for (int i = 0; i < 4; ++i) interpolator.history[i] = other.interpolator.history[i];
    halfband.copyStateFrom(other.halfband);
}

}  // namespace tarvo
