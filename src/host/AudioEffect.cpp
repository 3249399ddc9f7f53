#include "host/AudioEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/AEffEditor.h"

namespace tarvo {

namespace {

AudioEffect* instanceOf(AEffect* effect) noexcept {
    return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

/// Formats into a scratch buffer, then copies at most maxLength characters.
template <typename... Args>
void formatText(char* text, VstInt32 maxLength, const char* format, Args... args) {
    if (!text || maxLength < 0) return;
    char scratch[64];
    std::snprintf(scratch, sizeof scratch, format, args...);
    const std::size_t length = std::strlen(scratch);
    const std::size_t count =
        length < static_cast<std::size_t>(maxLength) ? length : static_cast<std::size_t>(maxLength);
    std::memcpy(text, scratch, count);
    text[count] = 0;
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms,
                         VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    std::memset(&cEffect, 0, sizeof cEffect);
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect() { delete editor; }

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    // Operations that read or write through the host's pointer are not
    // called when the pointer is none: the host gets 0 and nothing is written.
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            if (text) setProgramName(text);
            return 0;
        case effGetProgramName:
            if (text) getProgramName(text);
            return 0;
        case effGetParamLabel:
            if (text) getParameterLabel(index, text);
            return 0;
        case effGetParamDisplay:
            if (text) getParameterDisplay(index, text);
            return 0;
        case effGetParamName:
            if (text) getParameterName(index, text);
            return 0;
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value != 0)
                resume();
            else
                suspend();
            return 0;
        case effEditGetRect:
            return editor && ptr && editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        case effEditOpen:
            return editor && editor->open(ptr) ? 1 : 0;
        case effEditClose:
            if (editor) editor->close();
            return 0;
        case effEditIdle:
            if (editor) editor->idle();
            return 0;
        case effIdentify:
            return fourCharCode('N', 'v', 'E', 'f');
        case effGetChunk:
            return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
        case effSetChunk:
            return ptr ? setChunk(ptr, static_cast<VstInt32>(value), index != 0) : 0;
        default:  // effGetVu, the editor's draw, mouse, key, top and sleep, unknown opcodes
            return 0;
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    const VstIntPtr version = callHost(audioMasterVersion);
    return version != 0 ? static_cast<VstInt32>(version) : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLength) {
    if (value <= 0.0f)
        formatText(text, maxLength, "-oo");
    else
        formatText(text, maxLength, "%.2f", 20.0 * std::log10(static_cast<double>(value)));
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLength) {
    if (samples == 0.0f)
        formatText(text, maxLength, "0");  // an infinite frequency is no display text
    else
        formatText(text, maxLength, "%.2f", static_cast<double>(sampleRate / samples));
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLength) {
    formatText(text, maxLength, "%.2f", static_cast<double>(samples * 1000.0f / sampleRate));
}

void AudioEffect::float2string(float value, char* text, VstInt32 maxLength) {
    formatText(text, maxLength, "%.2f", static_cast<double>(value));
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLength) {
    formatText(text, maxLength, "%d", static_cast<int>(value));
}

void AudioEffect::copyText(char* text, const char* source, VstInt32 maxChars) noexcept {
    if (!text || maxChars < 0) return;
    VstInt32 i = 0;
    for (; source && source[i] != 0 && i < maxChars; ++i) text[i] = source[i];
    for (; i <= maxChars; ++i) text[i] = 0;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setFlag(VstInt32 flag, bool state) noexcept {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

// The record's entries. An exception from an operation stops at this
// boundary: the host gets 0 (or nothing) instead of an unwinding C frame.

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt) noexcept {
    AudioEffect* instance = instanceOf(effect);
    if (!instance) return 0;
    if (opcode == effClose) {
        try {
            instance->dispatcher(opcode, index, value, ptr, opt);
        } catch (...) {
        }
        delete instance;  // destructors do not throw
        return 1;
    }
    try {
        return instance->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void AudioEffect::setParameterClass(AEffect* effect, VstInt32 index, float value) noexcept {
    try {
        if (AudioEffect* instance = instanceOf(effect)) instance->setParameter(index, value);
    } catch (...) {
    }
}

float AudioEffect::getParameterClass(AEffect* effect, VstInt32 index) noexcept {
    try {
        if (AudioEffect* instance = instanceOf(effect)) return instance->getParameter(index);
    } catch (...) {
    }
    return 0.0f;
}

void AudioEffect::processClass(AEffect* effect, float** inputs, float** outputs,
                               VstInt32 sampleFrames) noexcept {
    try {
        if (AudioEffect* instance = instanceOf(effect))
            instance->process(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

void AudioEffect::processClassReplacing(AEffect* effect, float** inputs, float** outputs,
                                        VstInt32 sampleFrames) noexcept {
    try {
        if (AudioEffect* instance = instanceOf(effect))
            instance->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

void AudioEffect::processClassDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                              VstInt32 sampleFrames) noexcept {
    try {
        if (AudioEffect* instance = instanceOf(effect))
            instance->processDoubleReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

}  // namespace tarvo
