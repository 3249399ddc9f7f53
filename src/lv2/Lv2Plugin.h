#pragma once

#include <cstdint>

#include "engine/StereoProcessor.h"
#include "lv2/GainHistoryDisplay.h"
#include "lv2/InlineDisplayApi.h"
#include "lv2/Lv2EnableFade.h"
#include "lv2/Lv2Meters.h"
#include "lv2/Lv2Ports.h"
#include "lv2/SilentHostLink.h"
#include "params/ParameterController.h"

namespace tarvo::lv2 {

/// One LV2 instance of Tarvo: the same engine and parameter controller as
/// the VST 2.4 plug-in, driven through ports (see Lv2Ports.h).
///
/// Control ports carry parameter values in display units; run() hands every
/// port whose value changed since the last run to the controller as the
/// position it stands for (ControlValue.h) and then processes the block the
/// way the VST processing call does, so equal settings give equal samples.
/// "Attack" and "Release" hold milliseconds over the whole reach of the
/// "A,R Time" options; "A,R Time" chooses the range the two times are taken
/// in (a time outside it counts as the range's nearer end), so whenever one
/// of the three changes they are applied together: "A,R Time" first, then
/// the two times in its range.
///
/// The host's enabled port, the meters and the inline display's history
/// (Lv2EnableFade.h, Lv2Meters.h, GainHistoryDisplay.h) sit around the
/// engine: the VST processing call has neither, and with the
/// plug-in enabled the audio is the VST's, sample for sample.
///
/// Threads: LV2 calls instantiate, activate, deactivate and cleanup outside
/// run(); every parameter change happens inside run(), on the audio thread.
class Lv2Plugin {
public:
    /// Host sample rates the engine accepts, in Hz.
    static bool acceptsSampleRate(double rate) noexcept;

    /// A suspended instance at rate (one acceptsSampleRate allows), set up
    /// as a VST host sets up the VST plug-in: program 0, then the rate.
    explicit Lv2Plugin(double rate);

    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    /// Ports may be connected in any order and reconnected between runs; a
    /// null or never connected port is left alone (a missing audio input
    /// reads as silence, a missing output is not written).
    void connectPort(std::uint32_t port, void* data) noexcept;
    /// Clears the signal history and starts taking parameter changes per
    /// block, like the VST plug-in's resume.
    void activate() noexcept;
    void deactivate() noexcept;
    /// Applies changed controls, takes the free-wheeling flag as the host's
    /// process level (offline rendering while set, so "Render8x" acts),
    /// processes frames frames (0 included), blends in the passed input
    /// while the enabled port is off or a fade runs, and writes the latency
    /// and the meters.
    void run(std::uint32_t frames) noexcept;

    /// The host's inline-display feature (null: none): run() asks it to
    /// redraw whenever the gain history gains a slice. Set before the first
    /// run.
    void setDrawRequest(const Lv2InlineDisplay* request) noexcept { drawRequest_ = request; }
    /// The inline display's picture (GainHistoryDisplay::render); called on
    /// the host's GUI thread, at the same time as run() may be.
    Lv2InlineDisplayImageSurface* renderDisplay(std::uint32_t width,
                                                std::uint32_t maxHeight) noexcept {
        return display_.render(width, maxHeight);
    }

private:
    void applyControls() noexcept;
    void applyControl(int index) noexcept;
    /// Frames [begin, begin + count) through the engine, in pieces the
    /// engine's 32-bit frame count can hold.
    void process(std::uint32_t begin, std::uint32_t count, bool freeWheeling) noexcept;
    /// The smallest compressor gain among the strips that shape the output
    /// in the current channel mode and are awake; 1 with Bypass on.
    double compressorGain() const noexcept;

    StereoProcessor engine_;
    SilentHostLink link_;
    ParameterController params_{engine_, link_};
    float* audio_[outRight + 1] = {};
    const float* controls_[kParameterCount] = {};
    /// The control values last handed to the controller; NaN until then.
    float applied_[kParameterCount];
    float* latency_ = nullptr;
    const float* freeWheel_ = nullptr;
    const float* enabled_ = nullptr;
    float* meterPorts_[3] = {};  ///< gain reduction, input level, output level
    Lv2EnableFade fade_;
    Lv2Meters meters_;
    GainHistoryDisplay display_;
    const Lv2InlineDisplay* drawRequest_ = nullptr;
};

}  // namespace tarvo::lv2
