// The host-request wrappers of AudioEffect and AudioEffectX: the request
// each one sends, with which arguments, how the answer becomes the result,
// and the result without a host callback.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "hostunit/ProbeEffect.h"

namespace tarvo {
namespace {

using test::ProbeEffect;
using vsthost::HostRequest;
using vsthost::RecordingHost;

class HostRequests : public ::testing::Test {
protected:
    HostRequests() {
        effect.useHost(host);
        host.answers().handler = [this](const HostRequest&, VstIntPtr& answer) {
            answer = nextAnswer;
            return true;
        };
    }
    /// The one request the last operation sent.
    HostRequest onlyRequest() {
        const auto requests = host.requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? HostRequest{} : requests.back();
    }

    RecordingHost host;
    ProbeEffect effect{RecordingHost::callback};
    ProbeEffect hostless{nullptr};
    VstIntPtr nextAnswer = 0;
};

struct Wrapper {
    const char* name;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    std::function<VstIntPtr(AudioEffectX&)> call;
    VstIntPtr resultFor7;    ///< result when the host answers 7
    VstIntPtr resultFor0;    ///< result when the host answers 0
    VstIntPtr withoutHost;   ///< result without a host callback
};

VstIntPtr truth(bool value) { return value ? 1 : 0; }

const Wrapper kWrappers[] = {
    {"getMasterVersion", audioMasterVersion, 0, 0,
     [](AudioEffectX& e) { return e.getMasterVersion(); }, 7, 1, 1},
    {"getCurrentUniqueId", audioMasterCurrentId, 0, 0,
     [](AudioEffectX& e) { return e.getCurrentUniqueId(); }, 7, 0, 0},
    {"isInputConnected", audioMasterPinConnected, 3, 0,
     [](AudioEffectX& e) { return truth(e.isInputConnected(3)); }, 0, 1, 1},
    {"isOutputConnected", audioMasterPinConnected, 1, 1,
     [](AudioEffectX& e) { return truth(e.isOutputConnected(1)); }, 0, 1, 1},
    {"tempoAt", audioMasterTempoAt, 0, 4410,
     [](AudioEffectX& e) { return e.tempoAt(4410); }, 7, 0, 0},
    {"getNumAutomatableParameters", audioMasterGetNumAutomatableParameters, 0, 0,
     [](AudioEffectX& e) { return e.getNumAutomatableParameters(); }, 7, 0, 0},
    {"getParameterQuantization", audioMasterGetParameterQuantization, 0, 0,
     [](AudioEffectX& e) { return e.getParameterQuantization(); }, 7, 0, 0},
    {"ioChanged", audioMasterIOChanged, 0, 0,
     [](AudioEffectX& e) { return truth(e.ioChanged()); }, 1, 0, 0},
    {"needIdle", audioMasterNeedIdle, 0, 0,
     [](AudioEffectX& e) { return truth(e.needIdle()); }, 1, 0, 0},
    {"sizeWindow", audioMasterSizeWindow, 640, 480,
     [](AudioEffectX& e) { return truth(e.sizeWindow(640, 480)); }, 1, 0, 0},
    {"getInputLatency", audioMasterGetInputLatency, 0, 0,
     [](AudioEffectX& e) { return e.getInputLatency(); }, 7, 0, 0},
    {"getOutputLatency", audioMasterGetOutputLatency, 0, 0,
     [](AudioEffectX& e) { return e.getOutputLatency(); }, 7, 0, 0},
    {"getPreviousPlug", audioMasterGetPreviousPlug, 0, 0,
     [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getPreviousPlug(5)); }, 7, 0, 0},
    {"getNextPlug", audioMasterGetNextPlug, 0, 0,
     [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getNextPlug(5)); }, 7, 0, 0},
    {"willProcessReplacing", audioMasterWillReplaceOrAccumulate, 0, 0,
     [](AudioEffectX& e) { return e.willProcessReplacing(); }, 7, 0, 0},
    {"getCurrentProcessLevel", audioMasterGetCurrentProcessLevel, 0, 0,
     [](AudioEffectX& e) { return e.getCurrentProcessLevel(); }, 7, 0, 0},
    {"getAutomationState", audioMasterGetAutomationState, 0, 0,
     [](AudioEffectX& e) { return e.getAutomationState(); }, 7, 0, 0},
    {"getTimeInfo", audioMasterGetTime, 0, 0x0F00,
     [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getTimeInfo(0x0F00)); }, 7, 0, 0},
    {"offlineGetCurrentPass", audioMasterOfflineGetCurrentPass, 0, 0,
     [](AudioEffectX& e) { return e.offlineGetCurrentPass(); }, 1, 0, 0},
    {"offlineGetCurrentMetaPass", audioMasterOfflineGetCurrentMetaPass, 0, 0,
     [](AudioEffectX& e) { return e.offlineGetCurrentMetaPass(); }, 1, 0, 0},
    {"getOutputSpeakerArrangement", audioMasterGetOutputSpeakerArrangement, 0, 0,
     [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getOutputSpeakerArrangement()); },
     7, 0, 0},
    {"getInputSpeakerArrangement", audioMasterGetInputSpeakerArrangement, 0, 0,
     [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getInputSpeakerArrangement()); },
     7, 0, 0},
    {"getHostVendorVersion", audioMasterGetVendorVersion, 0, 0,
     [](AudioEffectX& e) { return e.getHostVendorVersion(); }, 7, 0, 0},
    {"hostVendorSpecific", audioMasterVendorSpecific, 11, -12,
     [](AudioEffectX& e) { return e.hostVendorSpecific(11, -12, nullptr, 0.0f); }, 7, 0, 0},
    {"getHostLanguage", audioMasterGetLanguage, 0, 0,
     [](AudioEffectX& e) { return e.getHostLanguage(); }, 7, 0, 0},
    {"getDirectory", audioMasterGetDirectory, 0, 0,
     [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getDirectory()); }, 7, 0, 0},
    {"updateDisplay", audioMasterUpdateDisplay, 0, 0,
     [](AudioEffectX& e) { return truth(e.updateDisplay()); }, 1, 0, 0},
    {"beginEdit", audioMasterBeginEdit, 9, 0,
     [](AudioEffectX& e) { return truth(e.beginEdit(9)); }, 1, 0, 0},
    {"endEdit", audioMasterEndEdit, 9, 0,
     [](AudioEffectX& e) { return truth(e.endEdit(9)); }, 1, 0, 0},
};

TEST_F(HostRequests, EachWrapperSendsItsRequestAndConvertsTheAnswer) {
    for (const Wrapper& wrapper : kWrappers) {
        for (VstIntPtr answer : {VstIntPtr(7), VstIntPtr(0)}) {
            host.clearRequests();
            nextAnswer = answer;
            const VstIntPtr result = wrapper.call(effect);
            EXPECT_EQ(result, answer == 7 ? wrapper.resultFor7 : wrapper.resultFor0)
                << wrapper.name << " answered " << answer;
            const HostRequest request = onlyRequest();
            EXPECT_EQ(request.effect, effect.getAeffect()) << wrapper.name;
            EXPECT_EQ(request.opcode, wrapper.opcode) << wrapper.name;
            EXPECT_EQ(request.index, wrapper.index) << wrapper.name;
            EXPECT_EQ(request.value, wrapper.value) << wrapper.name;
        }
        EXPECT_EQ(wrapper.call(hostless), wrapper.withoutHost) << wrapper.name << " without host";
    }
}

TEST_F(HostRequests, PointerAndFloatArguments) {
    char text[80] = {};
    effect.getHostVendorString(text);
    EXPECT_EQ(onlyRequest().opcode, audioMasterGetVendorString);
    EXPECT_EQ(onlyRequest().ptr, text);
    host.clearRequests();
    effect.getHostProductString(text);
    EXPECT_EQ(onlyRequest().opcode, audioMasterGetProductString);
    EXPECT_EQ(onlyRequest().ptr, text);
    host.clearRequests();
    effect.canHostDo(text);
    EXPECT_EQ(onlyRequest().opcode, audioMasterCanDo);
    EXPECT_EQ(onlyRequest().ptr, text);
    host.clearRequests();
    effect.hostVendorSpecific(1, 2, text, 0.5f);
    EXPECT_EQ(onlyRequest().ptr, text);
    EXPECT_EQ(onlyRequest().opt, 0.5f);
    host.clearRequests();
    effect.setOutputSamplerate(48000.0f);
    EXPECT_EQ(onlyRequest().opcode, audioMasterSetOutputSampleRate);
    EXPECT_EQ(onlyRequest().opt, 48000.0f);
    host.clearRequests();
    effect.wantEvents(3);
    EXPECT_EQ(onlyRequest().opcode, audioMasterWantMidi);
    EXPECT_EQ(onlyRequest().value, 3);
    host.clearRequests();
    effect.masterIdle();
    EXPECT_EQ(onlyRequest().opcode, audioMasterIdle);
    host.clearRequests();
    auto* window = reinterpret_cast<VstWindow*>(text);
    effect.openWindow(window);
    EXPECT_EQ(onlyRequest().opcode, audioMasterOpenWindow);
    EXPECT_EQ(onlyRequest().ptr, window);
    host.clearRequests();
    effect.closeWindow(window);
    EXPECT_EQ(onlyRequest().opcode, audioMasterCloseWindow);
}

TEST_F(HostRequests, OfflineRequestsCarryTheirCounts) {
    auto* task = reinterpret_cast<VstOfflineTask*>(&nextAnswer);
    auto* files = reinterpret_cast<VstAudioFile*>(&nextAnswer);
    effect.offlineStart(files, 3, 2);  // index = new count, value = count
    EXPECT_EQ(onlyRequest().opcode, audioMasterOfflineStart);
    EXPECT_EQ(onlyRequest().index, 2);
    EXPECT_EQ(onlyRequest().value, 3);
    EXPECT_EQ(onlyRequest().ptr, files);
    host.clearRequests();
    effect.offlineRead(task, 5, true);  // index = read source, value = option
    EXPECT_EQ(onlyRequest().opcode, audioMasterOfflineRead);
    EXPECT_EQ(onlyRequest().index, 1);
    EXPECT_EQ(onlyRequest().value, 5);
    EXPECT_EQ(onlyRequest().ptr, task);
    host.clearRequests();
    effect.offlineRead(task, 5, false);
    EXPECT_EQ(onlyRequest().index, 0);
    host.clearRequests();
    effect.offlineWrite(task, 6);
    EXPECT_EQ(onlyRequest().opcode, audioMasterOfflineWrite);
    EXPECT_EQ(onlyRequest().value, 6);
}

TEST_F(HostRequests, FileSelectorsAndChunkFileNeedAPointer) {
    nextAnswer = 1;
    EXPECT_FALSE(effect.openFileSelector(nullptr));
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.getChunkFile(nullptr));
    EXPECT_TRUE(host.requests().empty());

    auto* selector = reinterpret_cast<VstFileSelect*>(&nextAnswer);
    EXPECT_TRUE(effect.openFileSelector(selector));
    EXPECT_EQ(onlyRequest().opcode, audioMasterOpenFileSelector);
    EXPECT_EQ(onlyRequest().ptr, selector);
    host.clearRequests();
    EXPECT_TRUE(effect.closeFileSelector(selector));
    EXPECT_EQ(onlyRequest().opcode, audioMasterCloseFileSelector);
    host.clearRequests();
    EXPECT_TRUE(effect.getChunkFile(selector));
    EXPECT_EQ(onlyRequest().opcode, audioMasterGetChunkFile);
}

TEST_F(HostRequests, AutomationSetsTheParameterFirstThenTellsTheHost) {
    effect.setParameterAutomated(5, 0.625f);
    ASSERT_EQ(effect.calls.size(), 1u);
    EXPECT_EQ(effect.calls[0].name, "setParameter");
    EXPECT_EQ(effect.calls[0].a, 5);
    EXPECT_EQ(effect.calls[0].opt, 0.625f);
    const HostRequest request = onlyRequest();
    EXPECT_EQ(request.opcode, audioMasterAutomate);
    EXPECT_EQ(request.index, 5);
    EXPECT_EQ(request.value, 0);
    EXPECT_EQ(request.opt, 0.625f);

    hostless.setParameterAutomated(2, 0.5f);
    ASSERT_EQ(hostless.calls.size(), 1u);
    EXPECT_EQ(hostless.calls[0].name, "setParameter");
}

TEST_F(HostRequests, SampleRateAndBlockSizeTakeOnlyPositiveAnswers) {
    nextAnswer = 48000;
    EXPECT_EQ(effect.updateSampleRate(), 48000.0f);
    EXPECT_EQ(effect.currentSampleRate(), 48000.0f);
    for (VstIntPtr answer : {VstIntPtr(0), VstIntPtr(-96000)}) {
        nextAnswer = answer;
        EXPECT_EQ(effect.updateSampleRate(), 48000.0f) << answer;
    }
    nextAnswer = 256;
    EXPECT_EQ(effect.updateBlockSize(), 256);
    EXPECT_EQ(effect.currentBlockSize(), 256);
    nextAnswer = -1;
    EXPECT_EQ(effect.updateBlockSize(), 256);
    EXPECT_EQ(host.count(audioMasterGetSampleRate), 3u);
    EXPECT_EQ(host.count(audioMasterGetBlockSize), 2u);

    EXPECT_EQ(hostless.updateSampleRate(), 44100.0f);
    EXPECT_EQ(hostless.updateBlockSize(), 1024);
}

}  // namespace
}  // namespace tarvo
