#include "params/StoredDefault.h"

#include "params/ParamsTestDoubles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace tarvo {
namespace {

using testing::RecordingEngine;
using testing::RecordingHost;
using testing::ScopedConfigHome;

/// A controller built after the test has laid out its stored default.
struct Instance {
    RecordingHost host;
    RecordingEngine engine;
    ParameterController controller{engine, host};

    std::string display(int index) const {
        char text[9] = {};
        controller.getParameterDisplay(index, text);
        return text;
    }
};

std::vector<float> factoryRow(int program) {
    return std::vector<float>(factoryPrograms[program], factoryPrograms[program] + kParameterCount);
}

TEST(StoredDefaultFile, AbsentEmptyShortFullAndOverLong) {
    ScopedConfigHome config;
    unsigned char bytes[kStoredDefaultBytes];
    std::memset(bytes, 0xAB, sizeof bytes);
    EXPECT_EQ(readStoredDefault(bytes), 0u);
    EXPECT_EQ(bytes[0], 0xAB);

    config.store({});
    EXPECT_EQ(readStoredDefault(bytes), 0u);

    config.store({1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(readStoredDefault(bytes), 8u);
    EXPECT_EQ(bytes[7], 8);
    EXPECT_EQ(bytes[8], 0xAB) << "the rest is not touched";

    config.store(std::vector<unsigned char>(88, 7));
    EXPECT_EQ(readStoredDefault(bytes), 88u);
    EXPECT_EQ(bytes[87], 7);

    std::memset(bytes, 0xAB, sizeof bytes);
    config.store(std::vector<unsigned char>(89, 9));
    EXPECT_EQ(readStoredDefault(bytes), 0u);
    EXPECT_EQ(bytes[0], 0xAB) << "an over-long value is not used at all";
}

TEST(StoredDefaultFile, FallsBackToHomeConfigWhenXdgIsEmpty) {
    ScopedConfigHome config;  // restores XDG_CONFIG_HOME afterwards
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    // HOME/.config is config.root() when HOME is its parent and the folder is
    // named ".config": build that layout inside the private folder.
    const std::string home = config.root() + "/home";
    const std::string dotConfig = home + "/.config";
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dotConfig.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dotConfig + "/orlenaudio").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dotConfig + "/orlenaudio/Tarvo").c_str(), 0700), 0);
    const std::string file = dotConfig + "/orlenaudio/Tarvo/Default";
    {
        std::ofstream out(file, std::ios::binary);
        out.write("\x01\x02\x03\x04", 4);
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", "", 1);
    unsigned char bytes[kStoredDefaultBytes] = {};
    const std::size_t found = readStoredDefault(bytes);
    unsetenv("XDG_CONFIG_HOME");
    const std::size_t foundUnset = readStoredDefault(bytes);
    if (oldHome != nullptr) {
        setenv("HOME", savedHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    std::remove(file.c_str());
    rmdir((dotConfig + "/orlenaudio/Tarvo").c_str());
    rmdir((dotConfig + "/orlenaudio").c_str());
    rmdir(dotConfig.c_str());
    rmdir(home.c_str());
    EXPECT_EQ(found, 4u);
    EXPECT_EQ(foundUnset, 4u);
    EXPECT_EQ(bytes[3], 4);
}

TEST(StoredDefault, NoValueStartsWithTheFactoryDefault) {
    ScopedConfigHome config;
    Instance instance;
    for (int i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(instance.controller.programPosition(0, i), factoryPrograms[0][i]) << i;
    }
    EXPECT_EQ(instance.display(param::Threshold), "-10.0");
}

TEST(StoredDefault, TwentyTwoZerosStartEveryParameterAtItsMinimum) {
    ScopedConfigHome config;
    config.store(std::vector<unsigned char>(88, 0));
    Instance instance;
    const char* const shown[kParameterCount] = {
        "Off", "-40.0", "Soft", "1.0",    "50.0", "1.1",      "-12.0", "-12.0",
        "-12.0", "Off", "Mono-L", "1x",   "Sigma", "0",       "Pre",   "Ratio",
        "Off", "Off",   "High", "Internal", "1:1", "Fast"};
    for (int i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(instance.display(i), shown[i]) << i;
        EXPECT_EQ(instance.controller.getParameter(i), 0.0f) << i;
    }
    char name[25];
    instance.controller.getProgramName(name);
    EXPECT_STREQ(name, "Default");
    // The other programs are factory ones.
    EXPECT_EQ(instance.controller.programPosition(1, param::Threshold), factoryPrograms[1][1]);
}

TEST(StoredDefault, EightBytesChangeOnlyFilterAndThreshold) {
    ScopedConfigHome config;
    config.store(ScopedConfigHome::row({1.0f, 0.5f}));
    Instance instance;
    EXPECT_EQ(instance.display(param::Filter), "260");
    EXPECT_EQ(instance.display(param::Threshold), "-20.0");
    for (int i = 2; i < kParameterCount; ++i) {
        EXPECT_EQ(instance.controller.programPosition(0, i), factoryPrograms[0][i]) << i;
    }
    EXPECT_EQ(instance.display(param::Ratio), "4.0");
}

TEST(StoredDefault, PartialPositionReplacesOnlyItsFirstBytes) {
    ScopedConfigHome config;
    // Six bytes: Filter whole, and the two low bytes of Thresh.'s float.
    std::vector<unsigned char> bytes = ScopedConfigHome::row({0.0f});
    bytes.push_back(0x12);
    bytes.push_back(0x34);
    config.store(bytes);
    Instance instance;
    std::uint32_t bits;
    const float factory = factoryPrograms[0][param::Threshold];
    std::memcpy(&bits, &factory, sizeof bits);
    bits = (bits & 0xFFFF0000u) | 0x3412u;
    float expected;
    std::memcpy(&expected, &bits, sizeof expected);
    EXPECT_EQ(instance.controller.programPosition(0, param::Threshold), expected);
    EXPECT_EQ(instance.display(param::Filter), "Off");
}

TEST(StoredDefault, OverLongValueIsIgnored) {
    ScopedConfigHome config;
    std::vector<unsigned char> bytes(92, 0);
    config.store(bytes);
    Instance instance;
    EXPECT_EQ(instance.display(param::Filter), "120");
    EXPECT_EQ(instance.display(param::Threshold), "-10.0");
}

TEST(StoredDefault, OutOfRangeAndNanPositionsLoadAsEnds) {
    ScopedConfigHome config;
    std::vector<float> row = factoryRow(0);
    row[param::Filter] = std::numeric_limits<float>::quiet_NaN();
    row[param::Ratio] = 5.0f;
    row[param::Mode] = -3.0f;
    row[param::Knee] = std::numeric_limits<float>::infinity();
    config.store(ScopedConfigHome::row(row));
    Instance instance;
    EXPECT_EQ(instance.display(param::Filter), "Off");
    EXPECT_EQ(instance.controller.getParameter(param::Filter), 0.0f);
    EXPECT_EQ(instance.display(param::Ratio), "inf");
    EXPECT_EQ(instance.display(param::Mode), "Mono-L");
    EXPECT_EQ(instance.display(param::Knee), "Hard");
}

TEST(StoredDefault, RowSelectingHqStartsWithTheLongLatency) {
    ScopedConfigHome config;
    std::vector<float> row = factoryRow(0);
    row[param::OversamplingPath] = 1.0f;
    config.store(ScopedConfigHome::row(row));
    Instance instance;
    instance.controller.configureEngine();  // the end of the plug-in's construction
    EXPECT_EQ(instance.engine.last("setOversampling")->args, (std::vector<double>{4.0, 1.0}));
    EXPECT_EQ(instance.host.initialDelay, 172);
}

TEST(StoredDefault, StoredArTimeIsAppliedOnlyWhenNextSet) {
    ScopedConfigHome config;
    std::vector<float> row = factoryRow(0);
    row[param::ArTime] = 1.0f;  // "1/10"
    row[param::Attack] = 1.0f;
    config.store(ScopedConfigHome::row(row));
    Instance instance;
    EXPECT_EQ(instance.display(param::ArTime), "1/10");
    EXPECT_EQ(instance.display(param::Attack), "100.0") << "still the \"1:1\" range";
    instance.controller.setProgram(0);  // reloading applies the switch
    EXPECT_EQ(instance.display(param::Attack), "10.00");
}

TEST(StoredDefault, SwitchingAwayAndBackKeepsTheStoredRow) {
    ScopedConfigHome config;
    config.store(ScopedConfigHome::row({0.0f, 0.25f}));
    Instance instance;
    instance.controller.setProgram(5);
    instance.controller.setProgram(0);
    EXPECT_EQ(instance.display(param::Filter), "Off");
    EXPECT_EQ(instance.display(param::Threshold), "-30.0");
}

}  // namespace
}  // namespace tarvo
