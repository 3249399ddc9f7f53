// The two-level dispatcher: which operation each opcode reaches, with which
// arguments, and how the result is formed; the record's static entries.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "host/AEffEditor.h"
#include "hostunit/ProbeEffect.h"

namespace tarvo {
namespace {

using test::ProbeEffect;

class Dispatcher : public ::testing::Test {
protected:
    /// Calls the instance's dispatcher operation directly (the record's
    /// entry would destroy the instance on effClose).
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect.dispatcher(opcode, index, value, ptr, opt);
    }
    /// The single operation the last dispatch reached.
    const test::OperationCall& onlyCall() {
        EXPECT_EQ(effect.calls.size(), 1u);
        if (effect.calls.empty()) effect.record("<none>");
        return effect.calls.back();
    }

    ProbeEffect effect;
    char buffer[256] = {};
};

struct Route {
    VstInt32 opcode;
    const char* operation;
    bool truthResult;  ///< the answer is the operation's truth value as 1/0
};

// Every opcode that calls an operation of the base classes. Opcodes 13 to
// 15, 19 and 59 to 61 call the editor and are tested on their own.
const Route kRoutes[] = {
    {effOpen, "open", false},
    {effClose, "close", false},
    {effSetProgram, "setProgram", false},
    {effGetProgram, "getProgram", false},
    {effSetProgramName, "setProgramName", false},
    {effGetProgramName, "getProgramName", false},
    {effGetParamLabel, "getParameterLabel", false},
    {effGetParamDisplay, "getParameterDisplay", false},
    {effGetParamName, "getParameterName", false},
    {effSetSampleRate, "setSampleRate", false},
    {effSetBlockSize, "setBlockSize", false},
    {effGetChunk, "getChunk", false},
    {effSetChunk, "setChunk", false},
    {effProcessEvents, "processEvents", false},
    {effCanBeAutomated, "canParameterBeAutomated", true},
    {effString2Parameter, "string2parameter", true},
    {effGetProgramNameIndexed, "getProgramNameIndexed", true},
    {effGetInputProperties, "getInputProperties", true},
    {effGetOutputProperties, "getOutputProperties", true},
    {effGetPlugCategory, "getPlugCategory", false},
    {effOfflineNotify, "offlineNotify", true},
    {effOfflinePrepare, "offlinePrepare", true},
    {effOfflineRun, "offlineRun", true},
    {effProcessVarIo, "processVariableIo", true},
    {effSetSpeakerArrangement, "setSpeakerArrangement", true},
    {effSetBypass, "setBypass", true},
    {effGetEffectName, "getEffectName", true},
    {effGetVendorString, "getVendorString", true},
    {effGetProductString, "getProductString", true},
    {effGetVendorVersion, "getVendorVersion", false},
    {effVendorSpecific, "vendorSpecific", false},
    {effCanDo, "canDo", false},
    {effGetTailSize, "getGetTailSize", false},
    {effGetParameterProperties, "getParameterProperties", true},
    {effGetVstVersion, "getVstVersion", false},
    {effGetMidiProgramName, "getMidiProgramName", false},
    {effGetCurrentMidiProgram, "getCurrentMidiProgram", false},
    {effGetMidiProgramCategory, "getMidiProgramCategory", false},
    {effHasMidiProgramsChanged, "hasMidiProgramsChanged", true},
    {effGetMidiKeyName, "getMidiKeyName", true},
    {effBeginSetProgram, "beginSetProgram", true},
    {effEndSetProgram, "endSetProgram", true},
    {effShellGetNextPlugin, "getNextShellPlugin", false},
    {effStartProcess, "startProcess", false},
    {effStopProcess, "stopProcess", false},
    {effSetPanLaw, "setPanLaw", true},
    {effBeginLoadBank, "beginLoadBank", false},
    {effBeginLoadProgram, "beginLoadProgram", false},
    {effSetProcessPrecision, "setProcessPrecision", true},
    {effGetNumMidiInputChannels, "getNumMidiInputChannels", false},
    {effGetNumMidiOutputChannels, "getNumMidiOutputChannels", false},
};

TEST_F(Dispatcher, EachOpcodeReachesExactlyItsOperation) {
    for (const Route& route : kRoutes) {
        effect.calls.clear();
        dispatch(route.opcode, 1, 2, buffer, 3.0f);
        ASSERT_EQ(effect.calls.size(), 1u) << "opcode " << route.opcode;
        EXPECT_EQ(effect.calls[0].name, route.operation) << "opcode " << route.opcode;
    }
}

TEST_F(Dispatcher, TruthValuesBecomeOneOrZero) {
    for (const Route& route : kRoutes) {
        if (!route.truthResult) continue;
        effect.truth = true;
        EXPECT_EQ(dispatch(route.opcode, 1, 2, buffer, 3.0f), 1) << "opcode " << route.opcode;
        effect.truth = false;
        EXPECT_EQ(dispatch(route.opcode, 1, 2, buffer, 3.0f), 0) << "opcode " << route.opcode;
    }
}

TEST_F(Dispatcher, NumbersPassUnchanged) {
    const VstInt32 numeric[] = {effGetPlugCategory, effGetVendorVersion, effVendorSpecific,
                                effCanDo, effGetTailSize, effGetVstVersion,
                                effGetMidiProgramName, effGetCurrentMidiProgram,
                                effGetMidiProgramCategory, effShellGetNextPlugin,
                                effStartProcess, effStopProcess, effBeginLoadBank,
                                effBeginLoadProgram, effGetNumMidiInputChannels,
                                effGetNumMidiOutputChannels, effProcessEvents, effGetChunk,
                                effSetChunk};
    for (VstInt32 answer : {-7, 0x12345678}) {
        effect.answer = answer;
        for (VstInt32 opcode : numeric)
            EXPECT_EQ(dispatch(opcode, 1, 2, buffer, 3.0f), answer) << "opcode " << opcode;
    }
    EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, 12345), 12345);
}

TEST_F(Dispatcher, VoidOperationsAnswerZero) {
    for (VstInt32 opcode : {effOpen, effClose, effSetProgram, effSetProgramName,
                            effGetProgramName, effGetParamLabel, effGetParamDisplay,
                            effGetParamName, effSetSampleRate, effSetBlockSize,
                            effMainsChanged})
        EXPECT_EQ(dispatch(opcode, 1, 2, buffer, 3.0f), 0) << "opcode " << opcode;
}

TEST_F(Dispatcher, ArgumentsReachTheOperation) {
    dispatch(effGetParamName, 7, 0, buffer);
    EXPECT_EQ(onlyCall().a, 7);
    EXPECT_EQ(onlyCall().ptr, buffer);

    effect.calls.clear();
    dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(onlyCall().opt, 96000.0f);

    effect.calls.clear();
    dispatch(effSetBlockSize, 0, 333);
    EXPECT_EQ(onlyCall().a, 333);

    effect.calls.clear();
    dispatch(effGetChunk, 1, 0, buffer);
    EXPECT_EQ(onlyCall().ptr, buffer);
    EXPECT_TRUE(onlyCall().flag);  // index != 0: preset chunk
    effect.calls.clear();
    dispatch(effGetChunk, 0, 0, buffer);
    EXPECT_FALSE(onlyCall().flag);

    effect.calls.clear();
    dispatch(effSetChunk, 1, 4096, buffer);
    EXPECT_EQ(onlyCall().a, 4096);
    EXPECT_TRUE(onlyCall().flag);

    effect.calls.clear();
    dispatch(effGetProgramNameIndexed, 5, 2, buffer);  // value = category, index = program
    EXPECT_EQ(onlyCall().a, 2);
    EXPECT_EQ(onlyCall().b, 5);

    effect.calls.clear();
    dispatch(effOfflineNotify, 1, 3, buffer);  // pointer, value = count, index != 0 = start
    EXPECT_EQ(onlyCall().a, 3);
    EXPECT_TRUE(onlyCall().flag);

    effect.calls.clear();
    dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(buffer + 8), buffer);
    EXPECT_EQ(onlyCall().wide, reinterpret_cast<VstIntPtr>(buffer + 8));
    EXPECT_EQ(onlyCall().ptr, buffer);

    effect.calls.clear();
    dispatch(effSetBypass, 0, 2);
    EXPECT_TRUE(onlyCall().flag);

    effect.calls.clear();
    dispatch(effVendorSpecific, 4, -9, nullptr, 0.5f);  // the pointer may be none here
    EXPECT_EQ(onlyCall().a, 4);
    EXPECT_EQ(onlyCall().wide, -9);
    EXPECT_EQ(onlyCall().opt, 0.5f);

    effect.calls.clear();
    dispatch(effSetPanLaw, 0, 1, nullptr, 0.7071f);
    EXPECT_EQ(onlyCall().a, 1);
    EXPECT_EQ(onlyCall().opt, 0.7071f);

    effect.calls.clear();
    dispatch(effString2Parameter, 3, 0, nullptr);  // none asks whether text input works
    EXPECT_EQ(onlyCall().name, "string2parameter");
}

TEST_F(Dispatcher, PassedDownAndUnknownOpcodesCallNothing) {
    const VstInt32 opcodes[] = {effGetVu, effEditDraw, effEditMouse, effEditKey, effEditTop,
                                effEditSleep, effGetNumProgramCategories, effCopyProgram,
                                effConnectInput, effConnectOutput, effGetCurrentPosition,
                                effGetDestinationBuffer, effSetBlockSizeAndSampleRate,
                                effGetErrorText, effIdle, effGetIcon, effSetViewPosition,
                                effKeysRequired, 80, 200, -1};
    for (VstInt32 opcode : opcodes) {
        EXPECT_EQ(dispatch(opcode, 1, 2, buffer, 3.0f), 0) << "opcode " << opcode;
        EXPECT_TRUE(effect.calls.empty()) << "opcode " << opcode << " reached "
                                          << effect.calls.front().name;
        effect.calls.clear();
    }
    EXPECT_EQ(dispatch(effIdentify), 0x4E764566);
}

TEST_F(Dispatcher, SetProgramOnlyWithinTheProgramCount) {
    ProbeEffect three(nullptr, 3, 1);
    AEffect* record = three.getAeffect();
    for (VstIntPtr program : {VstIntPtr(3), VstIntPtr(-1), VstIntPtr(1) << 40}) {
        EXPECT_EQ(record->dispatcher(record, effSetProgram, 0, program, nullptr, 0.0f), 0);
        EXPECT_TRUE(three.calls.empty()) << program;
    }
    record->dispatcher(record, effSetProgram, 0, 2, nullptr, 0.0f);
    ASSERT_EQ(three.calls.size(), 1u);
    EXPECT_EQ(three.calls[0].a, 2);
    EXPECT_EQ(record->dispatcher(record, effGetProgram, 0, 0, nullptr, 0.0f), 2);
}

TEST_F(Dispatcher, MainsChangedSuspendsOnZeroAndResumesOnAnythingElse) {
    for (VstIntPtr value : {VstIntPtr(1), VstIntPtr(1), VstIntPtr(-1), VstIntPtr(2)}) {
        effect.calls.clear();
        dispatch(effMainsChanged, 0, value);
        EXPECT_EQ(onlyCall().name, "resume") << value;
    }
    effect.calls.clear();
    dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(onlyCall().name, "suspend");
}

TEST_F(Dispatcher, OfflineOpcodesAnswerTheLowByte) {
    effect.truth = true;
    for (VstInt32 opcode : {effOfflineNotify, effOfflinePrepare, effOfflineRun})
        EXPECT_EQ(dispatch(opcode, 1, 2, buffer), 1) << opcode;
}

TEST_F(Dispatcher, NullPointerOperationsAreNotCalled) {
    const VstInt32 opcodes[] = {
        effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
        effGetParamName, effGetChunk, effSetChunk, effProcessEvents, effGetProgramNameIndexed,
        effGetInputProperties, effGetOutputProperties, effOfflineNotify, effOfflinePrepare,
        effOfflineRun, effProcessVarIo, effSetSpeakerArrangement, effGetEffectName,
        effGetVendorString, effGetProductString, effCanDo, effGetParameterProperties,
        effGetMidiProgramName, effGetMidiProgramCategory, effGetMidiKeyName,
        effGetSpeakerArrangement, effShellGetNextPlugin, effBeginLoadBank, effBeginLoadProgram};
    for (VstInt32 opcode : opcodes) {
        effect.truth = true;
        effect.answer = 5;
        EXPECT_EQ(dispatch(opcode, 1, 0, nullptr), 0) << "opcode " << opcode;
        EXPECT_TRUE(effect.calls.empty()) << "opcode " << opcode;
        effect.calls.clear();
    }
    EXPECT_EQ(dispatch(effGetCurrentMidiProgram, 0, 0, nullptr), -1);
    EXPECT_TRUE(effect.calls.empty());
}

// Editor opcodes reach an editor when one is set.
class RecordingEditor : public AEffEditor {
public:
    explicit RecordingEditor(bool* destroyed) : destroyed(destroyed) {}
    ~RecordingEditor() override { *destroyed = true; }
    bool getRect(ERect** rect) override {
        lastPointer = rect;
        return true;
    }
    bool open(void* window) override {
        lastPointer = window;
        return true;
    }
    void close() override { ++closes; }
    void idle() override { ++idles; }
    bool onKeyDown(VstKeyCode& key) override {
        lastKey = key;
        return true;
    }
    bool onKeyUp(VstKeyCode& key) override {
        lastKey = key;
        return false;
    }
    bool setKnobMode(VstInt32 mode) override {
        knobMode = mode;
        return true;
    }

    bool* destroyed;
    void* lastPointer = nullptr;
    int closes = 0, idles = 0;
    VstKeyCode lastKey{};
    VstInt32 knobMode = -1;
};

TEST_F(Dispatcher, EditorOpcodesReachAnEditorWhenOneIsSet) {
    bool destroyed = false;
    auto* editor = new RecordingEditor(&destroyed);
    {
        ProbeEffect withEditor;
        withEditor.installEditor(editor);
        AEffect* record = withEditor.getAeffect();
        auto send = [record](VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
            return record->dispatcher(record, opcode, index, value, ptr, opt);
        };
        ERect* rect = nullptr;
        EXPECT_EQ(send(effEditGetRect, 0, 0, &rect, 0.0f), 1);
        EXPECT_EQ(editor->lastPointer, &rect);
        EXPECT_EQ(send(effEditGetRect, 0, 0, nullptr, 0.0f), 0);
        int window = 0;
        EXPECT_EQ(send(effEditOpen, 0, 0, &window, 0.0f), 1);
        EXPECT_EQ(editor->lastPointer, &window);
        EXPECT_EQ(send(effEditClose, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(editor->closes, 1);
        EXPECT_EQ(send(effEditIdle, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(editor->idles, 1);

        // Key code: character = index, virtual key = low byte of value,
        // modifier = low byte of the float truncated to an integer.
        EXPECT_EQ(send(effEditKeyDown, 'a', 0x1234, nullptr, 258.7f), 1);
        EXPECT_EQ(editor->lastKey.character, 'a');
        EXPECT_EQ(editor->lastKey.virt, 0x34);
        EXPECT_EQ(editor->lastKey.modifier, 2);
        EXPECT_EQ(send(effEditKeyUp, 'b', 7, nullptr, 1.0f), 0);
        EXPECT_EQ(editor->lastKey.character, 'b');
        EXPECT_EQ(send(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
        EXPECT_EQ(editor->knobMode, 2);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed) << "the instance owns its editor";
}

TEST_F(Dispatcher, RecordEntriesForwardToTheInstance) {
    AEffect* record = effect.getAeffect();
    EXPECT_EQ(record->object, static_cast<AudioEffect*>(&effect));
    record->setParameter(record, 4, 0.25f);
    EXPECT_EQ(onlyCall().name, "setParameter");
    EXPECT_EQ(onlyCall().a, 4);
    EXPECT_EQ(onlyCall().opt, 0.25f);
    effect.calls.clear();
    EXPECT_EQ(record->getParameter(record, 9), 0.75f);
    EXPECT_EQ(onlyCall().a, 9);
    effect.calls.clear();
    record->processReplacing(record, nullptr, nullptr, 17);
    EXPECT_EQ(onlyCall().name, "processReplacing");
    EXPECT_EQ(onlyCall().a, 17);
    effect.calls.clear();
    record->processDoubleReplacing(record, nullptr, nullptr, 19);
    EXPECT_EQ(onlyCall().name, "processDoubleReplacing");
    EXPECT_EQ(onlyCall().a, 19);
    effect.calls.clear();
    record->process(record, nullptr, nullptr, 5);  // accumulating: does nothing
    EXPECT_TRUE(effect.calls.empty());
}

/// Logs its own close and destruction into a log that outlives it.
class ClosingEffect : public ProbeEffect {
public:
    explicit ClosingEffect(std::vector<std::string>* log) : log(log) {}
    ~ClosingEffect() override { log->push_back("destroyed"); }
    void close() override { log->push_back("close"); }
    std::vector<std::string>* log;
};

TEST(RecordEntries, CloseCallsCloseThenDestroysAndAnswersOne) {
    std::vector<std::string> log;
    auto* effect = new ClosingEffect(&log);
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"close", "destroyed"}));
}

/// Every operation the host can reach throws.
class ThrowingEffect : public ProbeEffect {
public:
    explicit ThrowingEffect(bool* destroyed) : destroyed(destroyed) {}
    ~ThrowingEffect() override { *destroyed = true; }
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override {
        if (opcode == effGetVendorVersion || opcode == effClose) throw std::runtime_error("x");
        return ProbeEffect::dispatcher(opcode, index, value, ptr, opt);
    }
    void setParameter(VstInt32, float) override { throw std::bad_alloc(); }
    float getParameter(VstInt32) override { throw 42; }
    void processReplacing(float**, float**, VstInt32) override { throw std::logic_error("x"); }
    void processDoubleReplacing(double**, double**, VstInt32) override {
        throw std::logic_error("x");
    }
    bool* destroyed;
};

TEST(RecordEntries, NoExceptionReachesTheHost) {
    bool destroyed = false;
    auto* effect = new ThrowingEffect(&destroyed);
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effGetVendorVersion, 0, 0, nullptr, 0.0f), 0);
    record->setParameter(record, 0, 1.0f);
    EXPECT_EQ(record->getParameter(record, 0), 0.0f);
    record->processReplacing(record, nullptr, nullptr, 8);
    record->processDoubleReplacing(record, nullptr, nullptr, 8);
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(destroyed) << "a throwing close still ends the instance";
}

}  // namespace
}  // namespace tarvo
