#pragma once

#include "host/AudioEffect.h"

namespace tarvo {

/// The extended VST 2.4 base: no data of its own, the extended operations
/// with their defaults (slots 50 to 151, continuing AudioEffect's), the
/// extended host requests, and the extended level of the dispatcher.
class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    /// Extended level of the dispatcher: opcodes 25 to 79; every other
    /// opcode, and those this level passes down, go to AudioEffect's level.
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }           // 50
    /// A none `text` asks only whether text input is supported.
    virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }  // 51
    virtual bool getParameterProperties(VstInt32 /*index*/,
                                        VstParameterProperties* /*properties*/) {
        return false;
    }                                                                                   // 52
    virtual bool beginEdit(VstInt32 index);                                             // 53
    virtual bool endEdit(VstInt32 index);                                               // 54
    virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/,
                                       char* /*text*/) {
        return false;
    }                                                                                   // 55
    virtual bool beginSetProgram() { return false; }                                    // 56
    virtual bool endSetProgram() { return false; }                                      // 57
    virtual VstInt32 beginLoadBank(VstPatchChunkInfo* /*info*/) { return 0; }           // 58
    virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* /*info*/) { return 0; }        // 59
    virtual bool ioChanged();                                                           // 60
    /// Asks the host; a positive answer becomes `sampleRate`. Returns sampleRate.
    virtual float updateSampleRate();                                                   // 61
    /// Asks the host; a positive answer becomes `blockSize`. Returns blockSize.
    virtual VstInt32 updateBlockSize();                                                 // 62
    virtual VstInt32 getInputLatency();                                                 // 63
    virtual VstInt32 getOutputLatency();                                                // 64
    virtual bool getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }                                                                                   // 65
    virtual bool getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }                                                                                   // 66
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/,
                                       VstSpeakerArrangement* /*output*/) {
        return false;
    }                                                                                   // 67
    /// Stores none into both, answers false.
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input,
                                       VstSpeakerArrangement** output);                 // 68
    virtual bool setBypass(bool /*onOff*/) { return false; }                            // 69
    virtual bool setPanLaw(VstInt32 /*type*/, float /*value*/) { return false; }        // 70
    virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }          // 71
    virtual VstInt32 getNumMidiInputChannels() { return 0; }                            // 72
    virtual VstInt32 getNumMidiOutputChannels() { return 0; }                           // 73
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);                                  // 74
    virtual VstInt32 getCurrentProcessLevel();                                          // 75
    virtual VstInt32 getAutomationState();                                              // 76
    virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }                 // 77
    virtual VstInt32 startProcess() { return 0; }                                       // 78
    virtual VstInt32 stopProcess() { return 0; }                                        // 79
    virtual bool processVariableIo(VstVariableIo* /*io*/) { return false; }             // 80
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }          // 81
    virtual bool getHostVendorString(char* text);                                       // 82
    virtual bool getHostProductString(char* text);                                      // 83
    virtual VstInt32 getHostVendorVersion();                                            // 84
    virtual VstIntPtr hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr,
                                         float opt);                                    // 85
    virtual VstInt32 canHostDo(char* text);                                             // 86
    virtual VstInt32 getHostLanguage();                                                 // 87
    virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }        // 88
    virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }   // 89
    virtual VstInt32 getGetTailSize() { return 0; }                                     // 90
    virtual void* getDirectory();                                                       // 91
    virtual bool getEffectName(char* /*name*/) { return false; }                        // 92
    virtual bool getVendorString(char* /*text*/) { return false; }                      // 93
    virtual bool getProductString(char* /*text*/) { return false; }                     // 94
    virtual VstInt32 getVendorVersion() { return 0; }                                   // 95
    virtual VstIntPtr vendorSpecific(VstInt32 /*arg1*/, VstIntPtr /*arg2*/, void* /*ptr*/,
                                     float /*opt*/) {
        return 0;
    }                                                                                   // 96
    virtual VstInt32 canDo(char* /*text*/) { return 0; }                                // 97
    virtual VstInt32 getVstVersion() { return kVstVersion; }                            // 98
    virtual VstPlugCategory getPlugCategory() { return kPlugCategUnknown; }             // 99
    virtual VstInt32 getMidiProgramName(VstInt32 /*channel*/,
                                        MidiProgramName* /*midiProgramName*/) {
        return 0;
    }                                                                                   // 100
    virtual VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/,
                                           MidiProgramName* /*currentProgram*/) {
        return -1;
    }                                                                                   // 101
    virtual VstInt32 getMidiProgramCategory(VstInt32 /*channel*/,
                                            MidiProgramCategory* /*category*/) {
        return 0;
    }                                                                                   // 102
    virtual bool hasMidiProgramsChanged(VstInt32 /*channel*/) { return false; }         // 103
    virtual bool getMidiKeyName(VstInt32 /*channel*/, MidiKeyName* /*keyName*/) {
        return false;
    }                                                                                   // 104
    virtual bool updateDisplay();                                                       // 105
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);                           // 106
    /// False, and nothing sent, when the selector is none.
    virtual bool openFileSelector(VstFileSelect* selector);                             // 107
    virtual bool closeFileSelector(VstFileSelect* selector);                            // 108
    virtual VstInt32 getNextShellPlugin(char* /*name*/) { return 0; }                   // 109
    /// Replaces *arrangement with a zero-filled one for `channels` speakers
    /// (never smaller than the declared structure); false when allocation
    /// fails or the count is negative.
    virtual bool allocateArrangement(VstSpeakerArrangement** arrangement,
                                     VstInt32 channels);                                // 110
    /// Releases an arrangement made by allocateArrangement and stores none.
    virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);            // 111
    /// Copies every field; the name at most 63 characters, always terminated.
    virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);     // 112
    /// Reallocates *to with from's channel count and copies type and speakers.
    virtual bool matchArrangement(VstSpeakerArrangement** to,
                                  VstSpeakerArrangement* from);                         // 113
    virtual bool offlineRead(VstOfflineTask* offline, VstInt32 option,
                             bool readSource = true);                                   // 114
    virtual bool offlineWrite(VstOfflineTask* offline, VstInt32 option);                // 115
    virtual bool offlineStart(VstAudioFile* files, VstInt32 numAudioFiles,
                              VstInt32 numNewAudioFiles);                               // 116
    virtual VstInt32 offlineGetCurrentPass();                                           // 117
    virtual VstInt32 offlineGetCurrentMetaPass();                                       // 118
    virtual bool offlineNotify(VstAudioFile* /*files*/, VstInt32 /*numAudioFiles*/,
                               bool /*start*/) {
        return false;
    }                                                                                   // 119
    virtual bool offlinePrepare(VstOfflineTask* /*offline*/, VstInt32 /*count*/) {
        return false;
    }                                                                                   // 120
    virtual bool offlineRun(VstOfflineTask* /*offline*/, VstInt32 /*count*/) {
        return false;
    }                                                                                   // 121
    virtual VstInt32 offlineGetNumPasses() { return 0; }                                // 122
    virtual VstInt32 offlineGetNumMetaPasses() { return 0; }                            // 123
    virtual void wantEvents(VstInt32 filter = 1);                                       // 124
    virtual VstInt32 tempoAt(VstInt32 position);                                        // 125
    virtual VstInt32 getNumAutomatableParameters();                                     // 126
    virtual VstInt32 getParameterQuantization();                                        // 127
    virtual VstInt32 getNumCategories() { return 1; }                                   // 128
    virtual bool copyProgram(VstInt32 /*destination*/) { return false; }                // 129
    virtual bool needIdle();                                                            // 130
    /// The input number is not passed to the host.
    virtual AEffect* getPreviousPlug(VstInt32 input);                                   // 131
    virtual AEffect* getNextPlug(VstInt32 output);                                      // 132
    virtual void inputConnected(VstInt32 /*index*/, bool /*state*/) {}                  // 133
    virtual void outputConnected(VstInt32 /*index*/, bool /*state*/) {}                 // 134
    virtual VstInt32 willProcessReplacing();                                            // 135
    virtual void wantAsyncOperation(bool state = true) { setFlag(effFlagsExtIsAsync, state); }  // 136
    virtual void hasExternalBuffer(bool state = true) { setFlag(effFlagsExtHasBuffer, state); }  // 137
    virtual VstInt32 reportCurrentPosition() { return 0; }                              // 138
    virtual float* reportDestinationBuffer() { return nullptr; }                        // 139
    virtual void setOutputSamplerate(float rate);                                       // 140
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();                        // 141
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();                       // 142
    virtual void* openWindow(VstWindow* window);                                        // 143
    virtual bool closeWindow(VstWindow* window);                                        // 144
    virtual void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
        blockSize = newBlockSize;
        sampleRate = newSampleRate;
    }                                                                                   // 145
    virtual bool getErrorText(char* /*text*/) { return false; }                         // 146
    virtual void* getIcon() { return nullptr; }                                         // 147
    virtual bool setViewPosition(VstInt32 /*x*/, VstInt32 /*y*/) { return false; }      // 148
    virtual VstInt32 fxIdle() { return 0; }                                             // 149
    virtual bool keysRequired() { return false; }                                       // 150
    virtual bool getChunkFile(void* nativePath);                                        // 151
};

}  // namespace tarvo
