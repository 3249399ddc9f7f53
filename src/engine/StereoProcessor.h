#pragma once

#include <cstdint>
#include <memory>

#include "engine/AudioEngine.h"
#include "engine/EngineChoice.h"
#include "engine/LaneEngine.h"

namespace tarvo {

/// The engine the plug-in runs: a LaneEngine in the kernel build chosen
/// when it is made (defaultKernelCode(), or the one asked for), behind the
/// AudioEngine interface. Its settings, host blocks and meters are the
/// engine's; nothing here runs per frame. Making it draws the noise seeds
/// of exactly one engine.
class StereoProcessor final : public AudioEngine {
public:
    StereoProcessor();
    /// An engine in build `code`, or in the SSE2 build where `code` is not
    /// usable here (kernelCode() tells which).
    explicit StereoProcessor(KernelCode code);

    /// The build this engine's kernel runs as.
    KernelCode kernelCode() const noexcept { return code_; }

    // AudioEngine
    void processKeyedByMain(const float* inLeft, const float* inRight, float* outLeft,
                            float* outRight, std::int32_t frames) noexcept override {
        engine_->processKeyedByMain(inLeft, inRight, outLeft, outRight, frames);
    }
    void processKeyedByMain(const double* inLeft, const double* inRight, double* outLeft,
                            double* outRight, std::int32_t frames) noexcept override {
        engine_->processKeyedByMain(inLeft, inRight, outLeft, outRight, frames);
    }
    void processKeyedBySideChain(const float* inLeft, const float* inRight,
                                 const float* keyLeft, const float* keyRight, float* outLeft,
                                 float* outRight, std::int32_t frames) noexcept override {
        engine_->processKeyedBySideChain(inLeft, inRight, keyLeft, keyRight, outLeft, outRight,
                                         frames);
    }
    void processKeyedBySideChain(const double* inLeft, const double* inRight,
                                 const double* keyLeft, const double* keyRight,
                                 double* outLeft, double* outRight,
                                 std::int32_t frames) noexcept override {
        engine_->processKeyedBySideChain(inLeft, inRight, keyLeft, keyRight, outLeft, outRight,
                                         frames);
    }
    void processFrame(double* outLeft, double* outRight, double left,
                      double right) noexcept override {
        engine_->processFrame(outLeft, outRight, left, right);
    }
    void processFrameExternal(double* outLeft, double* outRight, double left, double right,
                              double keyLeft, double keyRight) noexcept override {
        engine_->processFrameExternal(outLeft, outRight, left, right, keyLeft, keyRight);
    }
    void reset() noexcept override { engine_->reset(); }
    double appliedGain(int strip) const noexcept override { return engine_->appliedGain(strip); }
    bool stripAwake(int strip) const noexcept override { return engine_->stripAwake(strip); }
    bool bypassed() const noexcept override { return engine_->bypassed(); }

    // EngineControl
    void updateDetectorFilters(bool alphaMode, double sampleRate, double attackSeconds,
                               double releaseSeconds, double filterHz) noexcept override {
        engine_->updateDetectorFilters(alphaMode, sampleRate, attackSeconds, releaseSeconds,
                                       filterHz);
    }
    void designGainComputers(double threshold, double knee, double ratio) noexcept override {
        engine_->designGainComputers(threshold, knee, ratio);
    }
    void setClipLevel(double clipLevel) noexcept override { engine_->setClipLevel(clipLevel); }
    void setSaturationEnabled(bool enabled) noexcept override {
        engine_->setSaturationEnabled(enabled);
    }
    void setChannelMode(int mode) noexcept override { engine_->setChannelMode(mode); }
    int channelMode() const noexcept override { return engine_->channelMode(); }
    void setLimiterCeiling(double ceiling) noexcept override {
        engine_->setLimiterCeiling(ceiling);
    }
    void setLevels(double inputGain, double wetGain, double dryGain) noexcept override {
        engine_->setLevels(inputGain, wetGain, dryGain);
    }
    void setScoop(double gain, double sampleRate) noexcept override {
        engine_->setScoop(gain, sampleRate);
    }
    void setOversampling(int factor, bool hq) noexcept override {
        engine_->setOversampling(factor, hq);
    }
    void setLimiterPosition(bool pre, bool post) noexcept override {
        engine_->setLimiterPosition(pre, post);
    }
    void setBypass(bool bypass) noexcept override { engine_->setBypass(bypass); }
    void setNoiseBits(int bits) noexcept override { engine_->setNoiseBits(bits); }
    void takeOverSideChainAudio() noexcept override { engine_->takeOverSideChainAudio(); }
    int latency() const noexcept override { return engine_->latency(); }

private:
    KernelCode code_;
    std::unique_ptr<AudioEngine> engine_;
};

}  // namespace tarvo

namespace tarvo_avx2 {

/// A new engine of the AVX2 build (Avx2Kernel.cpp); only x86-64 builds
/// define it, and only StereoProcessor calls it, once avx2KernelUsable().
tarvo::AudioEngine* newLaneEngine();

}  // namespace tarvo_avx2
