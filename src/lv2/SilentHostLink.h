#pragma once

#include <cstdint>

#include "params/HostLink.h"

namespace tarvo::lv2 {

/// The parameter layer's view of an LV2 host: it is told nothing (an LV2
/// plug-in moves no control port of its own, and its latency goes out
/// through the latency port), and the sample rate is kept here.
class SilentHostLink final : public HostLink {
public:
    void automate(std::int32_t, float) override {}
    void setInitialDelay(std::int32_t) override {}
    float sampleRate() const override { return sampleRate_; }
    void storeSampleRate(float rate) override { sampleRate_ = rate; }
    void configuredOutsideProcessing() override {}

private:
    float sampleRate_ = 44100.0f;
};

}  // namespace tarvo::lv2
