// The requests the plug-in sends to its host, and what a processing call
// may touch, seen through the recording host.

#include <gtest/gtest.h>

#include <vector>

#include "support/PluginUnderTest.h"

namespace tarvo {
namespace {

using test::pluginLibrary;
using vsthost::VstInstance;

/// Host-side buffers of one block: four inputs, two outputs, each followed
/// by guard samples the plug-in must not touch.
template <typename Sample>
struct Block {
    static constexpr int kGuard = 8;
    static constexpr Sample kUntouched = Sample(-123.0);

    explicit Block(int frames) : frames(frames) {
        for (auto& channel : in) channel.assign(frames + kGuard, Sample(0.25));
        for (auto& channel : out) channel.assign(frames + kGuard, kUntouched);
        for (int c = 0; c < 4; ++c) inputs[c] = in[c].data();
        for (int c = 0; c < 2; ++c) outputs[c] = out[c].data();
    }
    bool outputUntouchedFrom(int first) const {
        for (const auto& channel : out)
            for (std::size_t i = static_cast<std::size_t>(first); i < channel.size(); ++i)
                if (channel[i] != kUntouched) return false;
        return true;
    }

    int frames;
    std::vector<Sample> in[4], out[2];
    Sample* inputs[4];
    Sample* outputs[2];
};

class HostRequests : public ::testing::Test {
protected:
    void SetUp() override {
        instance.start(44100.0f, 512);
        instance.host().clearRequests();
    }

    VstInstance instance{pluginLibrary()};
};

TEST_F(HostRequests, EveryProcessingCallAsksTheProcessLevelOnce) {
    for (int frames : {0, 1, 64, 512}) {
        Block<float> single(frames);
        instance.processReplacing(single.inputs, single.outputs, frames);
        EXPECT_EQ(instance.host().count(audioMasterGetCurrentProcessLevel), 1u) << frames;
        Block<double> twice(frames);
        instance.processDoubleReplacing(twice.inputs, twice.outputs, frames);
        EXPECT_EQ(instance.host().count(audioMasterGetCurrentProcessLevel), 2u) << frames;
        EXPECT_EQ(instance.host().requests().size(), 2u) << "nothing else is asked";
        instance.host().clearRequests();
    }
}

TEST_F(HostRequests, TheProcessLevelIsAskedWithTheInstanceRecord) {
    Block<float> block(16);
    instance.processReplacing(block.inputs, block.outputs, 16);
    const auto requests = instance.host().requests(audioMasterGetCurrentProcessLevel);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].effect, &instance.effect());
}

TEST_F(HostRequests, EmptyOrNegativeBlocksWriteNothing) {
    for (int frames : {0, -1, -512}) {
        Block<float> single(0);
        instance.processReplacing(single.inputs, single.outputs, frames);
        EXPECT_TRUE(single.outputUntouchedFrom(0)) << frames;
        Block<double> twice(0);
        instance.processDoubleReplacing(twice.inputs, twice.outputs, frames);
        EXPECT_TRUE(twice.outputUntouchedFrom(0)) << frames;
    }
}

TEST_F(HostRequests, ProcessingStaysInsideTheBlock) {
    Block<float> single(37);
    instance.processReplacing(single.inputs, single.outputs, 37);
    EXPECT_TRUE(single.outputUntouchedFrom(37));
    Block<double> twice(37);
    instance.processDoubleReplacing(twice.inputs, twice.outputs, 37);
    EXPECT_TRUE(twice.outputUntouchedFrom(37));
}

TEST_F(HostRequests, SettingParametersThroughTheRecordSendsNothing) {
    for (VstInt32 index = 0; index < 22; ++index) instance.setParameter(index, 0.5f);
    EXPECT_TRUE(instance.host().requests().empty());
}

TEST_F(HostRequests, ASessionNeverAsksForMidi) {
    Block<float> block(128);
    for (int i = 0; i < 4; ++i) instance.processReplacing(block.inputs, block.outputs, 128);
    for (VstInt32 program = 0; program < 16; ++program) instance.dispatch(effSetProgram, 0, program);
    instance.suspend();
    instance.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    instance.resume();
    instance.processReplacing(block.inputs, block.outputs, 128);
    EXPECT_EQ(instance.host().count(audioMasterWantMidi), 0u);
    EXPECT_EQ(instance.host().count(audioMasterBeginEdit), 0u);
    EXPECT_EQ(instance.host().count(audioMasterEndEdit), 0u);
}

}  // namespace
}  // namespace tarvo
