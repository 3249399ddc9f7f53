// The engine configuration pass of ParameterController, against a recording
// engine: which engine operations each parameter group reaches, with what.

#include "params/ParameterController.h"

#include "params/ParamsTestDoubles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace tarvo {
namespace {

using testing::ControllerRig;
using Names = std::vector<std::string>;

const double kTenTo0_3 = 1.9952623149688795;    // 10^0.3
const double kTenTo1_2 = 15.848931924611133;    // 10^1.2
const double kHundredthDb = 1.0011519555381685;  // 10^0.0005

TEST(ConfigurationPass, FirstPassVisitsEveryGroupInParameterOrder) {
    ControllerRig rig;
    rig.controller.configureEngine();
    const Names compression = {"designGainComputers", "setClipLevel", "setSaturationEnabled",
                               "setChannelMode"};
    Names expected;
    auto add = [&expected](const Names& names) {
        expected.insert(expected.end(), names.begin(), names.end());
    };
    add({"updateDetectorFilters"});  // 0 Filter
    add(compression);                // 1 Thresh.
    add(compression);                // 2 Knee
    add({"updateDetectorFilters", "updateDetectorFilters"});  // 3, 4
    add(compression);                                          // 5 Ratio
    add({"setLimiterCeiling", "setLevels", "setScoop", "setLevels", "setChannelMode",
         "setOversampling"});  // 6 .. 11
    add({"updateDetectorFilters", "setLevels", "setLimiterPosition"});  // 12 .. 14
    add(compression);                                                   // 15 Saturat.
    add({"setBypass", "setOversampling", "setNoiseBits"});               // 16 .. 18
    add({"updateDetectorFilters", "setOversampling"});                  // 20, 21 (19 internal)
    // The oversampling group set the rate again, which re-marked "Attack" and
    // "MidScoop": a second sweep redesigns them for the new factor.
    add({"updateDetectorFilters", "setScoop"});
    EXPECT_EQ(rig.engine.names(), expected);
    for (int i = 0; i < kParameterCount; ++i)
        EXPECT_FALSE(rig.controller.descriptor(i).changed()) << i;
    // The factory "Default" at 44100 Hz: 4x, fast path.
    const auto* oversampling = rig.engine.last("setOversampling");
    EXPECT_EQ(oversampling->args, (std::vector<double>{4.0, 0.0}));
    EXPECT_EQ(rig.host.initialDelay, 2);
    EXPECT_EQ(rig.host.initialDelayStores, 3);  // once per oversampling parameter
}

TEST(ConfigurationPass, RemarksFromTheOversamplingGroupAreConsumedInTheSamePass) {
    ControllerRig rig;
    rig.controller.configureEngine();
    rig.engine.calls.clear();
    rig.controller.configureEngine();
    EXPECT_TRUE(rig.engine.calls.empty()) << "nothing changed, nothing configured";
    // A factor change alone: the detectors and the scoop follow at once.
    rig.controller.setParameter(param::Upsampling, 1.0f);
    EXPECT_EQ(rig.engine.names(),
              (Names{"setOversampling", "updateDetectorFilters", "setScoop"}));
}

// Another thread sets "Upsampl." while a pass runs: right after the pass
// applied a factor, or during the sweep that redesigns for it. The new factor
// is never left applied without the redesigns made for it; it waits for the
// next pass, which applies it with them.
TEST(ConfigurationPass, FactorSetDuringThePassIsAppliedWithItsRedesigns) {
    for (const char* moment : {"setOversampling", "updateDetectorFilters"}) {
        ControllerRig rig;
        rig.settle();
        rig.controller.resume();  // parameter changes only mark from now on
        rig.controller.setParameter(param::Upsampling, 0.0f);  // 1x
        bool setAgain = false;
        rig.engine.onCall = [&](const std::string& name) {
            if (name != moment || setAgain) return;
            setAgain = true;
            rig.controller.setParameter(param::Upsampling, 1.0f);  // 8x
        };
        for (int pass = 0; pass < 2; ++pass) {
            rig.controller.configureEngine();
            const Names names = rig.engine.names();
            const auto lastFactor = std::find(names.rbegin(), names.rend(), "setOversampling");
            ASSERT_NE(lastFactor, names.rend());
            EXPECT_EQ(Names(lastFactor.base(), names.end()),
                      (Names{"updateDetectorFilters", "setScoop"}))
                << "another thread at " << moment << ", pass " << pass;
        }
        EXPECT_TRUE(setAgain);
        EXPECT_EQ(rig.engine.last("setOversampling")->args[0], 8.0) << moment;
        EXPECT_FALSE(rig.controller.descriptor(param::Upsampling).changed()) << moment;
    }
}

TEST(ConfigurationPass, DitherAloneReachesOnlyTheNoise) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Dither, 0.5f);  // "Off"
    ASSERT_EQ(rig.engine.names(), Names{"setNoiseBits"});
    EXPECT_EQ(rig.engine.calls[0].args[0], 0.0);
    rig.controller.setParameter(param::Dither, 1.0f);  // "Low"
    EXPECT_EQ(rig.engine.calls.back().args[0], 24.0);
    rig.controller.setParameter(param::Dither, 0.2f);  // "High"
    EXPECT_EQ(rig.engine.calls.back().args[0], 20.0);
    EXPECT_EQ(rig.engine.calls.size(), 3u);
}

TEST(ConfigurationPass, DetectorArguments) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Filter, 0.0f);
    const auto* call = rig.engine.last("updateDetectorFilters");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->args[4], 0.0) << "\"Off\" passes 0 Hz";
    EXPECT_EQ(call->args[1], 44100.0);

    const float justAbove = static_cast<float>(0.001 / 220.0);
    rig.controller.setParameter(param::Filter, justAbove);
    call = rig.engine.last("updateDetectorFilters");
    EXPECT_NEAR(call->args[4], 40.001, 1e-6);
    EXPECT_GT(call->args[4], 40.0);

    rig.controller.setParameter(param::Attack, 0.5f);   // 50.5 ms
    rig.controller.setParameter(param::Release, 1.0f);  // 1000 ms
    call = rig.engine.last("updateDetectorFilters");
    EXPECT_DOUBLE_EQ(call->args[2], 0.0505);
    EXPECT_DOUBLE_EQ(call->args[3], 1.0);

    rig.controller.setParameter(param::AttackMode, 0.7f);
    EXPECT_EQ(rig.display(param::AttackMode), "Alpha");
    EXPECT_EQ(rig.engine.last("updateDetectorFilters")->args[0], 0.0) << "only the exact end";
    rig.controller.setParameter(param::AttackMode, 1.0f);
    EXPECT_EQ(rig.engine.last("updateDetectorFilters")->args[0], 1.0);

    rig.engine.calls.clear();
    rig.controller.setParameter(param::ArTime, 1.0f);  // "1/10": 5.05 ms, 100 ms
    call = rig.engine.last("updateDetectorFilters");
    ASSERT_NE(call, nullptr);
    EXPECT_NEAR(call->args[2], 0.00505, 1e-12);
    EXPECT_NEAR(call->args[3], 0.1, 1e-12);
    // Attack, Release and "A,R Time" were all marked: three redesigns.
    EXPECT_EQ(rig.engine.count("updateDetectorFilters"), 3);
}

TEST(ConfigurationPass, CompressionRatioAndSaturation) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Ratio, 1.0f);
    EXPECT_EQ(rig.engine.last("designGainComputers")->args[2], 100.0) << "\"inf\" designs with 100";
    const float almost = static_cast<float>((10.99 - 1.1) / 9.9);
    rig.controller.setParameter(param::Ratio, almost);
    EXPECT_NEAR(rig.engine.last("designGainComputers")->args[2], 10.99, 1e-5);

    rig.controller.setParameter(param::Threshold, 0.5f);  // -20 dB
    rig.controller.setParameter(param::Knee, 0.25f);
    const auto* design = rig.engine.last("designGainComputers");
    EXPECT_NEAR(design->args[0], 0.1, 1e-15);
    EXPECT_EQ(design->args[1], 0.25);

    // "Saturat." "Ratio": clipLevel = 10^0.3 - Ratio position.
    rig.engine.calls.clear();
    rig.controller.setParameter(param::Ratio, 0.5f);
    EXPECT_EQ(rig.engine.names(), (Names{"designGainComputers", "setClipLevel",
                                         "setSaturationEnabled", "setChannelMode"}));
    EXPECT_NEAR(rig.engine.last("setClipLevel")->args[0], 1.4952623149688795, 1e-15);
    EXPECT_EQ(rig.engine.last("setSaturationEnabled")->args[0], 1.0);
    EXPECT_EQ(rig.engine.last("setChannelMode")->args[0], 6.0) << "the current mode again";
    rig.controller.setParameter(param::Ratio, 0.0f);
    EXPECT_NEAR(rig.engine.last("setClipLevel")->args[0], kTenTo0_3, 1e-15);
    rig.controller.setParameter(param::Ratio, 1.0f);
    EXPECT_NEAR(rig.engine.last("setClipLevel")->args[0], kTenTo0_3 - 1.0, 1e-15);

    rig.engine.calls.clear();
    // "Off": no strip clips; "M/S" output sums clip at the level a fresh
    // instance has, whatever "Ratio" or "On" set before.
    rig.controller.setParameter(param::Saturation, 0.5f);
    EXPECT_EQ(rig.engine.names(), (Names{"designGainComputers", "setClipLevel",
                                         "setSaturationEnabled", "setChannelMode"}));
    EXPECT_EQ(rig.engine.last("setClipLevel")->args[0], 3.981);
    EXPECT_EQ(rig.engine.last("setSaturationEnabled")->args[0], 0.0);

    rig.controller.setParameter(param::Saturation, 1.0f);  // "On"
    EXPECT_NEAR(rig.engine.last("setClipLevel")->args[0], kTenTo1_2, 1e-13);
    EXPECT_EQ(rig.engine.last("setSaturationEnabled")->args[0], 1.0);
}

TEST(ConfigurationPass, ModeGoesThroughSetChannelModeOnly) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Mode, 5.0f / 6.0f);  // "M/S"
    ASSERT_EQ(rig.engine.names(), Names{"setChannelMode"});
    EXPECT_EQ(rig.engine.calls[0].args[0], 5.0);
    // A later compression change re-applies the stored mode, M/S stays.
    rig.controller.setParameter(param::Knee, 0.0f);
    EXPECT_EQ(rig.engine.last("setChannelMode")->args[0], 5.0);
    rig.engine.calls.clear();
    rig.controller.setParameter(param::Mode, 1.0f);  // "Stereo"
    ASSERT_EQ(rig.engine.names(), Names{"setChannelMode"});
    EXPECT_EQ(rig.engine.calls[0].args[0], 6.0);
    rig.controller.setParameter(param::Mode, 0.18f);  // 1.08 acts as "2 Mono"
    EXPECT_EQ(rig.engine.calls.back().args[0], 1.0);
}

TEST(ConfigurationPass, CeilingIsRaisedByAHundredthOfADecibel) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::LimiterCeiling, 1.0f);
    ASSERT_EQ(rig.engine.names(), Names{"setLimiterCeiling"});
    EXPECT_NEAR(rig.engine.calls[0].args[0], kHundredthDb, 1e-15);
    rig.controller.setParameter(param::LimiterCeiling, 0.5f);  // -6 dB
    EXPECT_NEAR(rig.engine.calls.back().args[0], std::pow(10.0, -0.3) * kHundredthDb, 1e-15);
}

TEST(ConfigurationPass, LevelsMixAndInputGain) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Makeup, 0.75f);  // +6 dB
    const double makeup = std::pow(10.0, 0.3);
    auto levels = rig.engine.last("setLevels")->args;
    EXPECT_EQ(levels[0], 1.0);
    EXPECT_NEAR(levels[1], makeup, 1e-15) << "\"Off\": all wet";
    EXPECT_EQ(levels[2], 0.0);

    rig.controller.setParameter(param::DryWet, 1.0f);  // 99 %
    levels = rig.engine.last("setLevels")->args;
    EXPECT_NEAR(levels[1], 0.01 * makeup, 1e-15);
    EXPECT_EQ(levels[2], 0.99);

    const double gains[5] = {1.0, 2.0, 4.0, 0.25, 0.5};
    for (int option = 0; option < 5; ++option) {
        rig.controller.setParameter(param::Input, option / 4.0f);
        EXPECT_EQ(rig.engine.last("setLevels")->args[0], gains[option]) << option;
    }
    EXPECT_EQ(rig.display(param::Input), "-6");
    rig.controller.setParameter(param::Input, 0.75f);
    EXPECT_EQ(rig.display(param::Input), "-12");
    EXPECT_EQ(rig.engine.last("setLevels")->args[0], 0.25);
}

TEST(ConfigurationPass, ScoopUsesTheEngineRate) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::MidScoop, 0.0f);
    auto args = rig.engine.last("setScoop")->args;
    EXPECT_NEAR(args[0], 0.25118864315095796, 1e-15);  // -12 dB
    EXPECT_EQ(args[1], 44100.0);
    rig.controller.setSampleRate(48000.0f);
    rig.controller.configureEngine();
    args = rig.engine.last("setScoop")->args;
    EXPECT_EQ(args[1], 48000.0);
    EXPECT_EQ(rig.engine.last("updateDetectorFilters")->args[1], 48000.0);
}

TEST(ConfigurationPass, OversamplingFactorPathAndLatency) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::OversamplingPath, 1.0f);  // "HQ" at 4x
    EXPECT_EQ(rig.engine.last("setOversampling")->args, (std::vector<double>{4.0, 1.0}));
    EXPECT_EQ(rig.host.initialDelay, 172);
    // The same-rate re-entry re-marked the rate-dependent parameters only,
    // and the same pass redesigned them.
    EXPECT_EQ(rig.engine.count("updateDetectorFilters"), 1);
    EXPECT_EQ(rig.engine.count("setScoop"), 1);
    EXPECT_FALSE(rig.controller.descriptor(param::Attack).changed());
    EXPECT_FALSE(rig.controller.descriptor(param::MidScoop).changed());
    EXPECT_FALSE(rig.controller.descriptor(param::Upsampling).changed());
    EXPECT_EQ(rig.host.rate, 44100.0f);
    EXPECT_EQ(rig.controller.programPosition(0, param::Upsampling), factoryPrograms[0][11]);

    rig.controller.setParameter(param::OversamplingPath, 0.0f);
    EXPECT_EQ(rig.host.initialDelay, 2);
    for (int option = 0; option < 4; ++option) {
        rig.controller.setParameter(param::Upsampling, option / 3.0f);
        EXPECT_EQ(rig.engine.last("setOversampling")->args[0], double(1 << option));
    }
}

TEST(ConfigurationPass, Render8xForcesEightTimesOnlyWhileOffline) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Render8x, 1.0f);
    EXPECT_EQ(rig.engine.last("setOversampling")->args[0], 4.0) << "realtime: own factor";
    rig.controller.configureEngine();
    rig.controller.resume();
    rig.engine.calls.clear();

    // A block at the offline level.
    rig.controller.processLevel(4);
    rig.controller.configureEngine();
    EXPECT_EQ(rig.engine.last("setOversampling")->args[0], 8.0);
    rig.controller.configureEngine();
    // Back to realtime.
    rig.engine.calls.clear();
    rig.controller.processLevel(1);
    rig.controller.configureEngine();
    EXPECT_EQ(rig.engine.last("setOversampling")->args[0], 4.0);
    // Offline with "Render8x" "Off": the own factor, and no redesign at all.
    rig.controller.configureEngine();
    rig.controller.setParameter(param::Render8x, 0.0f);
    rig.controller.configureEngine();
    rig.controller.configureEngine();
    rig.engine.calls.clear();
    rig.controller.processLevel(4);
    rig.controller.configureEngine();
    EXPECT_TRUE(rig.engine.calls.empty());
}

TEST(ConfigurationPass, LimiterPositionAndBypass) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::LimiterPosition, 0.5f);
    EXPECT_EQ(rig.engine.last("setLimiterPosition")->args, (std::vector<double>{0.0, 1.0}));
    rig.controller.setParameter(param::LimiterPosition, 1.0f);
    EXPECT_EQ(rig.engine.last("setLimiterPosition")->args, (std::vector<double>{0.0, 0.0}));
    rig.controller.setParameter(param::LimiterPosition, 0.1f);
    EXPECT_EQ(rig.engine.last("setLimiterPosition")->args, (std::vector<double>{1.0, 0.0}));
    rig.controller.setParameter(param::Bypass, 0.6f);
    EXPECT_EQ(rig.engine.last("setBypass")->args[0], 1.0);
    rig.controller.setParameter(param::Bypass, 0.4f);
    EXPECT_EQ(rig.engine.last("setBypass")->args[0], 0.0);
}

TEST(ConfigurationPass, SideChainTakeoverOnlyWhenTurningExternal) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::SideChain, 1.0f);
    EXPECT_EQ(rig.engine.names(), Names{"takeOverSideChainAudio"});
    EXPECT_TRUE(rig.controller.sideChainExternal());
    rig.engine.calls.clear();
    rig.controller.setParameter(param::SideChain, 0.9f);  // still "External"
    EXPECT_TRUE(rig.engine.calls.empty());
    rig.controller.setParameter(param::SideChain, 0.0f);  // "Internal": copies nothing
    EXPECT_TRUE(rig.engine.calls.empty());
    EXPECT_FALSE(rig.controller.sideChainExternal());
    rig.controller.setParameter(param::SideChain, 1.0f);  // external again: copies again
    EXPECT_EQ(rig.engine.names(), Names{"takeOverSideChainAudio"});
    EXPECT_TRUE(rig.controller.sideChainExternal());
}

}  // namespace
}  // namespace tarvo
