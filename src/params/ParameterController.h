#pragma once

#include "engine/EngineControl.h"
#include "params/FactoryPrograms.h"
#include "params/HostLink.h"
#include "params/ParameterDescriptor.h"
#include "params/ParameterTable.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace tarvo {

/// The plug-in's parameters, programs and the pass that turns parameter
/// values into engine settings. Owns the 22 descriptors, the working copy of
/// the 16 programs with their names, and the flags that decide when the
/// engine is configured. The host-side class forwards its parameter, program,
/// sample-rate and suspend/resume operations here one to one.
///
/// Threads: the host's threads call the parameter and program operations,
/// the audio thread calls processLevel and configureEngine at the start of a
/// block. Values and changed marks cross between them as atomics (see
/// ParameterDescriptor). setSampleRate, suspend and resume must not run
/// while a block is processed.
class ParameterController {
public:
    /// Builds the descriptors, copies the factory programs, lets the user's
    /// stored default replace row 0, copies the names and assigns program 0's
    /// positions to the parameters, each marked changed. The engine is not
    /// configured yet: the owner calls configureEngine once its own
    /// construction is complete. engine and host must outlive the controller.
    ParameterController(EngineControl& engine, HostLink& host) noexcept;

    ParameterController(const ParameterController&) = delete;
    ParameterController& operator=(const ParameterController&) = delete;

    // Parameters. Indices are compared unsigned: a negative index is out of
    // range like 22 and above. Null text pointers are left alone.

    /// value = toValue(position), then the changed mark; "A,R Time" also
    /// re-ranges Attack and Release. Whatever the index, the engine is
    /// configured at once while neither active nor loading a program.
    void setParameter(std::int32_t index, float position);
    /// The position of the current value; 0 for an out-of-range index.
    float getParameter(std::int32_t index) const noexcept;
    /// 8 characters and a terminator at text[8]; out of range: untouched.
    void getParameterName(std::int32_t index, char* text) const noexcept;
    void getParameterDisplay(std::int32_t index, char* text) const noexcept;
    /// An empty text for a parameter without a unit.
    void getParameterLabel(std::int32_t index, char* text) const noexcept;

    // Programs.

    /// Saves the current positions into the current row, then loads row
    /// program through setParameter and one automation request per
    /// parameter, in index order; configures the engine at the end when
    /// suspended. A number outside 0..15 is ignored.
    void setProgram(std::int32_t program);
    std::int32_t getProgram() const noexcept { return curProgram_.load(std::memory_order_relaxed); }
    /// Keeps at most 24 characters as the current program's name.
    void setProgramName(const char* name) noexcept;
    /// 24 characters and a terminator at text[24].
    void getProgramName(char* text) const noexcept;
    /// Program index's name like getProgramName and true; false and text
    /// untouched for an index outside 0..15. The category is ignored.
    bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) const noexcept;

    // Block driver side.

    /// New host rate: engine rate first; on a real change (NaN counts as
    /// one) every program's "Upsampl." is re-derived for the rate and the
    /// current program's is assigned (no automation); "Attack" and
    /// "MidScoop" are marked changed; the engine latency is stored as the
    /// initial delay; last the host side stores the rate.
    void setSampleRate(float rate);
    void suspend() noexcept { isActive_.store(false, std::memory_order_relaxed); }
    /// The flag side of resume; the engine reset is the owner's.
    void resume() noexcept { isActive_.store(true, std::memory_order_relaxed); }
    /// The host's process level at the start of a block: on a change in or
    /// out of offline rendering (4) with "Render8x" "On", marks "Upsampl."
    /// changed so the next pass switches between 8x and its own factor.
    void processLevel(std::int32_t level) noexcept;
    /// Visits the 22 parameters in order; for each marked one, clears the
    /// mark and rewrites its group's engine settings from the current
    /// values. Costs 22 mark tests when nothing changed. Allocates nothing
    /// and cannot fail, so both strips always end a pass with the same
    /// settings. An oversampling change is applied together with the
    /// designs made for the factor (detectors, key filters, limiter windows,
    /// scoop), or stays marked for the next pass when another thread makes
    /// it after the pass's last chance to redesign.
    void configureEngine() noexcept;

    /// Exclusive use of the engine for one configuration pass or one block,
    /// taken without waiting: false while another thread holds it. A host
    /// may process while suspended, when parameter changes configure the
    /// engine on the host's thread; the two never touch the engine at once.
    bool tryAcquireEngine() noexcept { return !engineBusy_.exchange(true, std::memory_order_acquire); }
    void releaseEngine() noexcept { engineBusy_.store(false, std::memory_order_release); }

    bool sideChainExternal() const noexcept { return sideChainExternal_.load(std::memory_order_relaxed); }
    bool isActive() const noexcept { return isActive_.load(std::memory_order_relaxed); }
    bool inProgramChange() const noexcept { return inProgramChange_.load(std::memory_order_relaxed); }
    std::int32_t lastProcessLevel() const noexcept {
        return lastProcessLevel_.load(std::memory_order_relaxed);
    }
    double engineSampleRate() const noexcept { return engineSampleRate_.load(std::memory_order_relaxed); }

    const ParameterDescriptor& descriptor(std::int32_t index) const noexcept { return descriptors_[index]; }
    /// Stored position of parameter index in program's row of the working copy.
    float programPosition(std::int32_t program, std::int32_t index) const noexcept {
        return programTable_[program][index];
    }

    static constexpr std::int32_t kProcessLevelOffline = 4;
    /// Host sample rates accepted, in Hz; others are ignored.
    static constexpr float kMinimumSampleRate = static_cast<float>(tarvo::kMinimumSampleRate);
    static constexpr float kMaximumSampleRate = static_cast<float>(tarvo::kMaximumSampleRate);

private:
    static bool inParameterRange(std::int32_t index) noexcept {
        return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(kParameterCount);
    }
    double v(int index) const noexcept { return descriptors_[index].value(); }
    int idx(int index) const noexcept;
    /// The value of a level parameter in dB as a linear gain, 10^(v * 0.05).
    double linearGain(int index) const noexcept;

    /// The pass on the calling thread, unless a block holds the engine.
    void configureWhenIdle();
    void applyArTimeRanges() noexcept;
    void applyStoredDefault() noexcept;

    /// One visit of the 22 marks; true when the oversampling group ran.
    /// Without withOversampling the marks of that group are left as they are.
    bool sweepChanges(bool withOversampling) noexcept;
    void configureDetector() noexcept;
    void configureCompression() noexcept;
    void configureCeiling() noexcept;
    void configureLevels() noexcept;
    void configureScoop() noexcept;
    void configureMode() noexcept;
    void configureOversampling() noexcept;
    void configureLimiterPosition() noexcept;
    void configureBypass() noexcept;
    void configureNoise() noexcept;
    void configureSideChain() noexcept;

    EngineControl& engine_;
    HostLink& host_;
    std::array<ParameterDescriptor, kParameterCount> descriptors_;
    float programTable_[kProgramCount][kParameterCount];
    char programNames_[kProgramCount][kProgramNameLength + 1];
    std::atomic<std::int32_t> curProgram_{0};
    std::atomic<bool> inProgramChange_{false};
    std::atomic<bool> isActive_{false};
    std::atomic<bool> sideChainExternal_{false};
    std::atomic<std::int32_t> lastProcessLevel_{0};
    std::atomic<double> engineSampleRate_{44100.0};
    std::atomic<bool> engineBusy_{false};
};

}  // namespace tarvo
