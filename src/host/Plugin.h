#pragma once

#include "host/AudioEffectX.h"

namespace tarvo {

/// Tarvo's plug-in instance: a stereo compressor with a side-chain input,
/// four audio inputs (main left, main right, side-chain left, side-chain
/// right) and two outputs, 22 parameters and 16 programs.
///
/// The instance identifies itself to the host here. The parameter layer and
/// the audio engine are not wired in yet: until they are, both processing
/// operations write silence, and the parameter and program operations keep
/// the framework's defaults.
class plugin : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 16;
    static constexpr VstInt32 kNumParams = 22;
    static constexpr VstInt32 kNumInputs = 4;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr VstInt32 kUniqueId = fourCharCode('T', 'R', 'V', '2');  // 0x54525632
    static constexpr VstInt32 kVendorVersion = 301;
    /// Latency in host samples without the halfband oversampling stages.
    static constexpr VstInt32 kFastPathLatency = 2;

    explicit plugin(audioMasterCallback audioMaster);
    ~plugin() override;

    /// Placeholder until the engine is wired in: asks the host's process
    /// level once, then writes zeros into both outputs.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept override;
    void processDoubleReplacing(double** inputs, double** outputs,
                                VstInt32 sampleFrames) noexcept override;

    /// "Tarvo", at most kVstMaxEffectNameLen characters.
    bool getEffectName(char* name) override;
    /// "Hanvik", at most kVstMaxVendorStrLen characters.
    bool getVendorString(char* text) override;
    /// "Tarvo", at most kVstMaxProductStrLen characters.
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return kVendorVersion; }
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

private:
    /// The host's process level seen at the previous processing call.
    VstInt32 lastProcessLevel = kVstProcessLevelUnknown;
};

}  // namespace tarvo
