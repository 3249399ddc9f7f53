#pragma once

// Recording stand-ins for the engine and the host side of the parameter
// layer, and a scoped private configuration folder so that no test reads the
// user's real stored default.

#include "engine/EngineControl.h"
#include "params/HostLink.h"
#include "params/ParameterController.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {
namespace testing {

struct EngineCall {
    std::string name;
    std::vector<double> args;
    std::size_t automationSoFar;  ///< automation requests the host had seen by then
};

/// The host side: automation requests, the initial delay and the base rate.
class RecordingHost : public HostLink {
public:
    std::vector<std::pair<int, float>> automation;
    int initialDelay = -1;
    int initialDelayStores = 0;
    float rate = 44100.0f;

    void automate(std::int32_t index, float position) override {
        automation.emplace_back(index, position);
    }
    void setInitialDelay(std::int32_t samples) override {
        initialDelay = samples;
        ++initialDelayStores;
    }
    float sampleRate() const override { return rate; }
    void storeSampleRate(float r) override { rate = r; }
    void configuredOutsideProcessing() override { ++passesOutsideProcessing; }
    int passesOutsideProcessing = 0;
};

/// Records every call in order and keeps the channel mode like the engine.
class RecordingEngine : public EngineControl {
public:
    std::vector<EngineCall> calls;
    const RecordingHost* host = nullptr;  ///< when set, calls note its automation count
    /// When set, runs after each call is recorded, with the call's name: what
    /// another thread does while the pass runs.
    std::function<void(const std::string&)> onCall;
    int mode = 6;
    int reportedLatency = 2;

    void updateDetectorFilters(bool alphaMode, double sampleRate, double attackSeconds,
                               double releaseSeconds, double filterHz) noexcept override {
        record("updateDetectorFilters",
               {alphaMode ? 1.0 : 0.0, sampleRate, attackSeconds, releaseSeconds, filterHz});
    }
    void designGainComputers(double threshold, double knee, double ratio) noexcept override {
        record("designGainComputers", {threshold, knee, ratio});
    }
    void setClipLevel(double clipLevel) noexcept override { record("setClipLevel", {clipLevel}); }
    void setSaturationEnabled(bool enabled) noexcept override {
        record("setSaturationEnabled", {enabled ? 1.0 : 0.0});
    }
    void setChannelMode(int m) noexcept override {
        mode = m;
        record("setChannelMode", {double(m)});
    }
    int channelMode() const noexcept override { return mode; }
    void setLimiterCeiling(double ceiling) noexcept override {
        record("setLimiterCeiling", {ceiling});
    }
    void setLevels(double inputGain, double wetGain, double dryGain) noexcept override {
        record("setLevels", {inputGain, wetGain, dryGain});
    }
    void setScoop(double gain, double sampleRate) noexcept override {
        record("setScoop", {gain, sampleRate});
    }
    void setOversampling(int factor, bool hq) noexcept override {
        record("setOversampling", {double(factor), hq ? 1.0 : 0.0});
        reportedLatency = hq && factor > 1 ? 172 : 2;
    }
    void setLimiterPosition(bool pre, bool post) noexcept override {
        record("setLimiterPosition", {pre ? 1.0 : 0.0, post ? 1.0 : 0.0});
    }
    void setBypass(bool bypass) noexcept override { record("setBypass", {bypass ? 1.0 : 0.0}); }
    void setNoiseBits(int bits) noexcept override { record("setNoiseBits", {double(bits)}); }
    void takeOverSideChainAudio() noexcept override { record("takeOverSideChainAudio", {}); }
    int latency() const noexcept override { return reportedLatency; }

    /// The calls' names in order.
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const EngineCall& c : calls) result.push_back(c.name);
        return result;
    }
    /// The last call of that name, or null when there is none.
    const EngineCall* last(const std::string& name) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
            if (it->name == name) return &*it;
        }
        return nullptr;
    }
    int count(const std::string& name) const {
        int n = 0;
        for (const EngineCall& c : calls) n += c.name == name;
        return n;
    }

private:
    void record(const char* name, std::vector<double> args) {
        calls.push_back({name, std::move(args), host != nullptr ? host->automation.size() : 0});
        if (onCall) onCall(name);
    }
};


/// Points XDG_CONFIG_HOME at a fresh empty folder for the life of the object
/// and restores the previous setting afterwards.
class ScopedConfigHome {
public:
    ScopedConfigHome() {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        char pattern[] = "/tmp/tarvo-config-XXXXXX";
        const char* made = mkdtemp(pattern);
        root_ = made != nullptr ? made : "/tmp/tarvo-config-unavailable";
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    }
    ~ScopedConfigHome() {
        std::remove(file().c_str());
        rmdir((root_ + "/orlenaudio/Tarvo").c_str());
        rmdir((root_ + "/orlenaudio").c_str());
        rmdir(root_.c_str());
        if (hadOld_) {
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

    const std::string& root() const { return root_; }
    std::string file() const { return root_ + "/orlenaudio/Tarvo/Default"; }

    /// Writes the stored default file with exactly these bytes.
    void store(const std::vector<unsigned char>& bytes) const {
        mkdir((root_ + "/orlenaudio").c_str(), 0700);
        mkdir((root_ + "/orlenaudio/Tarvo").c_str(), 0700);
        std::ofstream out(file(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    /// 22 positions as the stored layout: little-endian floats.
    static std::vector<unsigned char> row(const std::vector<float>& positions) {
        std::vector<unsigned char> bytes;
        for (float p : positions) {
            std::uint32_t bits;
            std::memcpy(&bits, &p, sizeof bits);
            for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<unsigned char>(bits >> (8 * b)));
        }
        return bytes;
    }

private:
    std::string root_;
    std::string old_;
    bool hadOld_ = false;
};

/// A controller on recording doubles, with a private configuration folder
/// that holds no stored default unless a test writes one before building
/// the controller (use the two-step form for that).
struct ControllerRig {
    ScopedConfigHome config;
    RecordingHost host;
    RecordingEngine engine;
    ParameterController controller{engine, host};

    ControllerRig() { engine.host = &host; }

    /// Runs the passes that consume every pending mark (the oversampling
    /// group re-marks Attack and MidScoop once), then forgets all calls.
    void settle() {
        for (int i = 0; i < 3; ++i) controller.configureEngine();
        engine.calls.clear();
        host.automation.clear();
    }

    std::string display(int index) const {
        char text[9] = {};
        controller.getParameterDisplay(index, text);
        return text;
    }
};

}  // namespace testing
}  // namespace tarvo
