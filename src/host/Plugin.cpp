#include "host/Plugin.h"

#include <algorithm>

namespace tarvo {

namespace {

/// Zeros both output channels; a missing channel pointer is skipped.
template <typename Sample>
void writeSilence(Sample** outputs, VstInt32 sampleFrames) noexcept {
    if (!outputs || sampleFrames <= 0) return;
    for (VstInt32 channel = 0; channel < plugin::kNumOutputs; ++channel)
        if (outputs[channel]) std::fill_n(outputs[channel], sampleFrames, Sample(0));
}

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new plugin(audioMaster);
}

plugin::plugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    setNumInputs(kNumInputs);
    setNumOutputs(kNumOutputs);
    canProcessReplacing();
    canDoubleReplacing();
    canMono();
    setUniqueID(kUniqueId);
    setInitialDelay(kFastPathLatency);
}

plugin::~plugin() = default;

void plugin::processReplacing(float** /*inputs*/, float** outputs,
                              VstInt32 sampleFrames) noexcept {
    lastProcessLevel = getCurrentProcessLevel();
    writeSilence(outputs, sampleFrames);
}

void plugin::processDoubleReplacing(double** /*inputs*/, double** outputs,
                                    VstInt32 sampleFrames) noexcept {
    lastProcessLevel = getCurrentProcessLevel();
    writeSilence(outputs, sampleFrames);
}

bool plugin::getEffectName(char* name) {
    copyText(name, "Tarvo", kVstMaxEffectNameLen);
    return true;
}

bool plugin::getVendorString(char* text) {
    copyText(text, "Hanvik", kVstMaxVendorStrLen);
    return true;
}

bool plugin::getProductString(char* text) {
    copyText(text, "Tarvo", kVstMaxProductStrLen);
    return true;
}

}  // namespace tarvo
