#include "params/ParameterDescriptor.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace tarvo {
namespace {

const char* const kSeven[7] = {"a", "b", "c", "d", "e", "f", "g"};

/// The display text of value, read back as a string.
std::string display(const ParameterDescriptor& d, double value) {
    char text[9];
    std::memset(text, '#', sizeof text);
    d.displayText(value, text);
    EXPECT_NE(std::memchr(text, '\0', sizeof text), nullptr) << "display not terminated";
    return std::string(text);
}

TEST(ParameterDescriptorMapping, EndsAreExactAndClamped) {
    const ParameterDescriptor ratio("Ratio", ": 1", 1.1, 11.0, Scale::Linear, nullptr, "inf", 1,
                                    nullptr);
    EXPECT_EQ(ratio.toValue(0.0f), 1.1);
    EXPECT_EQ(ratio.toValue(1.0f), 11.0);
    EXPECT_EQ(ratio.toValue(-0.5f), 1.1);
    EXPECT_EQ(ratio.toValue(7.0f), 11.0);
    EXPECT_EQ(ratio.toValue(-std::numeric_limits<float>::infinity()), 1.1);
    EXPECT_EQ(ratio.toValue(std::numeric_limits<float>::infinity()), 11.0);
    // Linear in between, computed from the widened position.
    EXPECT_EQ(ratio.toValue(0.25f), 1.1 + 9.9 * 0.25);
    EXPECT_EQ(ratio.toNormalized(1.1), 0.0f);
    EXPECT_EQ(ratio.toNormalized(11.0), 1.0f);
}

TEST(ParameterDescriptorMapping, NanPositionLoadsAsMinimum) {
    const ParameterDescriptor thresh("Thresh.", "dB", -40.0, 0.0, Scale::Decibel, nullptr, nullptr,
                                     1, nullptr);
    const double value = thresh.toValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(value, -40.0);
    EXPECT_EQ(display(thresh, value), "-40.0");
    const ParameterDescriptor mode("Mode", nullptr, 0.0, 6.0, Scale::Linear, nullptr, nullptr, 0,
                                   kSeven);
    EXPECT_EQ(mode.optionIndex(mode.toValue(std::numeric_limits<float>::quiet_NaN())), 0);
    // Even a NaN handed straight to the readers stays defined.
    EXPECT_EQ(mode.optionIndex(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(display(mode, std::numeric_limits<double>::quiet_NaN()), "a");
}

TEST(ParameterDescriptorMapping, RoundTripThroughPositionHoldsToSinglePrecision) {
    const ParameterDescriptor release("Release", "ms", 50.0, 1000.0, Scale::Linear, nullptr, nullptr,
                                      1, nullptr);
    for (int i = 0; i <= 1000; ++i) {
        const float position = static_cast<float>(i) / 1000.0f;
        EXPECT_EQ(release.toNormalized(release.toValue(position)), position) << i;
    }
}

TEST(ParameterDescriptorMapping, ChoiceValuesAreNotRounded) {
    const ParameterDescriptor mode("Mode", nullptr, 0.0, 6.0, Scale::Linear, nullptr, nullptr, 0,
                                   kSeven);
    const double value = mode.toValue(0.18f);
    EXPECT_NEAR(value, 1.08, 1e-7);
    EXPECT_EQ(mode.toNormalized(value), 0.18f);
    EXPECT_EQ(mode.optionIndex(value), 1);
    EXPECT_EQ(display(mode, value), "b");
    // floor(v + 0.5): halves round up.
    EXPECT_EQ(mode.optionIndex(1.4999), 1);
    EXPECT_EQ(mode.optionIndex(1.5), 2);
    EXPECT_EQ(mode.optionIndex(6.0), 6);
}

TEST(ParameterDescriptorMapping, EngineValueOfDecibelIsAmplitudeRatio) {
    const ParameterDescriptor makeup("Makeup", "dB", -12.0, 12.0, Scale::Decibel, nullptr, nullptr,
                                     1, nullptr);
    EXPECT_DOUBLE_EQ(makeup.engineValue(0.0), 1.0);
    EXPECT_DOUBLE_EQ(makeup.engineValue(-20.0), 0.1);
    EXPECT_NEAR(makeup.engineValue(6.0), 1.9952623149688795, 1e-15);
    const ParameterDescriptor knee("Knee", nullptr, 0.0, 1.0, Scale::Linear, "Soft", "Hard", 1,
                                   nullptr);
    EXPECT_EQ(knee.engineValue(0.37), 0.37);
}

TEST(ParameterDescriptorDisplay, RuleOrder) {
    const ParameterDescriptor knee("Knee", nullptr, 0.0, 1.0, Scale::Linear, "Soft", "Hard", 1,
                                   nullptr);
    EXPECT_EQ(display(knee, 0.0), "Soft");
    EXPECT_EQ(display(knee, 1.0), "Hard");
    EXPECT_EQ(display(knee, 1e-300), "0.0");  // only the exact minimum is "Soft"
    EXPECT_EQ(display(knee, 0.96), "1.0");    // only the exact maximum is "Hard"
    // Options win over minText.
    const ParameterDescriptor both("X", nullptr, 0.0, 6.0, Scale::Linear, "Off", nullptr, 0, kSeven);
    EXPECT_EQ(display(both, 0.0), "a");
}

TEST(ParameterDescriptorDisplay, IntegerDisplayRoundsHalfUp) {
    const ParameterDescriptor dryWet("Dry/Wet", "%", 0.0, 99.0, Scale::Linear, "Off", nullptr, 0,
                                     nullptr);
    EXPECT_EQ(display(dryWet, 49.5), "50");
    EXPECT_EQ(display(dryWet, 49.49), "49");
    EXPECT_EQ(display(dryWet, 99.0), "99");
    EXPECT_EQ(display(dryWet, 0.0), "Off");
    EXPECT_EQ(display(dryWet, 0.4), "0");
    const ParameterDescriptor signedInt("S", nullptr, -100.0, 100.0, Scale::Linear, nullptr, nullptr,
                                        0, nullptr);
    EXPECT_EQ(display(signedInt, -2.5), "-2");  // floor(-2.0)
    EXPECT_EQ(display(signedInt, -2.51), "-3");
}

TEST(ParameterDescriptorDisplay, FixedDecimalsKeepSignAndRounding) {
    const ParameterDescriptor limiter("Limiter", "dB", -12.0, 0.0, Scale::Decibel, nullptr, nullptr,
                                      1, nullptr);
    EXPECT_EQ(display(limiter, -10.0), "-10.0");
    EXPECT_EQ(display(limiter, -0.004), "-0.0");
    EXPECT_EQ(display(limiter, -0.05), "-0.1");  // -0.05 is a little above the half in binary
    EXPECT_EQ(display(limiter, 0.25), "0.2");    // exact half: to even, as "%.1f" does
    EXPECT_EQ(display(limiter, 0.35), "0.3");    // 0.35 is below the half in binary
    const ParameterDescriptor release("Release", "ms", 50.0, 1000.0, Scale::Linear, nullptr, nullptr,
                                      1, nullptr);
    EXPECT_EQ(display(release, 1000.0), "1000.0");
    const ParameterDescriptor attack("Attack", "ms", 0.1, 10.0, Scale::Linear, nullptr, nullptr, 2,
                                     nullptr);
    EXPECT_EQ(display(attack, 1.0), "1.00");
    EXPECT_EQ(display(attack, 0.125), "0.12");
}

TEST(ParameterDescriptorDisplay, FixedDecimalsMatchTheCFormatter) {
    // Oracle: "%.*f" in the C locale, over random values and both precisions
    // the table uses, including many exact and near halves.
    std::setlocale(LC_ALL, "C");
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> wide(-1200.0, 1200.0);
    for (int precision = 1; precision <= 2; ++precision) {
        const ParameterDescriptor d("N", nullptr, -1e6, 1e6, Scale::Linear, nullptr, nullptr,
                                    precision, nullptr);
        for (int i = 0; i < 20000; ++i) {
            double value = wide(random);
            if (i % 4 == 1) value = std::round(value * 200.0) / 200.0;  // halves at the last digit
            if (i % 4 == 2) value = std::nextafter(std::round(value * 20.0) / 20.0, 0.0);
            char expected[9];
            std::snprintf(expected, sizeof expected, "%.*f", precision, value);
            ASSERT_EQ(display(d, value), expected) << value;
        }
    }
}

TEST(ParameterDescriptorDisplay, TextsAreCutToEightCharacters) {
    const char* const longOptions[2] = {"ABCDEFGHIJKL", "x"};
    const ParameterDescriptor choice("C", nullptr, 0.0, 1.0, Scale::Linear, nullptr, nullptr, 0,
                                     longOptions);
    EXPECT_EQ(display(choice, 0.0), "ABCDEFGH");
    const ParameterDescriptor big("B", nullptr, 0.0, 1e9, Scale::Linear, nullptr, nullptr, 1,
                                  nullptr);
    EXPECT_EQ(display(big, 123456789.25), "12345678");
    EXPECT_EQ(display(big, -1234567.5), "-1234567");
    const ParameterDescriptor bigInt("I", nullptr, 0.0, 1e12, Scale::Linear, nullptr, nullptr, 0,
                                     nullptr);
    EXPECT_EQ(display(bigInt, 123456789012.0), "12345678");  // beyond int range, still no UB
}

TEST(ParameterDescriptorDisplay, NumbersWriteOnlyUpToTheirTerminator) {
    // Like a bounded formatter: the bytes behind the terminator stay.
    const ParameterDescriptor thresh("Thresh.", "dB", -40.0, 0.0, Scale::Decibel, nullptr, nullptr,
                                     1, nullptr);
    char text[9];
    std::memset(text, '#', sizeof text);
    thresh.displayText(-1.0, text);
    EXPECT_EQ(std::string(text, 9), std::string("-1.0\0####", 9));
    // Copied texts are padded with zeros up to the terminator at [8].
    const ParameterDescriptor knee("Knee", nullptr, 0.0, 1.0, Scale::Linear, "Soft", "Hard", 1,
                                   nullptr);
    std::memset(text, '#', sizeof text);
    knee.displayText(0.0, text);
    EXPECT_EQ(std::string(text, 9), std::string("Soft\0\0\0\0\0", 9));
    knee.displayText(0.5, nullptr);  // no crash
}

TEST(ParameterDescriptorDisplay, IndependentOfTheProcessLocale) {
    const char* const previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (german == nullptr) german = std::setlocale(LC_ALL, "de_DE.utf8");
    if (german == nullptr) {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", -10.0);
    EXPECT_STREQ(check, "-10,0") << "the locale in force should use a decimal comma";
    const ParameterDescriptor thresh("Thresh.", "dB", -40.0, 0.0, Scale::Decibel, nullptr, nullptr,
                                     1, nullptr);
    const ParameterDescriptor attack("Attack", "ms", 0.1, 10.0, Scale::Linear, nullptr, nullptr, 2,
                                     nullptr);
    const ParameterDescriptor filter("Filter", "Hz", 40.0, 260.0, Scale::Linear, "Off", nullptr, 0,
                                     nullptr);
    const std::string a = display(thresh, -10.0);
    const std::string b = display(attack, 1.0);
    const std::string c = display(filter, 1234.0);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(a, "-10.0");
    EXPECT_EQ(b, "1.00");
    EXPECT_EQ(c, "1234");
}

TEST(ParameterDescriptorTexts, CopyTextBoundsAndNulls) {
    char text[9];
    std::memset(text, '#', sizeof text);
    copyText(text, "Thresh.", 8);
    EXPECT_EQ(std::string(text, 9), std::string("Thresh.\0\0", 9));
    copyText(text, "Saturation", 8);
    EXPECT_EQ(std::string(text, 9), std::string("Saturati\0", 9));
    copyText(text, nullptr, 8);
    EXPECT_EQ(std::string(text, 9), std::string(9, '\0'));
    copyText(nullptr, "x", 8);  // no crash
}

TEST(ParameterDescriptorFields, EmptyLabelIsNone) {
    const ParameterDescriptor empty("Knee", "", 0.0, 1.0, Scale::Linear, nullptr, nullptr, 1,
                                    nullptr);
    EXPECT_EQ(empty.label(), nullptr);
    const ParameterDescriptor hz("Filter", "Hz", 40.0, 260.0, Scale::Linear, "Off", nullptr, 0,
                                 nullptr);
    EXPECT_STREQ(hz.label(), "Hz");
    EXPECT_FALSE(hz.changed());
}

TEST(ParameterDescriptorFields, AssignRaisesTheMarkAndConsumeClearsIt) {
    ParameterDescriptor d("Knee", nullptr, 0.0, 1.0, Scale::Linear, "Soft", "Hard", 1, nullptr);
    EXPECT_FALSE(d.consumeChange());
    d.assign(0.3);
    EXPECT_TRUE(d.changed());
    EXPECT_EQ(d.value(), 0.3);
    EXPECT_TRUE(d.consumeChange());
    EXPECT_FALSE(d.consumeChange());
    d.markChanged();
    EXPECT_TRUE(d.consumeChange());
    EXPECT_EQ(d.value(), 0.3);
}

TEST(ParameterDescriptorFields, SetRangeKeepsTheValue) {
    ParameterDescriptor attack("Attack", "ms", 1.0, 100.0, Scale::Linear, nullptr, nullptr, 1,
                               nullptr);
    attack.assign(10.0);
    attack.setRange(0.1, 10.0, 2);
    EXPECT_EQ(attack.value(), 10.0);
    EXPECT_EQ(attack.minimum(), 0.1);
    EXPECT_EQ(attack.maximum(), 10.0);
    EXPECT_EQ(attack.precision(), 2);
    EXPECT_EQ(attack.toValue(1.0f), 10.0);
}

}  // namespace
}  // namespace tarvo
