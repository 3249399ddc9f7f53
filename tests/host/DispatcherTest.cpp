// The dispatcher's answers as a host receives them: identification, the
// capability defaults, the opcodes nobody handles, and the bad pointers a
// host can pass.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/PluginUnderTest.h"

namespace tarvo {
namespace {

using test::pluginLibrary;
using vsthost::VstInstance;

class Dispatcher : public ::testing::Test {
protected:
    /// The record's bytes, to prove that a request changed nothing.
    std::vector<unsigned char> recordBytes() const {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&instance.effect());
        return std::vector<unsigned char>(bytes, bytes + sizeof(AEffect));
    }

    VstInstance instance{pluginLibrary()};
};

TEST_F(Dispatcher, NumericIdentificationAnswers) {
    EXPECT_EQ(instance.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(instance.dispatch(effGetVendorVersion), 301);
    EXPECT_EQ(instance.dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(instance.dispatch(effGetTailSize), 0);
    EXPECT_EQ(instance.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(instance.dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(instance.dispatch(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
}

TEST_F(Dispatcher, EffectNameFillsTheBufferUpToItsBoundAndNoFurther) {
    // The name is cut at 32 characters with a terminator at 32; beyond
    // that the host's bytes stay as they were.
    char name[40];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(instance.dispatch(effGetEffectName, 0, 0, name), 1);
    EXPECT_STREQ(name, "Tarvo");
    for (int i = 5; i <= 32; ++i) EXPECT_EQ(name[i], 0) << "byte " << i;
    for (int i = 33; i < 40; ++i) EXPECT_EQ(name[i], 'x') << "byte " << i;
}

TEST_F(Dispatcher, EffectNameIntoAZeroFilled33ByteBuffer) {
    char name[33] = {};
    EXPECT_EQ(instance.dispatch(effGetEffectName, 0, 0, name), 1);
    EXPECT_EQ(std::string(name, 5), "Tarvo");
    for (int i = 5; i < 33; ++i) EXPECT_EQ(name[i], 0);
}

TEST_F(Dispatcher, VendorAndProductStringsStopAtPosition64) {
    char vendor[70], product[70];
    std::memset(vendor, 'x', sizeof vendor);
    std::memset(product, 'x', sizeof product);
    EXPECT_EQ(instance.dispatch(effGetVendorString, 0, 0, vendor), 1);
    EXPECT_EQ(instance.dispatch(effGetProductString, 0, 0, product), 1);
    EXPECT_STREQ(vendor, "Hanvik");
    EXPECT_STREQ(product, "Tarvo");
    EXPECT_EQ(vendor[64], 0);
    EXPECT_EQ(product[64], 0);
    EXPECT_EQ(vendor[65], 'x');
    EXPECT_EQ(product[65], 'x');
}

TEST_F(Dispatcher, IdentificationLeavesTheRecordAndTheHostAlone) {
    instance.host().clearRequests();
    const auto before = recordBytes();
    instance.effectName();
    instance.vendorString();
    instance.productString();
    instance.dispatch(effGetVendorVersion);
    instance.dispatch(effGetPlugCategory);
    instance.dispatch(effGetVstVersion);
    EXPECT_EQ(recordBytes(), before);
    EXPECT_TRUE(instance.host().requests().empty());
}

TEST_F(Dispatcher, EveryCanDoTextAnswersZero) {
    for (const char* text : {"receiveVstMidiEvent", "bypass", "sendVstEvents", "offline",
                             "receiveVstTimeInfo", "plugAsChannelInsert", ""}) {
        std::string copy(text);
        EXPECT_EQ(instance.dispatch(effCanDo, 0, 0, &copy[0]), 0) << text;
    }
}

TEST_F(Dispatcher, EveryParameterCanBeAutomated) {
    for (VstInt32 index = 0; index < 22; ++index)
        EXPECT_EQ(instance.dispatch(effCanBeAutomated, index), 1) << index;
}

TEST_F(Dispatcher, SpeakerArrangementIsNoneAndAnswersZero) {
    int sentinel = 0;
    auto* input = reinterpret_cast<VstSpeakerArrangement*>(&sentinel);
    auto* output = reinterpret_cast<VstSpeakerArrangement*>(&sentinel);
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                                &output),
              0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
}

TEST_F(Dispatcher, SetSpeakerArrangementIsRefused) {
    VstSpeakerArrangement input = {}, output = {};
    input.numChannels = output.numChannels = 2;
    EXPECT_EQ(instance.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                                &output),
              0);
}

TEST_F(Dispatcher, TotalSampleToProcessIsEchoed) {
    EXPECT_EQ(instance.dispatch(effSetTotalSampleToProcess, 0, 12345), 12345);
    EXPECT_EQ(instance.dispatch(effSetTotalSampleToProcess, 0, 0), 0);
}

TEST_F(Dispatcher, NoStateChunk) {
    int sentinel = 0;
    void* data = &sentinel;
    EXPECT_EQ(instance.dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(instance.dispatch(effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(data, &sentinel);

    char bytes[16] = {1, 2, 3};
    const auto before = recordBytes();
    EXPECT_EQ(instance.dispatch(effSetChunk, 0, sizeof bytes, bytes), 0);
    EXPECT_EQ(instance.dispatch(effSetChunk, 1, sizeof bytes, bytes), 0);
    EXPECT_EQ(recordBytes(), before);
}

TEST_F(Dispatcher, SoftBypassMidiAndShellRequestsAreRefused) {
    EXPECT_EQ(instance.dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(instance.dispatch(effSetBypass, 0, 0), 0);
    char events[64] = {};
    EXPECT_EQ(instance.dispatch(effProcessEvents, 0, 0, events), 0);
    EXPECT_EQ(instance.dispatch(effStartProcess), 0);
    EXPECT_EQ(instance.dispatch(effStopProcess), 0);
    EXPECT_EQ(instance.dispatch(effSetProcessPrecision, 0, kVstProcessPrecision64), 0);
    EXPECT_EQ(instance.dispatch(effSetPanLaw, 0, 0, nullptr, 1.0f), 0);
    EXPECT_EQ(instance.dispatch(effBeginSetProgram), 0);
    EXPECT_EQ(instance.dispatch(effEndSetProgram), 0);
    char name[64] = {};
    EXPECT_EQ(instance.dispatch(effShellGetNextPlugin, 0, 0, name), 0);
    char midi[256] = {};
    EXPECT_EQ(instance.dispatch(effGetCurrentMidiProgram, 0, 0, midi), -1);
    EXPECT_EQ(instance.dispatch(effGetMidiProgramName, 0, 0, midi), 0);
    EXPECT_EQ(instance.dispatch(effHasMidiProgramsChanged), 0);
}

TEST_F(Dispatcher, SetProgramOutsideTheSixteenChangesNothing) {
    instance.dispatch(effSetProgram, 0, 3);
    ASSERT_EQ(instance.dispatch(effGetProgram), 3);
    instance.host().clearRequests();
    for (VstIntPtr program : {VstIntPtr(16), VstIntPtr(17), VstIntPtr(-1), VstIntPtr(1) << 20}) {
        EXPECT_EQ(instance.dispatch(effSetProgram, 0, program), 0) << program;
        EXPECT_EQ(instance.dispatch(effGetProgram), 3) << program;
    }
    EXPECT_TRUE(instance.host().requests().empty());
}

TEST_F(Dispatcher, UnhandledPassedDownAndUnknownOpcodesAnswerZeroAndDoNothing) {
    // Base level: effGetVu, the editor's draw/mouse/key/top/sleep. Extended
    // level, passed down: 28, 30 to 32, 36, 37, 43, 46, 53 to 55, 57. Editor
    // opcodes without an editor. Opcodes beyond 79 and negative ones.
    const VstInt32 opcodes[] = {effGetVu, effEditDraw, effEditMouse, effEditKey, effEditTop,
                                effEditSleep, effGetNumProgramCategories, effCopyProgram,
                                effConnectInput, effConnectOutput, effGetCurrentPosition,
                                effGetDestinationBuffer, effSetBlockSizeAndSampleRate,
                                effGetErrorText, effIdle, effGetIcon, effSetViewPosition,
                                effKeysRequired, effEditGetRect, effEditOpen, effEditClose,
                                effEditIdle, effEditKeyDown, effEditKeyUp, effSetEditKnobMode,
                                80, 81, 100, 1000, -1, -25, 0x7FFFFFFF};
    instance.host().clearRequests();
    const auto before = recordBytes();
    for (VstInt32 opcode : opcodes) {
        char buffer[512];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(instance.dispatch(opcode, 1, 2, buffer, 3.0f), 0) << "opcode " << opcode;
        EXPECT_EQ(buffer[0], 'x') << "opcode " << opcode;
    }
    EXPECT_EQ(recordBytes(), before);
    EXPECT_TRUE(instance.host().requests().empty());
    EXPECT_EQ(instance.effectName(), "Tarvo");  // still alive and answering
}

TEST_F(Dispatcher, ControlOpcodesAnswerZero) {
    EXPECT_EQ(instance.dispatch(effOpen), 0);
    EXPECT_EQ(instance.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f), 0);
    EXPECT_EQ(instance.dispatch(effSetBlockSize, 0, 64), 0);
    EXPECT_EQ(instance.dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_EQ(instance.dispatch(effMainsChanged, 0, 1), 0);  // resume while resumed
    EXPECT_EQ(instance.dispatch(effMainsChanged, 0, 0), 0);
}

// A host passing none where the plug-in would write (or read) through the
// pointer gets 0, and the plug-in neither crashes nor writes anywhere.
TEST_F(Dispatcher, NullPointersAnswerZero) {
    EXPECT_EQ(instance.dispatch(effGetEffectName, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetVendorString, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetProductString, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetProgramName, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effSetProgramName, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetProgramNameIndexed, 0, -1, nullptr), 0);
    for (VstInt32 index : {0, 21, 22, -1}) {
        EXPECT_EQ(instance.dispatch(effGetParamName, index, 0, nullptr), 0);
        EXPECT_EQ(instance.dispatch(effGetParamDisplay, index, 0, nullptr), 0);
        EXPECT_EQ(instance.dispatch(effGetParamLabel, index, 0, nullptr), 0);
        EXPECT_EQ(instance.dispatch(effString2Parameter, index, 0, nullptr), 0);
        EXPECT_EQ(instance.dispatch(effGetParameterProperties, index, 0, nullptr), 0);
    }
    EXPECT_EQ(instance.dispatch(effCanDo, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effSetChunk, 0, 100, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetInputProperties, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetOutputProperties, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetCurrentMidiProgram, 0, 0, nullptr), -1);
    EXPECT_EQ(instance.dispatch(effGetMidiKeyName, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effShellGetNextPlugin, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effBeginLoadBank, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effBeginLoadProgram, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effOfflineNotify, 1, 1, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effProcessVarIo, 0, 0, nullptr), 0);

    // Arrangements: both pointers none, or one of them; the other stays.
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
    int sentinel = 0;
    auto* input = reinterpret_cast<VstSpeakerArrangement*>(&sentinel);
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                                nullptr),
              0);
    EXPECT_EQ(input, reinterpret_cast<VstSpeakerArrangement*>(&sentinel));
    auto* output = reinterpret_cast<VstSpeakerArrangement*>(&sentinel);
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, 0, &output), 0);
    EXPECT_EQ(output, reinterpret_cast<VstSpeakerArrangement*>(&sentinel));
    EXPECT_EQ(instance.dispatch(effSetSpeakerArrangement, 0, 0, nullptr), 0);

    EXPECT_EQ(instance.effectName(), "Tarvo");
}

}  // namespace
}  // namespace tarvo
