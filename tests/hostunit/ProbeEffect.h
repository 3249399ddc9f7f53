#pragma once

#include <string>
#include <vector>

#include "host/AudioEffectX.h"
#include "vsthost/RecordingHost.h"

namespace tarvo::test {

/// One call of a virtual operation, with the arguments it received.
struct OperationCall {
    std::string name;
    VstInt32 a = 0;       ///< first integer argument (index, channel, category, ...)
    VstInt32 b = 0;       ///< second integer argument
    VstIntPtr wide = 0;   ///< pointer-sized argument
    void* ptr = nullptr;  ///< pointer argument
    float opt = 0.0f;     ///< float argument
    bool flag = false;    ///< truth-value argument
};

/// An AudioEffectX whose routed operations record their calls and answer
/// with `answer` (numeric operations) or `truth` (truth-value operations),
/// so a test sees exactly which operation an opcode reached and with what.
class ProbeEffect : public AudioEffectX {
public:
    explicit ProbeEffect(audioMasterCallback audioMaster = nullptr, VstInt32 programs = 16,
                         VstInt32 params = 22)
        : AudioEffectX(audioMaster, programs, params) {}

    std::vector<OperationCall> calls;
    VstInt32 answer = 0;
    bool truth = false;

    void record(const char* name, VstInt32 a = 0, VstInt32 b = 0, VstIntPtr wide = 0,
                void* ptr = nullptr, float opt = 0.0f, bool flag = false) {
        calls.push_back(OperationCall{name, a, b, wide, ptr, opt, flag});
    }
    void installEditor(AEffEditor* newEditor) { editor = newEditor; }
    void useHost(vsthost::RecordingHost& host) { cEffect.user = &host; }
    VstInt32 currentProgram() const { return curProgram; }
    float currentSampleRate() const { return sampleRate; }
    VstInt32 currentBlockSize() const { return blockSize; }
    using AudioEffect::setFlag;

    // Base operations
    void open() override { record("open"); }
    void close() override { record("close"); }
    void suspend() override { record("suspend"); }
    void resume() override { record("resume"); }
    void setSampleRate(float rate) override {
        record("setSampleRate", 0, 0, 0, nullptr, rate);
        AudioEffectX::setSampleRate(rate);
    }
    void setBlockSize(VstInt32 size) override {
        record("setBlockSize", size);
        AudioEffectX::setBlockSize(size);
    }
    void processReplacing(float**, float**, VstInt32 frames) override {
        record("processReplacing", frames);
    }
    void processDoubleReplacing(double**, double**, VstInt32 frames) override {
        record("processDoubleReplacing", frames);
    }
    void setParameter(VstInt32 index, float value) override {
        record("setParameter", index, 0, 0, nullptr, value);
    }
    float getParameter(VstInt32 index) override {
        record("getParameter", index);
        return 0.75f;
    }
    VstInt32 getProgram() override {
        record("getProgram");
        return AudioEffectX::getProgram();
    }
    void setProgram(VstInt32 program) override {
        record("setProgram", program);
        AudioEffectX::setProgram(program);
    }
    void setProgramName(char* name) override { record("setProgramName", 0, 0, 0, name); }
    void getProgramName(char* name) override { record("getProgramName", 0, 0, 0, name); }
    void getParameterLabel(VstInt32 index, char* text) override {
        record("getParameterLabel", index, 0, 0, text);
    }
    void getParameterDisplay(VstInt32 index, char* text) override {
        record("getParameterDisplay", index, 0, 0, text);
    }
    void getParameterName(VstInt32 index, char* text) override {
        record("getParameterName", index, 0, 0, text);
    }
    VstInt32 getChunk(void** data, bool isPreset) override {
        record("getChunk", 0, 0, 0, data, 0.0f, isPreset);
        return answer;
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
        record("setChunk", size, 0, 0, data, 0.0f, isPreset);
        return answer;
    }

    // Extended operations
    bool canParameterBeAutomated(VstInt32 index) override {
        record("canParameterBeAutomated", index);
        return truth;
    }
    bool string2parameter(VstInt32 index, char* text) override {
        record("string2parameter", index, 0, 0, text);
        return truth;
    }
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override {
        record("getParameterProperties", index, 0, 0, p);
        return truth;
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override {
        record("getProgramNameIndexed", category, index, 0, text);
        return truth;
    }
    bool getInputProperties(VstInt32 index, VstPinProperties* p) override {
        record("getInputProperties", index, 0, 0, p);
        return truth;
    }
    bool getOutputProperties(VstInt32 index, VstPinProperties* p) override {
        record("getOutputProperties", index, 0, 0, p);
        return truth;
    }
    VstPlugCategory getPlugCategory() override {
        record("getPlugCategory");
        return static_cast<VstPlugCategory>(answer);
    }
    bool offlineNotify(VstAudioFile* files, VstInt32 count, bool start) override {
        record("offlineNotify", count, 0, 0, files, 0.0f, start);
        return truth;
    }
    bool offlinePrepare(VstOfflineTask* tasks, VstInt32 count) override {
        record("offlinePrepare", count, 0, 0, tasks);
        return truth;
    }
    bool offlineRun(VstOfflineTask* tasks, VstInt32 count) override {
        record("offlineRun", count, 0, 0, tasks);
        return truth;
    }
    bool processVariableIo(VstVariableIo* io) override {
        record("processVariableIo", 0, 0, 0, io);
        return truth;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        record("setSpeakerArrangement", 0, 0, reinterpret_cast<VstIntPtr>(in), out);
        return truth;
    }
    bool setBypass(bool onOff) override {
        record("setBypass", 0, 0, 0, nullptr, 0.0f, onOff);
        return truth;
    }
    bool getEffectName(char* name) override {
        record("getEffectName", 0, 0, 0, name);
        return truth;
    }
    bool getVendorString(char* text) override {
        record("getVendorString", 0, 0, 0, text);
        return truth;
    }
    bool getProductString(char* text) override {
        record("getProductString", 0, 0, 0, text);
        return truth;
    }
    VstInt32 getVendorVersion() override {
        record("getVendorVersion");
        return answer;
    }
    VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* ptr, float opt) override {
        record("vendorSpecific", a, 0, b, ptr, opt);
        return answer;
    }
    VstInt32 canDo(char* text) override {
        record("canDo", 0, 0, 0, text);
        return answer;
    }
    VstInt32 getGetTailSize() override {
        record("getGetTailSize");
        return answer;
    }
    VstInt32 getVstVersion() override {
        record("getVstVersion");
        return answer;
    }
    VstInt32 getMidiProgramName(VstInt32 channel, MidiProgramName* name) override {
        record("getMidiProgramName", channel, 0, 0, name);
        return answer;
    }
    VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* name) override {
        record("getCurrentMidiProgram", channel, 0, 0, name);
        return answer;
    }
    VstInt32 getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category) override {
        record("getMidiProgramCategory", channel, 0, 0, category);
        return answer;
    }
    bool hasMidiProgramsChanged(VstInt32 channel) override {
        record("hasMidiProgramsChanged", channel);
        return truth;
    }
    bool getMidiKeyName(VstInt32 channel, MidiKeyName* name) override {
        record("getMidiKeyName", channel, 0, 0, name);
        return truth;
    }
    bool beginSetProgram() override {
        record("beginSetProgram");
        return truth;
    }
    bool endSetProgram() override {
        record("endSetProgram");
        return truth;
    }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
        record("getSpeakerArrangement", 0, 0, reinterpret_cast<VstIntPtr>(in), out);
        return AudioEffectX::getSpeakerArrangement(in, out);
    }
    VstInt32 getNextShellPlugin(char* name) override {
        record("getNextShellPlugin", 0, 0, 0, name);
        return answer;
    }
    VstInt32 startProcess() override {
        record("startProcess");
        return answer;
    }
    VstInt32 stopProcess() override {
        record("stopProcess");
        return answer;
    }
    VstInt32 setTotalSampleToProcess(VstInt32 value) override {
        record("setTotalSampleToProcess", value);
        return AudioEffectX::setTotalSampleToProcess(value);
    }
    bool setPanLaw(VstInt32 type, float value) override {
        record("setPanLaw", type, 0, 0, nullptr, value);
        return truth;
    }
    VstInt32 beginLoadBank(VstPatchChunkInfo* info) override {
        record("beginLoadBank", 0, 0, 0, info);
        return answer;
    }
    VstInt32 beginLoadProgram(VstPatchChunkInfo* info) override {
        record("beginLoadProgram", 0, 0, 0, info);
        return answer;
    }
    bool setProcessPrecision(VstInt32 precision) override {
        record("setProcessPrecision", precision);
        return truth;
    }
    VstInt32 getNumMidiInputChannels() override {
        record("getNumMidiInputChannels");
        return answer;
    }
    VstInt32 getNumMidiOutputChannels() override {
        record("getNumMidiOutputChannels");
        return answer;
    }
    VstInt32 processEvents(VstEvents* events) override {
        record("processEvents", 0, 0, 0, events);
        return answer;
    }
    // Reachable only through passed-down opcodes, which must not call them.
    VstInt32 getNumCategories() override {
        record("getNumCategories");
        return 1;
    }
    bool copyProgram(VstInt32 destination) override {
        record("copyProgram", destination);
        return true;
    }
    bool getErrorText(char* text) override {
        record("getErrorText", 0, 0, 0, text);
        return true;
    }
    bool keysRequired() override {
        record("keysRequired");
        return true;
    }
    VstInt32 fxIdle() override {
        record("fxIdle");
        return 1;
    }
    float getVu() override {
        record("getVu");
        return 1.0f;
    }
};

}  // namespace tarvo::test
