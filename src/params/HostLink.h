#pragma once

#include <cstdint>

namespace tarvo {

/// What the parameter layer needs from the host side of the plug-in; the
/// plug-in class implements it over its base members and host callback.
class HostLink {
public:
    virtual ~HostLink() = default;

    /// Tells the host that the plug-in itself moved a parameter (automation
    /// request with the index and the position); the answer is ignored.
    virtual void automate(std::int32_t index, float position) = 0;
    /// Stores the latency in host samples that the host reads as the
    /// plug-in's initial delay; sends nothing to the host.
    virtual void setInitialDelay(std::int32_t samples) = 0;
    /// The host sample rate held by the host side so far.
    virtual float sampleRate() const = 0;
    /// Stores a new host sample rate on the host side.
    virtual void storeSampleRate(float rate) = 0;
    /// The configuration pass has just run on a control thread (the instance
    /// is suspended) and still holds the engine, so no processing call can be
    /// writing the latency meanwhile: the moment to tell the host of a change.
    virtual void configuredOutsideProcessing() = 0;
};

}  // namespace tarvo
