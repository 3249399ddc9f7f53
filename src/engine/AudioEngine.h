#pragma once

#include <cstdint>

#include "engine/EngineControl.h"

namespace tarvo {

/// What the plug-in asks of its engine besides the settings: host blocks
/// in float or double, single frames, a reset, and looks at the state for
/// meters. Implemented by LaneEngine in each machine-code build of the
/// kernel; StereoProcessor holds one of them behind this interface, so a
/// call crosses into the chosen build once per host block.
class AudioEngine : public EngineControl {
public:
    /// A block keyed by the main input. Inputs are read by hostSample (null
    /// or non-finite: silence), a null output is not written, and an invalid
    /// channel mode gives silence.
    virtual void processKeyedByMain(const float* inLeft, const float* inRight, float* outLeft,
                                    float* outRight, std::int32_t frames) noexcept = 0;
    virtual void processKeyedByMain(const double* inLeft, const double* inRight,
                                    double* outLeft, double* outRight,
                                    std::int32_t frames) noexcept = 0;
    /// A block keyed by the side-chain inputs (in "M/S" by the main input).
    virtual void processKeyedBySideChain(const float* inLeft, const float* inRight,
                                         const float* keyLeft, const float* keyRight,
                                         float* outLeft, float* outRight,
                                         std::int32_t frames) noexcept = 0;
    virtual void processKeyedBySideChain(const double* inLeft, const double* inRight,
                                         const double* keyLeft, const double* keyRight,
                                         double* outLeft, double* outRight,
                                         std::int32_t frames) noexcept = 0;
    /// One frame keyed by the main input; writes both outputs for a valid
    /// mode, leaves them untouched for an invalid one.
    virtual void processFrame(double* outLeft, double* outRight, double left,
                              double right) noexcept = 0;
    /// One frame keyed by the side-chain input.
    virtual void processFrameExternal(double* outLeft, double* outRight, double left,
                                      double right, double keyLeft,
                                      double keyRight) noexcept = 0;
    /// Both strips' resamplers, the recursive state, both audio upsamplers.
    virtual void reset() noexcept = 0;

    /// The compressor gain strip k (0: A, 1: B) applied to the last
    /// sub-sample processed (the limiter's gain not included); a strip that
    /// is asleep or bypassed keeps the last gain it applied.
    virtual double appliedGain(int strip) const noexcept = 0;
    /// Whether strip k's gate had it awake at the last frame.
    virtual bool stripAwake(int strip) const noexcept = 0;
    virtual bool bypassed() const noexcept = 0;
};

}  // namespace tarvo
