#include "params/ParameterTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tarvo {
namespace {

struct Shown {
    std::string name;
    std::string atZero;  // display at position 0
    std::string atOne;   // display at position 1
    std::string label;
};

std::string displayAt(const ParameterDescriptor& d, float position) {
    char text[9] = {};
    d.displayText(d.toValue(position), text);
    return text;
}

TEST(ParameterTable, NamesEndsAndLabelsAsTheHostShowsThem) {
    const Shown expected[kParameterCount] = {
        {"Filter", "Off", "260", "Hz"},
        {"Thresh.", "-40.0", "0.0", "dB"},
        {"Knee", "Soft", "Hard", ""},
        {"Attack", "1.0", "100.0", "ms"},
        {"Release", "50.0", "1000.0", "ms"},
        {"Ratio", "1.1", "inf", ": 1"},
        {"Limiter", "-12.0", "0.0", "dB"},
        {"Makeup", "-12.0", "12.0", "dB"},
        {"MidScoop", "-12.0", "12.0", "dB"},
        {"Dry/Wet", "Off", "99", "%"},
        {"Mode", "Mono-L", "Stereo", ""},
        {"Upsampl.", "1x", "8x", ""},
        {"Att.Mode", "Sigma", "Alpha", ""},
        {"Input", "0", "-6", "dB"},
        {"Limiter", "Pre", "Off", ""},
        {"Saturat.", "Ratio", "On", ""},
        {"Bypass", "Off", "On", ""},
        {"Render8x", "Off", "On", ""},
        {"Dither", "High", "Low", ""},
        {"Sd.chain", "Internal", "External", ""},
        {"A,R Time", "1:1", "1/10", ""},
        {"Upsmpl.", "Fast", "HQ", ""},
    };
    const auto descriptors = makeParameterDescriptors();
    for (int i = 0; i < kParameterCount; ++i) {
        const ParameterDescriptor& d = descriptors[i];
        EXPECT_STREQ(d.name(), expected[i].name.c_str()) << i;
        EXPECT_EQ(displayAt(d, 0.0f), expected[i].atZero) << i;
        EXPECT_EQ(displayAt(d, 1.0f), expected[i].atOne) << i;
        EXPECT_EQ(std::string(d.label() ? d.label() : ""), expected[i].label) << i;
        EXPECT_FALSE(d.changed()) << i;
    }
}

TEST(ParameterTable, ScalesAndRanges) {
    const auto d = makeParameterDescriptors();
    for (int i : {param::Threshold, param::LimiterCeiling, param::Makeup, param::MidScoop}) {
        EXPECT_EQ(d[i].scale(), Scale::Decibel) << i;
    }
    int decibel = 0;
    for (const auto& p : d) decibel += p.scale() == Scale::Decibel;
    EXPECT_EQ(decibel, 4);
    EXPECT_EQ(d[param::Ratio].minimum(), 1.1);
    EXPECT_EQ(d[param::Ratio].maximum(), 11.0);
    // Every choice parameter starts at 0 and lists one name per option.
    for (int i = param::Mode; i < kParameterCount; ++i) {
        ASSERT_NE(d[i].options(), nullptr) << i;
        EXPECT_EQ(d[i].minimum(), 0.0) << i;
        EXPECT_EQ(d[i].precision(), 0) << i;
        const int last = static_cast<int>(d[i].maximum());
        for (int k = 0; k <= last; ++k) {
            EXPECT_EQ(d[i].optionIndex(k), k);
            EXPECT_GT(std::strlen(d[i].options()[k]), 0u) << i << " " << k;
        }
    }
    for (int i = 0; i < param::Mode; ++i) EXPECT_EQ(d[i].options(), nullptr) << i;
}

TEST(ParameterTable, EdgeDisplays) {
    const auto d = makeParameterDescriptors();
    EXPECT_EQ(displayAt(d[param::Input], 0.25f), "+6");
    EXPECT_EQ(displayAt(d[param::Input], 0.6f), "+12");  // value 2.4
    EXPECT_EQ(displayAt(d[param::LimiterPosition], 0.0f), "Pre");
    EXPECT_EQ(displayAt(d[param::LimiterPosition], 0.2499f), "Pre");
    EXPECT_EQ(displayAt(d[param::LimiterPosition], 0.25f), "Post");
    EXPECT_EQ(displayAt(d[param::LimiterPosition], 0.5f), "Post");
    EXPECT_EQ(displayAt(d[param::LimiterPosition], 1.0f), "Off");
    EXPECT_EQ(displayAt(d[param::AttackMode], 0.7f), "Alpha");
    EXPECT_EQ(displayAt(d[param::Filter], 0.0001f), "40");  // not the exact minimum
    EXPECT_EQ(displayAt(d[param::Mode], 0.18f), "2 Mono");
}

TEST(ParameterTable, SharedOptionLists) {
    const auto d = makeParameterDescriptors();
    EXPECT_EQ(d[param::Bypass].options(), d[param::Render8x].options());
    EXPECT_EQ(d[param::Bypass].options(), options::offOn);
    EXPECT_NE(d[param::Dither].options(), d[param::Saturation].options());
}

TEST(ParameterTable, ArTimeRowsAndStartingRanges) {
    ASSERT_EQ(ArTimeRanges.size(), 5u);
    const double attackScale[5] = {1.0, 0.1, 10.0, 1.0, 0.1};
    const int attackDecimals[5] = {1, 2, 1, 1, 2};
    const double releaseScale[5] = {1.0, 1.0, 1.0, 0.1, 0.1};
    const int releaseDecimals[5] = {1, 1, 1, 2, 2};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(ArTimeRanges[k].attackScale, attackScale[k]) << k;
        EXPECT_EQ(ArTimeRanges[k].attackPrecision, attackDecimals[k]) << k;
        EXPECT_EQ(ArTimeRanges[k].releaseScale, releaseScale[k]) << k;
        EXPECT_EQ(ArTimeRanges[k].releasePrecision, releaseDecimals[k]) << k;
    }
    const auto d = makeParameterDescriptors();
    EXPECT_EQ(d[param::Attack].minimum(), 1.0);
    EXPECT_EQ(d[param::Attack].maximum(), 100.0);
    EXPECT_EQ(d[param::Release].minimum(), 50.0);
    EXPECT_EQ(d[param::Release].maximum(), 1000.0);
}

}  // namespace
}  // namespace tarvo
