// Every parameter's named values, typed two ways: as tarvo-render's --set
// takes them (the tool's PluginSettings driving the built VST library) and as
// an LV2 control port holds them (the port mapping). Each must land on a
// position whose value runs the named value: the option itself ("Alpha" runs
// Alpha), the end itself ("inf", "Off"), the ratio's own gain-computer row
// (4.0 runs 4.0, not 3.9), a number within a float position of itself.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <string>
#include <vector>

#include "PluginSettings.h"
#include "ToolError.h"
#include "engine/GainComputer.h"
#include "lv2/ControlValue.h"
#include "params/ParameterTable.h"
#include "params/ValueMapping.h"
#include "vsthost/VstInstance.h"

namespace {

using namespace tarvo;

struct Named {
    int index;
    std::string text;  ///< as typed after --set NAME=
    float port;        ///< the LV2 control port's value for it
    double runs;       ///< what the engine must run, in parameter units
    int arTime = 0;    ///< "A,R Time" option in force
};

std::vector<Named> namedValues() {
    std::vector<Named> rows = {
        {param::Filter, "Off", 40.0f, 40.0},
        {param::Filter, "120", 120.0f, 120.0},
        {param::Filter, "260 Hz", 260.0f, 260.0},
        {param::Threshold, "-20.0", -20.0f, -20.0},
        {param::Threshold, "-12.3 dB", -12.3f, -12.3},
        {param::Knee, "Soft", 0.0f, 0.0},
        {param::Knee, "0.5", 0.5f, 0.5},
        {param::Knee, "Hard", 1.0f, 1.0},
        {param::Attack, "10.0", 10.0f, 10.0},
        {param::Attack, "500", 500.0f, 100.0},  // outside "1:1": the nearer end
        {param::Attack, "500", 500.0f, 500.0, 2},
        {param::Attack, "0.25", 0.25f, 0.25, 4},
        {param::Release, "109.5", 109.5f, 109.5},
        {param::Release, "5.00", 5.0f, 50.0},
        {param::Release, "7.25", 7.25f, 7.25, 3},
        {param::Ratio, "1.1", 1.1f, 1.1},
        {param::Ratio, "2.0", 2.0f, 2.0},
        {param::Ratio, "4.0", 4.0f, 4.0},
        {param::Ratio, "5.6", 5.6f, 5.6},
        {param::Ratio, "7.3 : 1", 7.3f, 7.3},
        {param::Ratio, "10.8", 10.8f, 10.8},
        {param::Ratio, "inf", 11.0f, 11.0},
        {param::LimiterCeiling, "-0.3", -0.3f, -0.3},
        {param::Makeup, "3.5", 3.5f, 3.5},
        {param::MidScoop, "-6.0", -6.0f, -6.0},
        {param::DryWet, "Off", 0.0f, 0.0},
        {param::DryWet, "50", 50.0f, 50.0},
        {param::DryWet, "99", 99.0f, 99.0},
        {param::Input, "6", 1.0f, 1.0},  // "+6" typed without its sign
    };
    // Every option of every choice parameter, by its name and its number.
    const auto table = makeParameterDescriptors();
    for (int i = 0; i < kParameterCount; ++i) {
        const ParameterDescriptor& d = table[i];
        if (d.options() == nullptr) continue;
        for (int k = 0; k <= static_cast<int>(d.maximum()); ++k)
            rows.push_back({i, d.options()[k], static_cast<float>(k), static_cast<double>(k)});
    }
    return rows;
}

/// Descriptors with Attack and Release in the ranges of an "A,R Time" option.
struct Ranged {
    explicit Ranged(int arTime) {
        setArTimeRanges(table[param::Attack], table[param::Release], arTime);
    }
    std::array<ParameterDescriptor, kParameterCount> table = makeParameterDescriptors();
};

/// What the engine runs at a position, checked against the named value: a
/// choice, an end or a ratio row exactly; another number within one float
/// position step of the range.
void expectRuns(int index, float position, const Named& row, const std::string& path) {
    const Ranged ranged(row.arTime);
    const ParameterDescriptor& d = ranged.table[index];
    const double value = d.toValue(position);
    const double runs = runningValue(d, index, value);
    const std::string where = path + " " + d.name() + "=" + row.text + " at " +
                              std::to_string(position);
    const bool exact = d.options() != nullptr || index == param::Ratio ||
                       row.runs == d.minimum() || row.runs == d.maximum();
    const double tolerance = exact ? 1e-12 : (d.maximum() - d.minimum()) * 0x1p-23;
    EXPECT_NEAR(runs, row.runs, tolerance) << where;
    if (index == param::AttackMode) {
        EXPECT_EQ(runsAlphaMode(value), row.runs == 1.0) << where;
    }
    if (index == param::Ratio && row.runs < 11.0) {
        // The gain computer's own row for the ratio handed to it.
        GainComputer computer;
        computer.design(1.0, 1.0, gainComputerRatio(value));
        EXPECT_EQ(computer.tableRow, static_cast<int>(std::lround(row.runs * 10.0)) - 11) << where;
    }
    if (index == param::Ratio && row.runs == 11.0) {
        EXPECT_EQ(value, 11.0) << where;  // "inf" itself
    }
}

TEST(TypedValue, RenderSetAndLv2PortsRunTheNamedValue) {
    vsthost::VstLibrary library(TARVO_PLUGIN_PATH);
    for (const Named& row : namedValues()) {
        {
            vsthost::VstInstance instance(library);
            instance.dispatch(effOpen);
            render::PluginSettings settings(instance);
            if (row.arTime != 0)
                settings.setByDisplay(param::ArTime, makeParameterDescriptors()[param::ArTime]
                                                         .options()[row.arTime]);
            const float position = settings.setByDisplay(row.index, row.text);
            EXPECT_EQ(instance.getParameter(row.index), position) << row.text;
            expectRuns(row.index, position, row, "--set");
        }
        const Ranged ranged(row.arTime);
        float position = -1.0f;
        ASSERT_TRUE(lv2::positionForPortValue(ranged.table[row.index], row.index, row.port, position));
        expectRuns(row.index, position, row, "LV2 port");
    }
}

TEST(TypedValue, TextsNamingNothingAreRefusedAndLeaveTheParameter) {
    // A word that is no option or end, a number beyond a range other than the
    // times', a non-finite number: --set fails and the position stays; a NaN
    // port is ignored.
    vsthost::VstLibrary library(TARVO_PLUGIN_PATH);
    vsthost::VstInstance instance(library);
    instance.dispatch(effOpen);
    render::PluginSettings settings(instance);
    const std::pair<int, const char*> refused[] = {
        {param::AttackMode, "Beta"}, {param::Threshold, "-50"}, {param::Ratio, "12"},
        {param::Ratio, "nan"},       {param::Knee, "inf"},      {param::Mode, "7"},
        {param::Filter, ""}};
    for (const auto& [index, text] : refused) {
        const float before = instance.getParameter(index);
        EXPECT_THROW(settings.setByDisplay(index, text), render::ToolError) << text;
        EXPECT_EQ(instance.getParameter(index), before) << text;
    }
    const Ranged ranged(0);
    float position = 0.25f;
    EXPECT_FALSE(lv2::positionForPortValue(ranged.table[param::Ratio], param::Ratio,
                                           std::numeric_limits<float>::quiet_NaN(), position));
    EXPECT_EQ(position, 0.25f);
}

}  // namespace
