// What a host's generic window shows: every program's 22 display texts,
// names and labels, read through the exported entry as a host reads them.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/FactoryDisplays.h"
#include "support/PluginUnderTest.h"

namespace tarvo {
namespace {

using test::pluginLibrary;
using vsthost::VstInstance;

constexpr int kParams = 22;
constexpr int kPrograms = 16;

const std::array<const char*, kPrograms> kProgramNames = {
    "Default", "kick", "snare", "overheads", "room", "DRUM BUSS", "bass", "vocal (ins.1)",
    "vocal (ins.2)", "back vocal", "funky dbl.guitars", "solo guitar", "acoustic guitar",
    "keyboards", "Mix BUSS", "premaster"};

const std::array<const char*, kParams> kNames = {
    "Filter", "Thresh.", "Knee", "Attack", "Release", "Ratio", "Limiter", "Makeup",
    "MidScoop", "Dry/Wet", "Mode", "Upsampl.", "Att.Mode", "Input", "Limiter", "Saturat.",
    "Bypass", "Render8x", "Dither", "Sd.chain", "A,R Time", "Upsmpl."};
const std::array<const char*, kParams> kLabels = {
    "Hz", "dB", "", "ms", "ms", ": 1", "dB", "dB", "dB", "%", "", "", "", "dB", "", "",
    "", "", "", "", "", ""};

TEST(ProgramDisplay, EveryFactoryProgramShowsItsTable) {
    VstInstance instance(pluginLibrary());
    instance.start(44100.0f, 512);
    for (int program = 0; program < kPrograms; ++program) {
        instance.dispatch(effSetProgram, 0, program);
        EXPECT_EQ(instance.dispatch(effGetProgram), program);
        EXPECT_EQ(instance.programName(), kProgramNames[program]);
        for (int i = 0; i < kParams; ++i)
            EXPECT_EQ(instance.parameterDisplay(i), test::factoryDisplay(program, i))
                << "program " << program << " parameter " << i;
    }
}

TEST(ProgramDisplay, NamesAndLabels) {
    VstInstance instance(pluginLibrary());
    for (int i = 0; i < kParams; ++i) {
        EXPECT_EQ(instance.parameterName(i), kNames[i]) << i;
        EXPECT_EQ(instance.parameterLabel(i), kLabels[i]) << i;
    }
    for (int n = 0; n < kPrograms; ++n) EXPECT_EQ(instance.programNameIndexed(n), kProgramNames[n]);
}

TEST(ProgramDisplay, LoadingAProgramAutomatesAllParametersInOrder) {
    VstInstance instance(pluginLibrary());
    instance.host().clearRequests();
    instance.dispatch(effSetProgram, 0, 15);
    const auto requests = instance.host().requests(audioMasterAutomate);
    ASSERT_EQ(requests.size(), 22u);
    for (int i = 0; i < kParams; ++i) {
        EXPECT_EQ(requests[i].index, i);
        EXPECT_EQ(requests[i].opt, instance.getParameter(i)) << i;
    }
    instance.host().clearRequests();
    instance.setParameter(1, 0.25f);
    EXPECT_EQ(instance.host().count(audioMasterAutomate), 0u);
}

TEST(ProgramDisplay, EditsSurviveSwitchingAwayAndBack) {
    VstInstance instance(pluginLibrary());
    instance.start(44100.0f, 512);
    instance.dispatch(effSetProgram, 0, 1);
    instance.setParameter(1, 0.5f);  // "Thresh." -20.0
    instance.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(instance.parameterDisplay(1), "-21.5");
    instance.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(instance.parameterDisplay(1), "-20.0");
}

TEST(ProgramDisplay, SampleRateAdaptsTheOversamplingChoice) {
    struct Case {
        float rate;
        const char* defaultFactor;
        const char* premasterFactor;
    };
    for (const Case& c : {Case{22050.0f, "8x", "8x"}, Case{96000.0f, "2x", "4x"},
                          Case{192000.0f, "1x", "2x"}}) {
        VstInstance instance(pluginLibrary());
        instance.setParameter(11, 1.0f);  // the user's "8x" in "Default" ...
        instance.dispatch(effSetSampleRate, 0, 0, nullptr, c.rate);
        EXPECT_EQ(instance.parameterDisplay(11), c.defaultFactor) << c.rate;  // ... is replaced
        instance.dispatch(effSetProgram, 0, 15);
        EXPECT_EQ(instance.parameterDisplay(11), c.premasterFactor) << c.rate;
        instance.dispatch(effSetProgram, 0, 0);
        EXPECT_EQ(instance.parameterDisplay(11), c.defaultFactor) << c.rate;
    }
}

TEST(ProgramDisplay, ArTimeSwitchKeepsTheKnobAndChangesTheTime) {
    VstInstance instance(pluginLibrary());
    const float tenMs = static_cast<float>((10.0 - 1.0) / 99.0);
    instance.setParameter(3, tenMs);
    EXPECT_EQ(instance.parameterDisplay(3), "10.0");
    instance.setParameter(20, 1.0f);  // "1/10"
    EXPECT_EQ(instance.parameterDisplay(20), "1/10");
    EXPECT_EQ(instance.parameterDisplay(3), "1.00");
    EXPECT_EQ(instance.parameterDisplay(4), "10.95");
    EXPECT_FLOAT_EQ(instance.getParameter(3), tenMs);
    instance.setParameter(20, 0.0f);
    EXPECT_EQ(instance.parameterDisplay(3), "10.0");
}

TEST(ProgramDisplay, HostileParameterInput) {
    VstInstance instance(pluginLibrary());
    instance.setParameter(0, -1.0f);
    EXPECT_EQ(instance.getParameter(0), 0.0f);
    EXPECT_EQ(instance.parameterDisplay(0), "Off");
    instance.setParameter(5, 7.0f);
    EXPECT_EQ(instance.getParameter(5), 1.0f);
    EXPECT_EQ(instance.parameterDisplay(5), "inf");
    instance.setParameter(10, std::nanf(""));  // NaN loads as the minimum
    EXPECT_EQ(instance.getParameter(10), 0.0f);
    EXPECT_EQ(instance.parameterDisplay(10), "Mono-L");

    // Out-of-range indices: buffers untouched, reads answer 0.
    for (VstInt32 index : {22, -1, 1000}) {
        char text[16];
        std::fill(std::begin(text), std::end(text), 'x');
        instance.dispatch(effGetParamDisplay, index, 0, text);
        instance.dispatch(effGetParamName, index, 0, text);
        instance.dispatch(effGetParamLabel, index, 0, text);
        EXPECT_EQ(std::string(text, 16), std::string(16, 'x'));
        EXPECT_EQ(instance.getParameter(index), 0.0f);
        instance.setParameter(index, 0.5f);
    }
    // Null text pointers are ignored.
    EXPECT_EQ(instance.dispatch(effGetParamDisplay, 1, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetProgramName, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effSetProgramName, 0, 0, nullptr), 0);
}

TEST(ProgramDisplay, ProgramNamesAreCutTo24Characters) {
    VstInstance instance(pluginLibrary());
    char name[] = "abcdefghijklmnopqrstuvwxyz0123";
    instance.dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(instance.programName(), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(instance.programNameIndexed(0), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(instance.programNameIndexed(1), "kick");
    char untouched[8] = "zzzzzzz";
    EXPECT_EQ(instance.dispatch(effGetProgramNameIndexed, 16, -1, untouched), 0);
    EXPECT_STREQ(untouched, "zzzzzzz");
}

#if !defined(_WIN32)
/// Points the stored default at a fresh folder for the life of one test.
class StoredDefault : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-stored-XXXXXX";
        folder_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    void TearDown() override {
        std::remove(file().c_str());
        std::remove((folder_ + "/orlenaudio/Tarvo").c_str());
        std::remove((folder_ + "/orlenaudio").c_str());
        std::remove(folder_.c_str());
        unsetenv("XDG_CONFIG_HOME");
    }
    std::string file() const { return folder_ + "/orlenaudio/Tarvo/Default"; }
    void write(const std::vector<float>& positions, std::size_t extraBytes = 0) {
        std::system(("mkdir -p " + folder_ + "/orlenaudio/Tarvo").c_str());
        std::ofstream out(file(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(positions.data()),
                  static_cast<std::streamsize>(positions.size() * sizeof(float)));
        for (std::size_t i = 0; i < extraBytes; ++i) out.put('\0');
    }
    std::string folder_;
};

TEST_F(StoredDefault, AbsentFileStartsTheFactoryDefault) {
    VstInstance instance(pluginLibrary());
    EXPECT_EQ(instance.parameterDisplay(1), "-10.0");
    EXPECT_EQ(instance.effect().initialDelay, 2);
}

TEST_F(StoredDefault, TwentyTwoZerosStartEveryParameterAtItsMinimum) {
    write(std::vector<float>(22, 0.0f));
    VstInstance instance(pluginLibrary());
    EXPECT_EQ(instance.parameterDisplay(0), "Off");
    EXPECT_EQ(instance.parameterDisplay(1), "-40.0");
    EXPECT_EQ(instance.parameterDisplay(10), "Mono-L");
    EXPECT_EQ(instance.programName(), "Default");
}

TEST_F(StoredDefault, EightBytesChangeOnlyTheFirstTwoParameters) {
    write({1.0f, 0.5f});
    VstInstance instance(pluginLibrary());
    EXPECT_EQ(instance.parameterDisplay(0), "260");
    EXPECT_EQ(instance.parameterDisplay(1), "-20.0");
    EXPECT_EQ(instance.parameterDisplay(2), "Hard");
    EXPECT_EQ(instance.parameterDisplay(10), "Stereo");
}

TEST_F(StoredDefault, OverLongValueIsIgnored) {
    write(std::vector<float>(22, 0.0f), 1);
    VstInstance instance(pluginLibrary());
    EXPECT_EQ(instance.parameterDisplay(1), "-10.0");
}

TEST_F(StoredDefault, RowSelectingHqReportsTheHalfbandLatency) {
    std::vector<float> row = {0.365f, 0.75f, 1.0f, 0.092632f, 0.062632f, 0.295f, 1.0f, 0.5f,
                              0.5f, 0.0f, 1.0f, 0.712532f, 0.0f, 0.0f, 0.0f, 0.0f,
                              0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    write(row);
    VstInstance instance(pluginLibrary());
    EXPECT_EQ(instance.parameterDisplay(21), "HQ");
    EXPECT_EQ(instance.effect().initialDelay, 172);
}
#endif

}  // namespace
}  // namespace tarvo
