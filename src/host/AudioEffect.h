#pragma once

#include "host/Vst2.h"

namespace tarvo {

class AEffEditor;

/// The host-facing base of a plug-in instance. It owns the effect record
/// handed to the host, keeps the host callback, gives every VST 2.4 base
/// operation a default and wraps the base-level host requests.
///
/// The virtual operations are declared in their fixed slot order; a
/// subclass overrides what it needs. The record's entries are static
/// functions that find the instance through the record's `object` field,
/// forward to the virtual operations and never let an exception escape.
class AudioEffect {
public:
    /// Fills the record with the standard defaults: magic, the static
    /// entries, the program and parameter counts, one input, two outputs,
    /// replacing processing, ioRatio 1, uniqueID 'NoEf', version 1.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    /// Deletes the editor if one is set.
    virtual ~AudioEffect();                                                       // 0
    /// Base level of the dispatcher: opcodes 0 to 24, every other opcode 0.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                 void* ptr, float opt);                           // 1
    virtual void open() {}                                                        // 2
    virtual void close() {}                                                       // 3
    virtual void suspend() {}                                                     // 4
    virtual void resume() {}                                                      // 5
    virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }  // 6
    virtual void setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }   // 7
    virtual void processReplacing(float** inputs, float** outputs,
                                  VstInt32 sampleFrames) = 0;                     // 8
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        VstInt32 /*sampleFrames*/) {}             // 9
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}             // 10
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }               // 11
    /// setParameter, then audioMasterAutomate with the index and value.
    virtual void setParameterAutomated(VstInt32 index, float value);              // 12
    virtual VstInt32 getProgram() { return curProgram; }                          // 13
    virtual void setProgram(VstInt32 program) { curProgram = program; }           // 14
    virtual void setProgramName(char* /*name*/) {}                                // 15
    virtual void getProgramName(char* name) { name[0] = 0; }                      // 16
    virtual void getParameterLabel(VstInt32 /*index*/, char* label) { label[0] = 0; }  // 17
    virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { text[0] = 0; }  // 18
    virtual void getParameterName(VstInt32 /*index*/, char* text) { text[0] = 0; }     // 19
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/ = false) { return 0; }  // 20
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/,
                              bool /*isPreset*/ = false) { return 0; }            // 21
    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }             // 22
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }    // 23
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }  // 24
    virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }  // 25
    virtual void canDoubleReplacing(bool state = true) {
        setFlag(effFlagsCanDoubleReplacing, state);
    }                                                                             // 26
    virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }  // 27
    /// Stores the latency in the record, and nothing else: the host reads
    /// it when it chooses to.
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }  // 28
    virtual AEffEditor* getEditor() { return editor; }                            // 29
    virtual AEffect* getAeffect() { return &cEffect; }                            // 30
    virtual float getSampleRate() { return sampleRate; }                          // 31
    virtual VstInt32 getBlockSize() { return blockSize; }                         // 32
    /// The host's VST version; 1 when it answers 0 or there is no host.
    virtual VstInt32 getMasterVersion();                                          // 33
    virtual VstInt32 getCurrentUniqueId();                                        // 34
    virtual void masterIdle();                                                    // 35
    /// True unless the host answers that the pin is not connected.
    virtual bool isInputConnected(VstInt32 input);                                // 36
    virtual bool isOutputConnected(VstInt32 output);                              // 37
    /// Text formatting into `text`, at most maxLength characters plus the
    /// terminator. dB2string: 20*log10(value) in dB, "-oo" at or below 0.
    virtual void dB2string(float value, char* text, VstInt32 maxLength);          // 38
    /// sampleRate / samples, in Hz.
    virtual void Hz2string(float samples, char* text, VstInt32 maxLength);        // 39
    /// samples * 1000 / sampleRate, in milliseconds.
    virtual void ms2string(float samples, char* text, VstInt32 maxLength);        // 40
    virtual void float2string(float value, char* text, VstInt32 maxLength);       // 41
    virtual void int2string(VstInt32 value, char* text, VstInt32 maxLength);      // 42
    /// Accumulating processing of older hosts: not supported, does nothing.
    virtual void process(float** /*inputs*/, float** /*outputs*/,
                         VstInt32 /*sampleFrames*/) {}                            // 43
    virtual float getVu() { return 0.0f; }                                        // 44
    virtual void hasVu(bool state = true) { setFlag(effFlagsHasVu, state); }      // 45
    virtual void hasClip(bool state = true) { setFlag(effFlagsHasClip, state); }  // 46
    virtual void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }  // 47
    virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }  // 48
    virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }    // 49

    /// Copies at most maxChars characters of `source` into `text`, pads the
    /// rest up to maxChars with zeros and writes a terminator at
    /// text[maxChars]: the buffer must hold maxChars + 1 bytes.
    static void copyText(char* text, const char* source, VstInt32 maxChars) noexcept;

protected:
    /// Sends one request to the host; 0 without a host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setFlag(VstInt32 flag, bool state) noexcept;

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;  ///< owned; never set in Tarvo
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;

private:
    // The record's entries, in the host's calling convention.
    static VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* effect, VstInt32 opcode,
                                                     VstInt32 index, VstIntPtr value,
                                                     void* ptr, float opt) noexcept;
    static void VSTCALLBACK setParameterClass(AEffect* effect, VstInt32 index,
                                              float value) noexcept;
    static float VSTCALLBACK getParameterClass(AEffect* effect, VstInt32 index) noexcept;
    static void VSTCALLBACK processClass(AEffect* effect, float** inputs, float** outputs,
                                         VstInt32 sampleFrames) noexcept;
    static void VSTCALLBACK processClassReplacing(AEffect* effect, float** inputs,
                                                  float** outputs,
                                                  VstInt32 sampleFrames) noexcept;
    static void VSTCALLBACK processClassDoubleReplacing(AEffect* effect, double** inputs,
                                                        double** outputs,
                                                        VstInt32 sampleFrames) noexcept;
};

/// Allocates and constructs the plug-in's instance. Defined by the plug-in;
/// called by the exported entry after the host answered its version query.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

}  // namespace tarvo
