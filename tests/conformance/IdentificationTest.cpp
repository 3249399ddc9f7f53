// Texts handed to the host stay within their bounds and are terminated: the
// bytes past each bound keep what the host put there. Display texts do not
// change under a locale whose decimal separator is a comma.

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "conformance/ConformanceHost.h"

namespace tarvo::conformance {
namespace {

using test::pluginLibrary;

constexpr unsigned char kGuard = 0xA5;

/// Sends a text request into a buffer filled with guard bytes and checks
/// that the answer is terminated within `bound` characters and that nothing
/// past position `bound` was written. Returns the text.
std::string boundedText(VstInstance& plugin, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                        int bound, const std::string& what) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(bound) + 64, kGuard);
    plugin.dispatch(opcode, index, value, buffer.data());
    const void* end = std::memchr(buffer.data(), 0, static_cast<std::size_t>(bound) + 1);
    EXPECT_NE(end, nullptr) << what << ": not terminated within " << bound << " characters";
    for (std::size_t i = static_cast<std::size_t>(bound) + 1; i < buffer.size(); ++i) {
        if (buffer[i] != kGuard) {
            ADD_FAILURE() << what << ": byte " << i << " past the bound of " << bound << " written";
            break;
        }
    }
    if (!end) return std::string();
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

bool printable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

TEST(Identification, NamesWithinTheirBoundsAndTerminated) {
    VstInstance plugin(pluginLibrary());
    EXPECT_EQ(boundedText(plugin, effGetEffectName, 0, 0, kVstMaxEffectNameLen, "effect name"), "Tarvo");
    EXPECT_EQ(boundedText(plugin, effGetVendorString, 0, 0, kVstMaxVendorStrLen, "vendor"), "Hanvik");
    EXPECT_EQ(boundedText(plugin, effGetProductString, 0, 0, kVstMaxProductStrLen, "product"), "Tarvo");
    EXPECT_EQ(plugin.dispatch(effGetVendorVersion), 301);
    EXPECT_EQ(plugin.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(plugin.effect().uniqueID, 0x54525632);
}

TEST(Identification, ParameterAndProgramTextsWithinTheirBounds) {
    VstInstance plugin(pluginLibrary());
    std::mt19937 random(6);
    std::uniform_real_distribution<float> anyPosition(0.0f, 1.0f);
    for (int round = 0; round < 50; ++round) {
        for (int p = 0; p < kParams; ++p) {
            const std::string what = "parameter " + std::to_string(p) + " round " + std::to_string(round);
            const std::string name = boundedText(plugin, effGetParamName, p, 0, kVstMaxParamStrLen, what + " name");
            const std::string label = boundedText(plugin, effGetParamLabel, p, 0, kVstMaxParamStrLen, what + " label");
            const std::string display = boundedText(plugin, effGetParamDisplay, p, 0, kVstMaxParamStrLen, what + " display");
            EXPECT_FALSE(name.empty()) << what;
            EXPECT_FALSE(display.empty()) << what;
            EXPECT_TRUE(printable(name) && printable(label) && printable(display)) << what;
            plugin.setParameter(p, anyPosition(random));
        }
    }
    for (int n = 0; n < kPrograms; ++n) {
        const std::string what = "program " + std::to_string(n);
        const std::string indexed =
            boundedText(plugin, effGetProgramNameIndexed, n, -1, kVstMaxProgNameLen, what + " indexed name");
        plugin.dispatch(effSetProgram, 0, n);
        EXPECT_EQ(boundedText(plugin, effGetProgramName, 0, 0, kVstMaxProgNameLen, what + " name"), indexed);
        EXPECT_FALSE(indexed.empty()) << what;
    }
}

TEST(Identification, OverlongProgramNameIsCutAndTerminated) {
    VstInstance plugin(pluginLibrary());
    std::string longName(300, 'x');
    plugin.dispatch(effSetProgramName, 0, 0, longName.data());
    EXPECT_EQ(boundedText(plugin, effGetProgramName, 0, 0, kVstMaxProgNameLen, "renamed"),
              std::string(kVstMaxProgNameLen, 'x'));
}

TEST(Identification, OutOfRangeIndicesLeaveTheHostsBufferAlone) {
    VstInstance plugin(pluginLibrary());
    for (VstInt32 index : {-1, 22, 1000, INT32_MIN, INT32_MAX}) {
        for (VstInt32 opcode : {VstInt32(effGetParamName), VstInt32(effGetParamLabel), VstInt32(effGetParamDisplay)}) {
            std::vector<unsigned char> buffer(64, kGuard);
            plugin.dispatch(opcode, index, 0, buffer.data());
            EXPECT_EQ(buffer, std::vector<unsigned char>(64, kGuard)) << "opcode " << opcode << " index " << index;
        }
        EXPECT_EQ(plugin.getParameter(index), 0.0f) << index;
        plugin.setParameter(index, 0.5f);  // ignored
    }
    for (VstInt32 index : {-1, 16, INT32_MAX}) {
        std::vector<unsigned char> buffer(64, kGuard);
        EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, index, -1, buffer.data()), 0);
        EXPECT_EQ(buffer, std::vector<unsigned char>(64, kGuard)) << "program " << index;
    }
}

/// Switches LC_ALL to a locale whose decimal separator is a comma for the
/// life of the object; locale() is empty when none is installed.
class CommaLocale {
public:
    CommaLocale() {
        const char* saved = std::setlocale(LC_ALL, nullptr);
        saved_ = saved ? saved : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8",
                                 "nl_NL.UTF-8", "it_IT.UTF-8", "es_ES.UTF-8", "ru_RU.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
                locale_ = name;
                return;
            }
        }
        std::setlocale(LC_ALL, saved_.c_str());
    }
    ~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    const std::string& locale() const { return locale_; }

private:
    std::string saved_;
    std::string locale_;
};

std::vector<std::string> allDisplays(VstInstance& plugin) {
    std::vector<std::string> texts;
    for (int p = 0; p < kParams; ++p) texts.push_back(plugin.parameterDisplay(p));
    return texts;
}

TEST(Identification, DisplayTextsUnchangedUnderADecimalCommaLocale) {
    VstInstance plugin(pluginLibrary());
    std::mt19937 random(8);
    std::uniform_real_distribution<float> anyPosition(0.0f, 1.0f);
    std::vector<std::vector<float>> settings;
    std::vector<std::vector<std::string>> expected;
    for (int round = 0; round < 20; ++round) {
        std::vector<float> positions;
        for (int p = 0; p < kParams; ++p) positions.push_back(anyPosition(random));
        for (int p = 0; p < kParams; ++p) plugin.setParameter(p, positions[p]);
        settings.push_back(positions);
        expected.push_back(allDisplays(plugin));
    }
    bool sawDecimal = false;
    for (const auto& texts : expected)
        for (const std::string& text : texts) sawDecimal = sawDecimal || text.find('.') != std::string::npos;
    ASSERT_TRUE(sawDecimal) << "no display with a decimal point to compare";

    CommaLocale comma;
    if (comma.locale().empty())
        GTEST_SKIP() << "no locale with a decimal comma is installed (e.g. localedef -i de_DE -f UTF-8 de_DE.UTF-8)";
    for (std::size_t round = 0; round < settings.size(); ++round) {
        for (int p = 0; p < kParams; ++p) plugin.setParameter(p, settings[round][p]);
        EXPECT_EQ(allDisplays(plugin), expected[round]) << "under " << comma.locale() << ", round " << round;
    }
}

}  // namespace
}  // namespace tarvo::conformance
