#include "params/FactoryPrograms.h"

#include "params/ParamsTestDoubles.h"
#include "support/FactoryDisplays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace tarvo {
namespace {

using testing::ControllerRig;

void expectShown(const ControllerRig& rig, int program) {
    for (int i = 0; i < kParameterCount; ++i) {
        const char* expected = test::factoryDisplay(program, i);
        EXPECT_EQ(rig.display(i), expected) << "program " << program << ", parameter " << i;
    }
}

std::string programName(const ParameterController& c) {
    char text[25] = {};
    c.getProgramName(text);
    return text;
}

TEST(FactoryPrograms, EachProgramShowsItsGoldenDisplays) {
    for (int n = 0; n < kProgramCount; ++n) {
        ControllerRig rig;
        rig.controller.setProgram(n);
        EXPECT_EQ(rig.controller.getProgram(), n);
        expectShown(rig, n);
    }
}

TEST(FactoryPrograms, LoadingOneAfterAnotherShowsTheSame) {
    ControllerRig rig;
    expectShown(rig, 0);  // a fresh instance shows "Default"
    for (int n : {15, 4, 8, 0, 10, 1, 2, 3, 5, 6, 7, 9, 11, 12, 13, 14, 15}) {
        rig.controller.setProgram(n);
        expectShown(rig, n);
    }
}

TEST(FactoryPrograms, FractionalChoicePositionsLoadAsTheyAre) {
    ControllerRig rig;
    rig.controller.setProgram(4);
    EXPECT_NEAR(rig.controller.descriptor(param::Mode).value(), 6.0 * 0.180714, 1e-6);  // about 1.084
    EXPECT_EQ(rig.controller.getParameter(param::Mode), 0.180714f);
}

TEST(FactoryPrograms, Names) {
    ControllerRig rig;
    const char* const names[kProgramCount] = {
        "Default", "kick", "snare", "overheads", "room", "DRUM BUSS", "bass", "vocal (ins.1)",
        "vocal (ins.2)", "back vocal", "funky dbl.guitars", "solo guitar", "acoustic guitar",
        "keyboards", "Mix BUSS", "premaster"};
    for (int n = 0; n < kProgramCount; ++n) {
        char text[25];
        std::memset(text, '#', sizeof text);
        EXPECT_TRUE(rig.controller.getProgramNameIndexed(0, n, text));
        EXPECT_STREQ(text, names[n]);
        EXPECT_EQ(text[24], '\0');
    }
    EXPECT_EQ(programName(rig.controller), "Default");
    for (int bad : {16, -1, 1 << 30}) {
        char text[25];
        std::memset(text, '#', sizeof text);
        EXPECT_FALSE(rig.controller.getProgramNameIndexed(0, bad, text)) << bad;
        EXPECT_EQ(std::string(text, 25), std::string(25, '#')) << bad;
    }
    EXPECT_TRUE(rig.controller.getProgramNameIndexed(7, 15, nullptr));  // no crash
}

TEST(FactoryPrograms, RenamingKeepsTwentyFourCharactersOfTheCurrentProgram) {
    ControllerRig rig;
    rig.controller.setProgram(3);
    rig.controller.setProgramName("abcdefghijklmnopqrstuvwxyz0123");
    char text[25];
    std::memset(text, '#', sizeof text);
    rig.controller.getProgramName(text);
    EXPECT_EQ(std::string(text, 25), std::string("abcdefghijklmnopqrstuvwx\0", 25));
    rig.controller.setProgramName(nullptr);  // ignored
    EXPECT_EQ(programName(rig.controller), "abcdefghijklmnopqrstuvwx");
    rig.controller.getProgramName(nullptr);  // no crash
    // Only the current row is renamed, and the name survives switching.
    rig.controller.setProgram(4);
    EXPECT_EQ(programName(rig.controller), "room");
    rig.controller.setProgram(3);
    EXPECT_EQ(programName(rig.controller), "abcdefghijklmnopqrstuvwx");
}

TEST(FactoryPrograms, EditsSurviveSwitchingAwayAndBack) {
    ControllerRig rig;
    rig.controller.setProgram(1);  // "kick"
    rig.controller.setParameter(param::Threshold, 0.1f);
    EXPECT_EQ(rig.display(param::Threshold), "-36.0");
    rig.controller.setProgram(2);  // "snare"
    EXPECT_EQ(rig.display(param::Threshold), "-21.5");
    rig.controller.setProgram(1);
    EXPECT_EQ(rig.display(param::Threshold), "-36.0");
    EXPECT_EQ(rig.controller.programPosition(1, param::Threshold), 0.1f);
    EXPECT_EQ(rig.display(param::Makeup), "0.5");  // the rest of "kick" as it was
}

TEST(FactoryPrograms, LoadingSendsOneAutomationRequestPerParameterInOrder) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setParameter(param::Knee, 0.3f);
    EXPECT_TRUE(rig.host.automation.empty()) << "setParameter sends no automation";
    rig.controller.setProgram(15);
    ASSERT_EQ(rig.host.automation.size(), 22u);
    for (int i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(rig.host.automation[i].first, i);
        EXPECT_EQ(rig.host.automation[i].second, factoryPrograms[15][i]) << i;
    }
    // Reloading the current program saves and reloads it, messages again.
    rig.host.automation.clear();
    rig.controller.setProgram(15);
    EXPECT_EQ(rig.host.automation.size(), 22u);
    expectShown(rig, 15);
}

TEST(FactoryPrograms, SuspendedLoadConfiguresTheEngineOnceAtTheEnd) {
    ControllerRig rig;
    rig.settle();
    rig.controller.setProgram(15);
    ASSERT_FALSE(rig.engine.calls.empty());
    for (const auto& call : rig.engine.calls) {
        EXPECT_EQ(call.automationSoFar, 22u) << call.name << " ran before the load was complete";
    }
    EXPECT_FALSE(rig.controller.inProgramChange());
    // One pass: "Dither" was marked once, so the noise is set once.
    EXPECT_EQ(rig.engine.count("setNoiseBits"), 1);
}

TEST(FactoryPrograms, AThrowingHostDoesNotLeaveTheLoadOpen) {
    struct ThrowingHost : testing::RecordingHost {
        void automate(std::int32_t index, float position) override {
            if (index == 5) throw 42;
            RecordingHost::automate(index, position);
        }
    };
    testing::ScopedConfigHome config;
    ThrowingHost host;
    testing::RecordingEngine engine;
    ParameterController controller(engine, host);
    controller.configureEngine();
    EXPECT_ANY_THROW(controller.setProgram(3));
    EXPECT_FALSE(controller.inProgramChange());
    engine.calls.clear();
    controller.setParameter(param::Dither, 0.5f);  // suspended: configures at once again
    EXPECT_EQ(engine.count("setNoiseBits"), 1);
}

TEST(FactoryPrograms, ActiveLoadLeavesTheEngineToTheNextBlock) {
    ControllerRig rig;
    rig.settle();
    rig.controller.resume();
    rig.controller.setProgram(8);
    EXPECT_TRUE(rig.engine.calls.empty());
    for (int i = 0; i < kParameterCount; ++i) EXPECT_TRUE(rig.controller.descriptor(i).changed()) << i;
    rig.controller.configureEngine();
    const auto* design = rig.engine.last("designGainComputers");
    ASSERT_NE(design, nullptr);
    EXPECT_EQ(design->args[2], 100.0);  // "vocal (ins.2)" runs at "inf"
}

TEST(FactoryPrograms, AdaptationOfTheOversamplingChoiceToTheRate) {
    // Factory "1x", "4x" (every position that rounds to option 2) and "8x".
    struct Case {
        float position;
        double rate;
        int option;
    };
    const Case cases[] = {
        {0.0f, 22050, 1},       {0.0f, 32000, 1},      {0.0f, 44100, 0},      {0.0f, 48000, 0},
        {0.0f, 96000, 0},       {0.0f, 192000, 0},     {0.712532f, 22050, 3}, {0.75f, 32000, 3},
        {0.666667f, 44100, 2},  {0.524454f, 48000, 2}, {0.712532f, 88200, 1}, {0.75f, 96000, 1},
        {0.666667f, 176400, 0}, {0.712532f, 192000, 0}, {1.0f, 22050, 3},     {1.0f, 32000, 3},
        {1.0f, 44100, 3},       {1.0f, 48000, 3},      {1.0f, 88200, 2},      {1.0f, 96000, 2},
        {1.0f, 176400, 1},      {1.0f, 192000, 1},
    };
    const auto descriptors = makeParameterDescriptors();
    const ParameterDescriptor& upsampling = descriptors[param::Upsampling];
    for (const Case& c : cases) {
        const float position = adaptedUpsamplingPosition(c.position, c.rate);
        EXPECT_EQ(upsampling.optionIndex(upsampling.toValue(position)), c.option)
            << c.position << " at " << c.rate;
    }
    // Positions are whole thirds in single precision; 8x needed above 8 is 4/3.
    EXPECT_EQ(adaptedUpsamplingPosition(0.666667f, 44100), 2.0f * (1.0f / 3.0f));
    EXPECT_EQ(adaptedUpsamplingPosition(1.0f, 22050), 4.0f * (1.0f / 3.0f));
    EXPECT_EQ(adaptedUpsamplingPosition(0.0f, 44100), 0.0f);
    // No integer conversion of absurd rates.
    EXPECT_EQ(adaptedUpsamplingPosition(0.0f, 0.0), 4.0f * (1.0f / 3.0f));
    EXPECT_EQ(adaptedUpsamplingPosition(1.0f, 1e300), 0.0f);
    EXPECT_EQ(adaptedUpsamplingPosition(1.0f, std::nan("")), 4.0f * (1.0f / 3.0f));
}

TEST(FactoryPrograms, NewRateRederivesEveryProgramFromTheFactoryChoice) {
    ControllerRig rig;
    rig.controller.setParameter(param::Upsampling, 1.0f);  // the user's "8x" in "Default"
    rig.controller.setProgram(15);                          // saved into row 0
    EXPECT_EQ(rig.controller.programPosition(0, param::Upsampling), 1.0f);
    rig.settle();

    rig.controller.setSampleRate(96000.0f);
    EXPECT_EQ(rig.controller.engineSampleRate(), 96000.0);
    EXPECT_EQ(rig.host.rate, 96000.0f);
    EXPECT_TRUE(rig.host.automation.empty()) << "the adapted choice is assigned silently";
    EXPECT_EQ(rig.display(param::Upsampling), "4x");  // current "premaster", factory 8x
    EXPECT_TRUE(rig.controller.descriptor(param::Upsampling).changed());
    rig.controller.setProgram(0);
    EXPECT_EQ(rig.display(param::Upsampling), "2x");
    rig.controller.setProgram(15);
    EXPECT_EQ(rig.display(param::Upsampling), "4x");
    rig.controller.setProgram(2);
    EXPECT_EQ(rig.display(param::Upsampling), "1x");

    rig.controller.setSampleRate(22050.0f);
    rig.controller.setProgram(0);
    EXPECT_EQ(rig.display(param::Upsampling), "8x");
    rig.controller.setProgram(15);  // would need 16x: position 4/3 loads as the end
    EXPECT_EQ(rig.controller.programPosition(15, param::Upsampling), 4.0f * (1.0f / 3.0f));
    EXPECT_EQ(rig.display(param::Upsampling), "8x");
    EXPECT_EQ(rig.controller.getParameter(param::Upsampling), 1.0f);
    rig.controller.setProgram(2);
    EXPECT_EQ(rig.display(param::Upsampling), "2x");

    rig.controller.setSampleRate(192000.0f);
    rig.controller.setProgram(0);
    EXPECT_EQ(rig.display(param::Upsampling), "1x");
    rig.controller.setProgram(15);
    EXPECT_EQ(rig.display(param::Upsampling), "2x");
}

TEST(FactoryPrograms, SameRateLeavesTheProgramsAlone) {
    ControllerRig rig;
    rig.controller.setParameter(param::Upsampling, 1.0f);
    rig.controller.setProgram(3);
    rig.settle();
    const int stores = rig.host.initialDelayStores;
    rig.controller.setSampleRate(44100.0f);
    EXPECT_EQ(rig.controller.programPosition(0, param::Upsampling), 1.0f);
    EXPECT_FALSE(rig.controller.descriptor(param::Upsampling).changed());
    EXPECT_TRUE(rig.controller.descriptor(param::Attack).changed());
    EXPECT_TRUE(rig.controller.descriptor(param::MidScoop).changed());
    EXPECT_EQ(rig.host.initialDelayStores, stores + 1);
    EXPECT_TRUE(rig.engine.calls.empty()) << "setSampleRate runs no pass of its own";
}

TEST(FactoryPrograms, UnusableRatesAreIgnored) {
    // A rate that is not finite, not above 0 or above 4 MHz would poison the
    // filter designs: the rate held so far stays, and nothing is marked.
    ControllerRig rig;
    rig.controller.setSampleRate(96000.0f);
    rig.settle();
    for (float rate : {std::nanf(""), 0.0f, -44100.0f, 999.0f, INFINITY, 4.1e6f}) {
        rig.controller.setSampleRate(rate);
        EXPECT_FALSE(rig.controller.descriptor(param::Upsampling).changed()) << rate;
        EXPECT_FALSE(rig.controller.descriptor(param::Attack).changed()) << rate;
        EXPECT_EQ(rig.controller.engineSampleRate(), 96000.0) << rate;
        EXPECT_EQ(rig.display(param::Upsampling), "2x") << rate;
    }
    rig.controller.setSampleRate(4.0e6f);  // the highest rate accepted
    EXPECT_EQ(rig.controller.engineSampleRate(), 4.0e6);
}

}  // namespace
}  // namespace tarvo
