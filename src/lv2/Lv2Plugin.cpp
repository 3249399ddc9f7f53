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

Lv2Plugin::Lv2Plugin(double rate) : fade_(rate), meters_(rate), display_(rate) {
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
    } else if (port == enabled) {
        enabled_ = static_cast<const float*>(data);
    } else if (port >= gainReduction && port <= outputLevel) {
        meterPorts_[port - gainReduction] = static_cast<float*>(data);
    }
}

void Lv2Plugin::activate() noexcept {
    engine_.reset();
    params_.resume();
    fade_.reset();
    meters_.reset();
}

void Lv2Plugin::deactivate() noexcept { params_.suspend(); }

void Lv2Plugin::run(std::uint32_t frames) noexcept {
    applyControls();
    const bool freeWheeling = freeWheel_ != nullptr && *freeWheel_ > 0.5f;
    // Unconnected, the switch reads as on.
    const bool on = enabled_ == nullptr || *enabled_ > 0.5f;
    float* const left = audio_[outLeft];
    float* const right = audio_[outRight];
    // Outputs may be the inputs: the input is measured and kept first.
    const float inputPeak = Lv2Meters::peak(audio_[inLeft], audio_[inRight], frames);
    if (fade_.steady(on)) {
        fade_.write(audio_[inLeft], audio_[inRight], frames);
        process(0, frames, freeWheeling);
    } else {
        for (std::uint32_t done = 0; done < frames;) {
            const std::uint32_t count = std::min(frames - done, Lv2EnableFade::kChunkFrames);
            fade_.write(audio_[inLeft] ? audio_[inLeft] + done : nullptr,
                        audio_[inRight] ? audio_[inRight] + done : nullptr, count);
            process(done, count, freeWheeling);
            fade_.blend(left ? left + done : nullptr, right ? right + done : nullptr, count,
                        engine_.latency(), on);
            done += count;
        }
    }
    if (latency_ != nullptr) *latency_ = static_cast<float>(engine_.latency());
    meters_.update(frames, inputPeak, Lv2Meters::peak(left, right, frames), compressorGain());
    const float readings[3] = {meters_.gainReductionDb(), meters_.inputDb(), meters_.outputDb()};
    for (int m = 0; m < 3; ++m)
        if (meterPorts_[m] != nullptr) *meterPorts_[m] = readings[m];
    if (display_.record(frames, meters_.gainReductionDb()) && drawRequest_ != nullptr)
        drawRequest_->queue_draw(drawRequest_->handle);
}

void Lv2Plugin::process(std::uint32_t begin, std::uint32_t count, bool freeWheeling) noexcept {
    auto at = [](float* channel, std::uint32_t offset) {
        return channel != nullptr ? channel + offset : nullptr;
    };
    // LV2 block lengths are unsigned; the engine counts in 32-bit signed
    // frames, so a longer block runs in pieces.
    constexpr std::uint32_t kLongest = std::numeric_limits<std::int32_t>::max();
    std::uint32_t done = 0;
    do {
        const std::uint32_t piece = std::min(count - done, kLongest);
        const std::uint32_t offset = begin + done;
        float* const in[4] = {at(audio_[inLeft], offset), at(audio_[inRight], offset),
                              at(audio_[sideChainLeft], offset), at(audio_[sideChainRight], offset)};
        float* const out[2] = {at(audio_[outLeft], offset), at(audio_[outRight], offset)};
        runHostBlock(params_, engine_, freeWheeling ? kFreeWheelLevel : kRealtimeLevel, in, out,
                     static_cast<std::int32_t>(piece));
        done += piece;
    } while (done < count);
}

double Lv2Plugin::compressorGain() const noexcept {
    if (engine_.bypassed()) return 1.0;
    const int strips = twoStrips(engine_.channelMode()) ? 2 : 1;
    double gain = 1.0;
    for (int k = 0; k < strips; ++k)
        if (engine_.stripAwake(k)) gain = std::min(gain, engine_.appliedGain(k));
    return gain;
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
