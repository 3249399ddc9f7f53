#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/StereoProcessor.h"
#include "host/AudioEffectX.h"
#include "params/HostLink.h"
#include "params/ParameterController.h"

namespace tarvo {

/// Tarvo's plug-in instance: a stereo compressor with a side-chain input,
/// four audio inputs (main left, main right, side-chain left, side-chain
/// right) and two outputs, 22 parameters and 16 programs.
///
/// The instance owns the audio engine and the parameter controller; the
/// host-facing operations forward to them. Parameter changes reach the engine
/// through the configuration pass at the start of every block (or at once
/// while suspended), so the engine never changes inside a block.
///
/// Latency notification: the record's initialDelay always holds the engine's
/// latency after a pass. The host is told of a change with ioChanged only
/// from a control thread, never from inside a processing call (a host may
/// answer ioChanged by suspending and resuming the plug-in, which must not
/// happen in the middle of processReplacing): at once when the change
/// happens while suspended, and otherwise at the next resume, where hosts
/// re-read the delay anyway.
class plugin : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 16;
    static constexpr VstInt32 kNumParams = 22;
    static constexpr VstInt32 kNumInputs = 4;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr VstInt32 kUniqueId = fourCharCode('T', 'R', 'V', '2');  // 0x54525632
    static constexpr VstInt32 kVendorVersion = 301;

    explicit plugin(audioMasterCallback audioMaster);
    ~plugin() override;

    /// The engine holds 16-byte aligned state (frame rows, SSE2 lanes), but a
    /// compiler may take plain new to give 16-byte alignment where the heap
    /// gives only 8 (32-bit Windows): instances are always allocated aligned.
    static void* operator new(std::size_t size);
    static void operator delete(void* pointer) noexcept;

    // Audio
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept override;
    void processDoubleReplacing(double** inputs, double** outputs,
                                VstInt32 sampleFrames) noexcept override;
    void suspend() override;
    void resume() override;
    void setSampleRate(float newSampleRate) override;

    // Parameters
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* label) override;

    // Programs
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    // Identification
    /// "Tarvo", at most kVstMaxEffectNameLen characters.
    bool getEffectName(char* name) override;
    /// "Hanvik", at most kVstMaxVendorStrLen characters.
    bool getVendorString(char* text) override;
    /// "Tarvo", at most kVstMaxProductStrLen characters.
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return kVendorVersion; }
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

private:
    /// The parameter layer's view of the host side.
    class Link final : public HostLink {
    public:
        explicit Link(plugin& owner) : owner_(owner) {}
        void automate(std::int32_t index, float position) override;
        void setInitialDelay(std::int32_t samples) override;
        float sampleRate() const override;
        void storeSampleRate(float rate) override;
        void configuredOutsideProcessing() override;

    private:
        plugin& owner_;
    };

    /// The body of both processing entries: flush-to-zero, the host's
    /// process level, the configuration pass, then the block through the
    /// engine.
    template <typename Sample>
    void processEntry(Sample** inputs, Sample** outputs, VstInt32 sampleFrames) noexcept;
    /// Sends ioChanged when the record's delay differs from the one the host
    /// was last told. Control threads only, with the engine held or no block
    /// running (resume), so the delay is not being written meanwhile.
    void announceLatency();

    StereoProcessor engine_;
    Link link_{*this};
    ParameterController params_{engine_, link_};
    /// The initial delay the host was last told of (through ioChanged, or by
    /// reading the record before the first change); set by the constructor.
    VstInt32 announcedLatency_ = 0;
};

}  // namespace tarvo
