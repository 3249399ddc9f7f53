#include "lv2/Lv2Plugin.h"

#include <algorithm>
#include <limits>

#include "lv2/ControlValue.h"
#include "params/HostBlock.h"

namespace tarvo::lv2 {

namespace {

/// The process level while the host free-wheels (renders offline); any
/// other level means it plays in real time.
constexpr std::int32_t kFreeWheelLevel = ParameterController::kProcessLevelOffline;
constexpr std::int32_t kRealtimeLevel = 0;

}  // namespace

bool Lv2Plugin::acceptsSampleRate(double rate) noexcept {
    const auto rate32 = static_cast<float>(rate);
    return rate32 >= ParameterController::kMinimumSampleRate &&
           rate32 <= ParameterController::kMaximumSampleRate;
}

Lv2Plugin::Lv2Plugin(double rate) {
    for (float& value : applied_) value = std::numeric_limits<float>::quiet_NaN();
    // As a VST host builds the plug-in: the construction pass configures the
    // whole engine for program 0, then the rate is set; its marks are taken
    // by the first block.
    params_.configureEngine();
    params_.setSampleRate(static_cast<float>(rate));
}

void Lv2Plugin::connectPort(std::uint32_t port, void* data) noexcept {
    if (port <= outRight) {
        audio_[port] = static_cast<float*>(data);
    } else if (port < latency) {
        controls_[port - firstControl] = static_cast<const float*>(data);
    } else if (port == latency) {
        latency_ = static_cast<float*>(data);
    } else if (port == freeWheel) {
        freeWheel_ = static_cast<const float*>(data);
    }
}

void Lv2Plugin::activate() noexcept {
    engine_.reset();
    params_.resume();
}

void Lv2Plugin::deactivate() noexcept { params_.suspend(); }

void Lv2Plugin::run(std::uint32_t frames) noexcept {
    applyControls();
    const bool freeWheeling = freeWheel_ != nullptr && *freeWheel_ > 0.5f;
    float* const inputs[4] = {audio_[inLeft], audio_[inRight], audio_[sideChainLeft],
                              audio_[sideChainRight]};
    float* const outputs[2] = {audio_[outLeft], audio_[outRight]};
    // LV2 block lengths are unsigned; the engine counts in 32-bit signed
    // frames, so a longer block runs in pieces.
    constexpr std::uint32_t kLongest = std::numeric_limits<std::int32_t>::max();
    std::uint32_t done = 0;
    do {
        const std::uint32_t count = std::min(frames - done, kLongest);
        float* const in[4] = {inputs[0] ? inputs[0] + done : nullptr,
                              inputs[1] ? inputs[1] + done : nullptr,
                              inputs[2] ? inputs[2] + done : nullptr,
                              inputs[3] ? inputs[3] + done : nullptr};
        float* const out[2] = {outputs[0] ? outputs[0] + done : nullptr,
                               outputs[1] ? outputs[1] + done : nullptr};
        runHostBlock(params_, engine_, freeWheeling ? kFreeWheelLevel : kRealtimeLevel, in, out,
                     static_cast<std::int32_t>(count));
        done += count;
    } while (done < frames);
    if (latency_ != nullptr) *latency_ = static_cast<float>(engine_.latency());
}

void Lv2Plugin::applyControls() noexcept {
    bool timesChanged = false;
    for (int i = 0; i < kParameterCount; ++i) {
        if (controls_[i] == nullptr) continue;
        const float value = *controls_[i];
        // NaN is no value: the parameter keeps the last one applied.
        if (value != value || value == applied_[i]) continue;
        applied_[i] = value;
        if (i == param::Attack || i == param::Release || i == param::ArTime) {
            timesChanged = true;
        } else {
            applyControl(i);
        }
    }
    if (timesChanged) {
        // "A,R Time" re-ranges Attack and Release; the times are then taken
        // in the new ranges.
        applyControl(param::ArTime);
        applyControl(param::Attack);
        applyControl(param::Release);
    }
}

void Lv2Plugin::applyControl(int index) noexcept {
    float position = 0.0f;
    if (!positionForPortValue(params_.descriptor(index), index, applied_[index], position)) return;
    try {
        params_.setParameter(index, position);
    } catch (...) {
        // Only a pass run at once (a host running an instance it did not
        // activate) can throw, when a limiter window cannot be allocated;
        // the value is set and the next block's pass tries again.
    }
}

}  // namespace tarvo::lv2
