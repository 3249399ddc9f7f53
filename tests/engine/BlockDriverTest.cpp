#include "engine/BlockDriver.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvo {
namespace {

TEST(BlockDriver, AFrameTheEngineLeavesUnwrittenComesOutAsSilence) {
    StereoProcessor engine;
    engine.setChannelMode(9);  // not a mode: the engine writes nothing
    std::vector<float> in(64, 0.5f), outLeft(64, 7.0f), outRight(64, 7.0f);
    float* inputs[4] = {in.data(), in.data(), in.data(), in.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (bool external : {false, true}) {
        processHostBuffers(engine, external, inputs, outputs, 64);
        EXPECT_EQ(outLeft, std::vector<float>(64, 0.0f));
        EXPECT_EQ(outRight, std::vector<float>(64, 0.0f));
    }
}

TEST(BlockDriver, MissingSideChainChannelsReadAsSilence) {
    // "R-S.chn" keyed by a missing right side-chain channel gives what a
    // zero-filled channel gives (both engines draw the same noise seeds).
    const std::uint32_t seeds = takeNoiseSeed();
    restartNoiseSeeds(seeds);
    StereoProcessor engine;
    restartNoiseSeeds(seeds);
    StereoProcessor reference;
    engine.setChannelMode(rightKeyed);
    reference.setChannelMode(rightKeyed);
    std::vector<double> left(256), right(256, 0.25), zeros(256, 0.0);
    for (int i = 0; i < 256; ++i) left[i] = 0.001 * i;
    std::vector<double> outLeft(256), outRight(256), expectLeft(256), expectRight(256);
    double* inputs[4] = {left.data(), right.data(), nullptr, nullptr};
    double* outputs[2] = {outLeft.data(), outRight.data()};
    processHostBuffers(engine, true, inputs, outputs, 256);
    double* zeroKey[4] = {left.data(), right.data(), zeros.data(), zeros.data()};
    double* expected[2] = {expectLeft.data(), expectRight.data()};
    processHostBuffers(reference, true, zeroKey, expected, 256);
    EXPECT_EQ(outLeft, expectLeft);
    EXPECT_EQ(outRight, expectRight);
    EXPECT_NE(outLeft, std::vector<double>(256, 0.0));
}

TEST(BlockDriver, NullArraysAndChannelsWriteNothing) {
    StereoProcessor engine;
    std::vector<double> in(32, 0.5), out(32, 3.0);
    double* inputs[4] = {in.data(), in.data(), nullptr, nullptr};
    double* outputs[2] = {out.data(), nullptr};
    processHostBuffers<double>(engine, false, nullptr, outputs, 32);
    processHostBuffers<double>(engine, false, inputs, nullptr, 32);
    EXPECT_EQ(out, std::vector<double>(32, 3.0));
    processHostBuffers(engine, false, inputs, outputs, 32);  // only the left channel is written
    EXPECT_NE(out, std::vector<double>(32, 3.0));
}

}  // namespace
}  // namespace tarvo
