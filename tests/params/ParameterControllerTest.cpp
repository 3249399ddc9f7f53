#include "params/ParameterController.h"

#include "params/ParamsTestDoubles.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace tarvo {
namespace {

using testing::ControllerRig;

TEST(ParameterController, ConstructionLoadsProgramZeroMarkedButDoesNotConfigure) {
    ControllerRig rig;
    EXPECT_TRUE(rig.engine.calls.empty());
    EXPECT_EQ(rig.host.initialDelayStores, 0);
    EXPECT_EQ(rig.controller.getProgram(), 0);
    EXPECT_FALSE(rig.controller.isActive());
    EXPECT_FALSE(rig.controller.inProgramChange());
    EXPECT_FALSE(rig.controller.sideChainExternal());
    EXPECT_EQ(rig.controller.lastProcessLevel(), 0);
    EXPECT_EQ(rig.controller.engineSampleRate(), 44100.0);
    for (int i = 0; i < kParameterCount; ++i) {
        EXPECT_TRUE(rig.controller.descriptor(i).changed()) << i;
        EXPECT_EQ(rig.controller.getParameter(i), factoryPrograms[0][i]) << i;
    }
}

TEST(ParameterController, PositionsAreClampedAndNanIsTheMinimum) {
    ControllerRig rig;
    rig.controller.setParameter(param::Ratio, 3.0f);
    EXPECT_EQ(rig.controller.getParameter(param::Ratio), 1.0f);
    EXPECT_EQ(rig.display(param::Ratio), "inf");
    rig.controller.setParameter(param::Ratio, -2.0f);
    EXPECT_EQ(rig.controller.getParameter(param::Ratio), 0.0f);
    EXPECT_EQ(rig.display(param::Ratio), "1.1");
    rig.controller.setParameter(param::Knee, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(rig.controller.descriptor(param::Knee).value(), 0.0);
    EXPECT_EQ(rig.display(param::Knee), "Soft");
    rig.controller.setParameter(param::Mode, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(rig.display(param::Mode), "Mono-L");
    EXPECT_EQ(rig.controller.getParameter(param::Mode), 0.0f);
}

TEST(ParameterController, OutOfRangeIndicesTouchNothing) {
    ControllerRig rig;
    rig.settle();
    for (int bad : {22, 23, -1, INT_MIN, INT_MAX}) {
        char name[9], shown[9], label[9];
        std::memset(name, '#', 9);
        std::memset(shown, '#', 9);
        std::memset(label, '#', 9);
        rig.controller.getParameterName(bad, name);
        rig.controller.getParameterDisplay(bad, shown);
        rig.controller.getParameterLabel(bad, label);
        EXPECT_EQ(std::string(name, 9), std::string(9, '#')) << bad;
        EXPECT_EQ(std::string(shown, 9), std::string(9, '#')) << bad;
        EXPECT_EQ(std::string(label, 9), std::string(9, '#')) << bad;
        EXPECT_EQ(rig.controller.getParameter(bad), 0.0f) << bad;
        rig.controller.setParameter(bad, 0.5f);  // changes nothing, runs an empty pass
    }
    EXPECT_TRUE(rig.engine.calls.empty());
    for (int i = 0; i < kParameterCount; ++i) EXPECT_FALSE(rig.controller.descriptor(i).changed());
}

TEST(ParameterController, NullTextPointersAreIgnored) {
    ControllerRig rig;
    rig.controller.getParameterName(0, nullptr);
    rig.controller.getParameterDisplay(0, nullptr);
    rig.controller.getParameterLabel(0, nullptr);
    rig.controller.getParameterLabel(param::Knee, nullptr);
    SUCCEED();
}

TEST(ParameterController, TextsAreBoundedAndTerminated) {
    ControllerRig rig;
    char text[9];
    std::memset(text, '#', 9);
    rig.controller.getParameterName(param::Threshold, text);
    EXPECT_EQ(std::string(text, 9), std::string("Thresh.\0\0", 9));
    std::memset(text, '#', 9);
    rig.controller.getParameterName(param::SideChain, text);
    EXPECT_EQ(std::string(text, 9), std::string("Sd.chain\0", 9));
    std::memset(text, '#', 9);
    rig.controller.getParameterLabel(param::Knee, text);
    EXPECT_EQ(std::string(text, 9), std::string(9, '\0'));
    rig.controller.getParameterLabel(param::Ratio, text);
    EXPECT_STREQ(text, ": 1");
    rig.controller.getParameterLabel(param::Input, text);
    EXPECT_STREQ(text, "dB");
    rig.controller.setParameter(param::Threshold, 0.75f);
    rig.controller.getParameterDisplay(param::Threshold, text);
    EXPECT_STREQ(text, "-10.0");
    rig.controller.getParameterLabel(param::Threshold, text);
    EXPECT_STREQ(text, "dB");
}

TEST(ParameterController, ArTimeSwitchKeepsPositionsAndIsReversible) {
    ControllerRig rig;
    const float tenMs = static_cast<float>(9.0 / 99.0);
    rig.controller.setParameter(param::Attack, tenMs);
    rig.controller.setParameter(param::Release, 0.5f);
    EXPECT_EQ(rig.display(param::Attack), "10.0");
    EXPECT_EQ(rig.display(param::Release), "525.0");

    rig.controller.setParameter(param::ArTime, 1.0f);  // "1/10"
    EXPECT_EQ(rig.display(param::ArTime), "1/10");
    EXPECT_EQ(rig.display(param::Attack), "1.00");
    EXPECT_EQ(rig.display(param::Release), "52.50");
    EXPECT_EQ(rig.controller.getParameter(param::Attack), tenMs);
    EXPECT_EQ(rig.controller.getParameter(param::Release), 0.5f);

    rig.controller.setParameter(param::ArTime, 0.0f);  // back to "1:1"
    EXPECT_EQ(rig.display(param::Attack), "10.0");
    EXPECT_EQ(rig.display(param::Release), "525.0");
    EXPECT_EQ(rig.controller.getParameter(param::Attack), tenMs);
}

TEST(ParameterController, ArTimeRowsSetRangesAndDecimals) {
    ControllerRig rig;
    rig.controller.setParameter(param::ArTime, 0.5f);  // "1*10,1:1"
    rig.controller.setParameter(param::Attack, 0.0f);
    EXPECT_EQ(rig.display(param::Attack), "10.0");
    rig.controller.setParameter(param::Attack, 1.0f);
    EXPECT_EQ(rig.display(param::Attack), "1000.0");
    rig.controller.setParameter(param::Release, 1.0f);
    EXPECT_EQ(rig.display(param::Release), "1000.0");

    rig.controller.setParameter(param::ArTime, 0.75f);  // "1:1,1/10"
    EXPECT_EQ(rig.display(param::Attack), "100.0");
    EXPECT_EQ(rig.display(param::Release), "100.00");
    rig.controller.setParameter(param::Release, 0.0f);
    EXPECT_EQ(rig.display(param::Release), "5.00");

    rig.controller.setParameter(param::ArTime, 0.25f);  // "1/10,1:1"
    EXPECT_EQ(rig.display(param::Attack), "10.00");
    EXPECT_EQ(rig.display(param::Release), "50.0");
    // A fractional position acts as the nearest row.
    rig.controller.setParameter(param::ArTime, 0.3f);  // value 1.2
    EXPECT_EQ(rig.display(param::Attack), "10.00");
    EXPECT_EQ(rig.controller.descriptor(param::Attack).maximum(), 10.0);
}

TEST(ParameterController, ArTimeSwitchMarksAttackAndRelease) {
    ControllerRig rig;
    rig.settle();
    rig.controller.resume();  // keep the marks for inspection
    rig.controller.setParameter(param::ArTime, 1.0f);
    EXPECT_TRUE(rig.controller.descriptor(param::ArTime).changed());
    EXPECT_TRUE(rig.controller.descriptor(param::Attack).changed());
    EXPECT_TRUE(rig.controller.descriptor(param::Release).changed());
    EXPECT_FALSE(rig.controller.descriptor(param::Knee).changed());
}

TEST(ParameterController, ProgramLoadReadsAttackInTheNewProgramsRanges) {
    ControllerRig rig;
    rig.controller.setParameter(param::ArTime, 1.0f);  // "1/10" in the working "Default"
    rig.controller.setParameter(param::Attack, 1.0f);  // 10.00 ms
    EXPECT_EQ(rig.display(param::Attack), "10.00");
    rig.controller.setProgram(1);  // "kick" is "1:1": its 0.121224 reads 13.0
    EXPECT_EQ(rig.display(param::Attack), "13.0");
    rig.controller.setProgram(0);  // back: position 1 read first in "1:1", then switched
    EXPECT_EQ(rig.display(param::ArTime), "1/10");
    EXPECT_EQ(rig.display(param::Attack), "10.00");
}

TEST(ParameterController, SuspendedSetParameterConfiguresAtOnceActiveWaits) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Bypass, 1.0f);
    ASSERT_EQ(rig.engine.names(), std::vector<std::string>{"setBypass"});
    EXPECT_FALSE(rig.controller.descriptor(param::Bypass).changed());

    rig.engine.calls.clear();
    rig.controller.resume();
    EXPECT_TRUE(rig.controller.isActive());
    rig.controller.setParameter(param::Bypass, 0.0f);
    EXPECT_TRUE(rig.engine.calls.empty());
    EXPECT_TRUE(rig.controller.descriptor(param::Bypass).changed());
    rig.controller.configureEngine();  // the next block
    ASSERT_EQ(rig.engine.names(), std::vector<std::string>{"setBypass"});
    EXPECT_EQ(rig.engine.calls[0].args[0], 0.0);

    rig.controller.suspend();
    EXPECT_FALSE(rig.controller.isActive());
    rig.engine.calls.clear();
    rig.controller.setParameter(param::Bypass, 1.0f);
    EXPECT_EQ(rig.engine.names(), std::vector<std::string>{"setBypass"});
}

TEST(ParameterController, OfflineTransitionsMarkUpsamplingOnlyWithRender8x) {
    ControllerRig rig;
    rig.settle();
    rig.controller.resume();
    const ParameterDescriptor& upsampling = rig.controller.descriptor(param::Upsampling);
    rig.controller.processLevel(4);  // "Render8x" "Off"
    EXPECT_EQ(rig.controller.lastProcessLevel(), 4);
    EXPECT_FALSE(upsampling.changed());
    rig.controller.processLevel(1);
    EXPECT_FALSE(upsampling.changed());

    rig.controller.setParameter(param::Render8x, 1.0f);
    rig.controller.configureEngine();
    rig.controller.configureEngine();
    rig.controller.processLevel(2);  // realtime to prefetch: not offline either way
    EXPECT_FALSE(upsampling.changed());
    rig.controller.processLevel(4);
    EXPECT_TRUE(upsampling.changed());
    rig.controller.configureEngine();
    rig.controller.processLevel(4);  // unchanged level
    EXPECT_FALSE(upsampling.changed());
    rig.controller.processLevel(3);
    EXPECT_TRUE(upsampling.changed());
}

}  // namespace
}  // namespace tarvo
