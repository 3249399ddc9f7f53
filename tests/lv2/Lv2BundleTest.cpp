// The LV2 bundle as an LV2 host sees it, through lilv: what it lists, and
// the audio of its instances against the VST library at the same settings.
//
// Every comparison runs an LV2 instance beside a VST instance of the built
// VST library, created in pairs: the noise generators of an instance are
// seeded by a per-library count of instances, so the n-th instance of each
// library dithers alike and single-precision outputs must agree bit for bit.

#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "conformance/AllocationCounter.h"
#include "lv2/GainHistoryDisplay.h"
#include "lv2/InlineDisplayApi.h"
#include "lv2/Lv2Host.h"
#include "lv2/Lv2Ports.h"
#include "support/PluginUnderTest.h"

namespace tarvo::lv2test {
namespace {

constexpr float kRate = 44100.0f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Lv2World& world() {
    static Lv2World instance;
    return instance;
}

/// Main input (noise bursts over two sines, different per side) and a
/// side-chain key (bursts at other times), deterministic.
struct Signal {
    explicit Signal(std::size_t frames) : channels(4, std::vector<float>(frames)) {
        std::uint32_t seed = 12345;
        auto noise = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        };
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const bool burst = (i / 2205) % 3 == 0;
            const bool keyBurst = (i / 3000) % 2 == 1;
            channels[0][i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 110 * t)) +
                             (burst ? 0.6f * noise() : 0.0f);
            channels[1][i] = static_cast<float>(0.25 * std::sin(2 * M_PI * 2750 * t)) +
                             (burst ? 0.5f * noise() : 0.0f);
            channels[2][i] = keyBurst ? 0.9f * noise() : 0.01f * noise();
            channels[3][i] = keyBurst ? 0.7f * noise() : 0.0f;
        }
    }
    std::size_t frames() const { return channels[0].size(); }
    std::vector<std::vector<float>> channels;
};

/// The control port index of parameter symbol, as the parameter number.
int parameterIndex(const char* symbol) {
    LilvNode* name = lilv_new_string(world().world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(world().plugin(), name);
    lilv_node_free(name);
    return static_cast<int>(lilv_port_get_index(world().plugin(), port)) - lv2::firstControl;
}

/// An LV2 instance and a VST instance, started alike.
struct Pair {
    explicit Pair(float rate = kRate, const LV2_Feature* const* features = nullptr)
        : vst(test::pluginLibrary()), lv2(world(), rate, features) {
        vst.start(rate, 512);
    }

    /// The same setting on both sides: the port value on the LV2 side, the
    /// position it stands for on the VST side.
    void set(const char* symbol, float value, float position) {
        lv2.control(symbol) = value;
        vst.setParameter(parameterIndex(symbol), position);
    }

    vsthost::VstInstance vst;
    Lv2Instance lv2;
};

/// Output of both sides for one stretch of frames.
struct Outputs {
    explicit Outputs(std::size_t frames)
        : vst(2, std::vector<float>(frames)), lv2(2, std::vector<float>(frames)) {}
    std::vector<std::vector<float>> vst;
    std::vector<std::vector<float>> lv2;
};

/// Runs frames [begin, begin + count) of signal through both instances.
void runBlock(Pair& pair, Signal& signal, Outputs& out, std::size_t begin, std::uint32_t count) {
    float* in[4];
    for (int c = 0; c < 4; ++c) in[c] = signal.channels[c].data() + begin;
    float* vstOut[2] = {out.vst[0].data() + begin, out.vst[1].data() + begin};
    float* lv2Out[2] = {out.lv2[0].data() + begin, out.lv2[1].data() + begin};
    pair.vst.processReplacing(in, vstOut, static_cast<VstInt32>(count));
    pair.lv2.run(in, lv2Out, count);
}

/// Frames of the first difference between the two sides, or -1.
long firstDifference(const Outputs& out) {
    for (int c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < out.vst[c].size(); ++i)
            if (std::memcmp(&out.vst[c][i], &out.lv2[c][i], sizeof(float)) != 0)
                return static_cast<long>(i);
    return -1;
}

/// Block lengths a host may use, cycled: single frames, zero, odd, long.
const std::uint32_t kBlocks[] = {1, 511, 0, 64, 4096, 333, 1024, 7};

void renderInBlocks(Pair& pair, Signal& signal, Outputs& out) {
    std::size_t done = 0;
    for (int b = 0; done < signal.frames(); ++b) {
        const std::uint32_t count = static_cast<std::uint32_t>(
            std::min<std::size_t>(kBlocks[b % std::size(kBlocks)], signal.frames() - done));
        runBlock(pair, signal, out, done, count);
        done += count;
    }
}

std::string nodeText(const LilvNode* node) { return node ? lilv_node_as_string(node) : ""; }

/// The number a display text shows, NaN for a word.
double shownNumber(const std::string& text) {
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' ? number : NAN;
}

/// Whether value, printed as the VST display printed it (as many decimals),
/// reads as that display.
bool showsAs(float value, const std::string& display) {
    const auto point = display.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(display.size() - point - 1);
    return std::fabs(value - shownNumber(display)) <= 0.5 * std::pow(10.0, -decimals) + 1e-6;
}

/// How a host shows a control port: its name, its unit (null: none, "ratio":
/// a unit of the bundle's own), a logarithmic travel, a switch.
struct ControlLook {
    const char* name;
    const char* unit;
    bool logarithmic;
    bool toggled;
};

/// In parameter order.
const ControlLook kControlLooks[kParameterCount] = {
    {"Key high-pass", LV2_UNITS__hz, true, false},
    {"Threshold", LV2_UNITS__db, false, false},
    {"Knee", LV2_UNITS__coef, false, false},
    {"Attack", LV2_UNITS__ms, true, false},
    {"Release", LV2_UNITS__ms, true, false},
    {"Ratio", "ratio", true, false},
    {"Limiter ceiling", LV2_UNITS__db, false, false},
    {"Make-up gain", LV2_UNITS__db, false, false},
    {"Mid scoop", LV2_UNITS__db, false, false},
    {"Dry mix", LV2_UNITS__pc, false, false},
    {"Channel mode", nullptr, false, false},
    {"Oversampling", nullptr, false, false},
    {"Attack mode", nullptr, false, false},
    {"Input gain", nullptr, false, false},
    {"Limiter position", nullptr, false, false},
    {"Saturation", nullptr, false, false},
    {"Bypass", nullptr, false, true},
    {"Render at 8x", nullptr, false, true},
    {"Dither", nullptr, false, false},
    {"Side-chain", nullptr, false, true},
    {"Time ranges", nullptr, false, false},
    {"Oversampling quality", nullptr, false, false},
};

TEST(Lv2Bundle, ListsTarvoWithThePortsAndPresetsOfTheVstLibrary) {
    const LilvPlugin* plugin = world().plugin();
    ASSERT_NE(plugin, nullptr) << "no Tarvo on LV2_PATH " TARVO_LV2_PATH;
    LilvNode* name = lilv_plugin_get_name(plugin);
    EXPECT_EQ(nodeText(name), "Tarvo");
    lilv_node_free(name);
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), static_cast<std::uint32_t>(lv2::portCount));

    Pair pair;
    vsthost::VstInstance& vst = pair.vst;
    auto portAt = [&](std::uint32_t index) { return lilv_plugin_get_port_by_index(plugin, index); };
    auto is = [&](std::uint32_t index, const char* type) {
        return lilv_port_is_a(plugin, portAt(index), world().uri(type));
    };
    auto has = [&](std::uint32_t index, const char* property) {
        return lilv_port_has_property(plugin, portAt(index), world().uri(property));
    };

    // Audio: the main pair and a side-chain pair in, a pair out.
    for (std::uint32_t i = lv2::inLeft; i <= lv2::outRight; ++i) {
        EXPECT_TRUE(is(i, LV2_CORE__AudioPort)) << i;
        EXPECT_TRUE(is(i, i < lv2::outLeft ? LV2_CORE__InputPort : LV2_CORE__OutputPort)) << i;
        const bool sideChain = i == lv2::sideChainLeft || i == lv2::sideChainRight;
        // The header of lv2-dev 1.18 has no macro for this property yet.
        EXPECT_EQ(has(i, LV2_CORE_PREFIX "isSideChain"), sideChain) << i;
    }

    // One control per parameter with a readable name; the values, ends,
    // option texts and default as the VST generic window shows them.
    LilvNode* unitSymbol = lilv_new_uri(world().world(), LV2_UNITS__symbol);
    std::set<std::string> names;
    for (std::uint32_t p = 0; p < lv2::portCount; ++p) {
        LilvNode* portName = lilv_port_get_name(plugin, portAt(p));
        EXPECT_TRUE(names.insert(nodeText(portName)).second) << "two ports named " << nodeText(portName);
        lilv_node_free(portName);
    }
    for (int index = 0; index < kParameterCount; ++index) {
        SCOPED_TRACE(vst.parameterName(index));
        const ControlLook& look = kControlLooks[index];
        const std::uint32_t p = lv2::firstControl + static_cast<std::uint32_t>(index);
        EXPECT_TRUE(is(p, LV2_CORE__ControlPort) && is(p, LV2_CORE__InputPort));
        LilvNode* portName = lilv_port_get_name(plugin, portAt(p));
        EXPECT_EQ(nodeText(portName), look.name);
        lilv_node_free(portName);
        EXPECT_EQ(has(p, LV2_PORT_PROPS__logarithmic), look.logarithmic);
        EXPECT_EQ(has(p, LV2_CORE__toggled), look.toggled);
        LilvNode* unit = lilv_port_get(plugin, portAt(p), world().uri(LV2_UNITS__unit));
        if (look.unit == nullptr) {
            EXPECT_EQ(unit, nullptr);
        } else if (std::string(look.unit) == "ratio") {
            EXPECT_TRUE(unit != nullptr && lilv_node_is_blank(unit));
        } else {
            EXPECT_EQ(nodeText(unit), look.unit);
        }

        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, portAt(p), &def, &min, &max);
        const float minimum = lilv_node_as_float(min), maximum = lilv_node_as_float(max);
        const float defaultValue = lilv_node_as_float(def);
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        if (look.logarithmic) {
            EXPECT_GT(minimum, 0.0f);
        }
        std::vector<std::pair<float, std::string>> points;
        LilvScalePoints* scalePoints = lilv_port_get_scale_points(plugin, portAt(p));
        LILV_FOREACH (scale_points, i, scalePoints) {
            const LilvScalePoint* point = lilv_scale_points_get(scalePoints, i);
            points.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(point)),
                                lilv_node_as_string(lilv_scale_point_get_label(point)));
        }
        lilv_scale_points_free(scalePoints);
        auto pointLabel = [&](float value) {
            for (const auto& point : points)
                if (point.first == value) return point.second;
            return std::string();
        };
        const std::string programDisplay = vst.parameterDisplay(index);

        if (has(p, LV2_CORE__enumeration) || look.toggled) {
            // Options 0 .. maximum, each labelled with the VST's text ("Input"
            // in dB), a menu or a switch.
            EXPECT_NE(has(p, LV2_CORE__enumeration), look.toggled);
            EXPECT_EQ(has(p, LV2_CORE__integer), !look.toggled);
            EXPECT_EQ(minimum, 0.0f);
            EXPECT_EQ(points.size(), static_cast<std::size_t>(maximum) + 1);
            EXPECT_TRUE(!look.toggled || maximum == 1.0f);
            const std::string unitText = index == param::Input ? " dB" : "";
            for (int option = 0; option <= static_cast<int>(maximum); ++option) {
                vst.setParameter(index, static_cast<float>(option) / maximum);
                EXPECT_EQ(pointLabel(static_cast<float>(option)), vst.parameterDisplay(index) + unitText);
            }
            EXPECT_EQ(pointLabel(defaultValue), programDisplay + unitText);
            continue;
        }
        ASSERT_NE(unit, nullptr);
        // The unit reads like the VST label ("Knee" has none: a coefficient).
        LilvNode* symbol = lilv_world_get(world().world(), unit, unitSymbol, nullptr);
        if (index != param::Knee) {
            EXPECT_EQ(nodeText(symbol), vst.parameterLabel(index));
        }
        lilv_node_free(symbol);
        lilv_node_free(unit);
        if (std::isnan(shownNumber(programDisplay))) {
            EXPECT_EQ(pointLabel(defaultValue), programDisplay);
        } else {
            EXPECT_TRUE(showsAs(defaultValue, programDisplay)) << defaultValue << " " << programDisplay;
        }

        // Ends: the VST's ends, over all "A,R Time" ranges for the times;
        // a word at an end ("Off", "inf", ...) is the end's scale point.
        const bool time = index == param::Attack || index == param::Release;
        float low = INFINITY, high = -INFINITY;
        for (int range = 0; range < (time ? 5 : 1); ++range) {
            if (time) vst.setParameter(param::ArTime, range / 4.0f);
            for (const float position : {0.0f, 1.0f}) {
                vst.setParameter(index, position);
                const std::string display = vst.parameterDisplay(index);
                const float end = position == 0.0f ? minimum : maximum;
                if (std::isnan(shownNumber(display))) {
                    EXPECT_EQ(pointLabel(end), display);
                } else {
                    (position == 0.0f ? low : high) =
                        static_cast<float>(position == 0.0f ? std::fmin(low, shownNumber(display))
                                                            : std::fmax(high, shownNumber(display)));
                }
            }
        }
        if (time) vst.setParameter(param::ArTime, 0.0f);
        if (std::isfinite(low)) {
            EXPECT_FLOAT_EQ(minimum, low);
        }
        if (std::isfinite(high)) {
            EXPECT_FLOAT_EQ(maximum, high);
        }
    }
    lilv_node_free(unitSymbol);

    // Latency out and the free-wheeling flag, by their designations.
    const LilvPort* latency = lilv_plugin_get_port_by_designation(
        plugin, world().uri(LV2_CORE__OutputPort), world().uri(LV2_CORE__latency));
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin, latency), static_cast<std::uint32_t>(lv2::latency));
    const LilvPort* freeWheel = lilv_plugin_get_port_by_designation(
        plugin, world().uri(LV2_CORE__InputPort), world().uri(LV2_CORE__freeWheeling));
    ASSERT_NE(freeWheel, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin, freeWheel), static_cast<std::uint32_t>(lv2::freeWheel));

    // The host's enabled switch and the meters come after every older port,
    // all optional to connect; the meters in dB.
    const LilvPort* enabled = lilv_plugin_get_port_by_designation(
        plugin, world().uri(LV2_CORE__InputPort), world().uri(LV2_CORE_PREFIX "enabled"));
    ASSERT_NE(enabled, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin, enabled), static_cast<std::uint32_t>(lv2::enabled));
    EXPECT_TRUE(has(lv2::enabled, LV2_CORE__toggled));
    struct Meter {
        lv2::Port port;
        const char* symbol;
        const char* name;
    };
    for (const Meter& meter : {Meter{lv2::gainReduction, "gain_reduction", "Gain reduction"},
                               Meter{lv2::inputLevel, "input_level", "Input level"},
                               Meter{lv2::outputLevel, "output_level", "Output level"}}) {
        SCOPED_TRACE(meter.symbol);
        EXPECT_TRUE(is(meter.port, LV2_CORE__ControlPort) && is(meter.port, LV2_CORE__OutputPort));
        EXPECT_EQ(nodeText(lilv_port_get_symbol(plugin, portAt(meter.port))), meter.symbol);
        LilvNode* meterName = lilv_port_get_name(plugin, portAt(meter.port));
        EXPECT_EQ(nodeText(meterName), meter.name);
        lilv_node_free(meterName);
        LilvNode* unit = lilv_port_get(plugin, portAt(meter.port), world().uri(LV2_UNITS__unit));
        EXPECT_EQ(nodeText(unit), LV2_UNITS__db);
        lilv_node_free(unit);
    }
    for (std::uint32_t p = lv2::enabled; p < lv2::portCount; ++p)
        EXPECT_TRUE(has(p, LV2_CORE__connectionOptional)) << p;

    // Sample rates the engine refuses give no instance.
    for (const double rate : {999.0, 4.1e6, static_cast<double>(kNaN)})
        EXPECT_EQ(lilv_plugin_instantiate(plugin, rate, nullptr), nullptr) << rate;

    // The 16 programs as presets with their names.
    const std::vector<const LilvNode*> presets = world().presets();
    ASSERT_EQ(presets.size(), 16u);
    for (int n = 0; n < 16; ++n) EXPECT_EQ(world().label(presets[n]), vst.programNameIndexed(n));
}

TEST(Lv2Bundle, TheManualsPortTableNamesThePortsAsLilvReadsThem) {
    // The LV2 section's rows "| index | `symbol` | name | VST name | values |";
    // in the values, every 'N "text"' of a menu or switch is one of the
    // port's labelled points.
    std::ifstream manual(TARVO_MANUAL);
    ASSERT_TRUE(manual) << TARVO_MANUAL;
    const std::regex row(R"(^\| (\d+) \| `(\w+)` \| ([^|]+) \| [^|]+ \| ([^|]+) \|$)");
    const std::regex option(R"re((\d+) "([^"]+)")re");
    const LilvPlugin* plugin = world().plugin();
    std::set<std::uint32_t> listed;
    bool inLv2Section = false;
    for (std::string line; std::getline(manual, line);) {
        if (line.rfind("#", 0) == 0) inLv2Section = line == "### LV2";
        std::smatch m;
        if (!inLv2Section || !std::regex_match(line, m, row)) continue;
        const auto index = static_cast<std::uint32_t>(std::stoul(m[1]));
        SCOPED_TRACE(line);
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        ASSERT_NE(port, nullptr);
        listed.insert(index);
        EXPECT_EQ(nodeText(lilv_port_get_symbol(plugin, port)), m[2].str());
        LilvNode* name = lilv_port_get_name(plugin, port);
        EXPECT_EQ(nodeText(name), m[3].str());
        lilv_node_free(name);
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        const std::string values = m[4];
        for (std::sregex_iterator o(values.begin(), values.end(), option), end; o != end; ++o) {
            bool found = false;
            LILV_FOREACH (scale_points, i, points) {
                const LilvScalePoint* point = lilv_scale_points_get(points, i);
                found |= lilv_node_as_float(lilv_scale_point_get_value(point)) == std::stof((*o)[1]) &&
                         nodeText(lilv_scale_point_get_label(point)) == (*o)[2].str();
            }
            EXPECT_TRUE(found) << (*o)[0];
        }
        lilv_scale_points_free(points);
    }
    // Every port but the six audio ports.
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(lv2::portCount - lv2::firstControl));
}

struct Override {
    const char* symbol;
    float value;     ///< the LV2 port value
    float position;  ///< the VST position it stands for
};

struct AudioCase {
    const char* name;
    int program;
    std::vector<Override> overrides;
    int latency;
    float rate = kRate;
};

// Modes, factors, Fast and HQ, the external key, the "A,R Time" ranges; each
// program besides, restored on the LV2 side through lilv's state API.
const std::vector<AudioCase>& audioCases() {
    static const std::vector<AudioCase> cases = [] {
        std::vector<AudioCase> all = {
            {"M/S 2x HQ, limiter Post, saturation On", 0,
             {{"mode", 5, 5 / 6.0f}, {"upsampling", 1, 1 / 3.0f}, {"oversampling_path", 1, 1},
              {"limiter_position", 1, 0.5f}, {"saturation", 2, 1}}, 172},
            {"Side 8x Fast, dither Low, Alpha, threshold -20", 3,
             {{"mode", 4, 4 / 6.0f}, {"upsampling", 3, 1}, {"dither", 2, 1},
              {"attack_mode", 1, 1}, {"threshold", -20, 0.5f}}, 2},
            {"Mid. 1x HQ, filter Off, dry 49.5 %, limiter Off", 1,
             {{"mode", 3, 0.5f}, {"upsampling", 0, 0}, {"oversampling_path", 1, 1},
              {"filter", 40, 0}, {"dry_wet", 49.5f, 0.5f}, {"limiter_position", 2, 1}}, 2},
            {"R-S.chn 4x HQ, ratio inf, knee 0.5, input -12", 2,
             {{"mode", 2, 2 / 6.0f}, {"upsampling", 2, 2 / 3.0f}, {"oversampling_path", 1, 1},
              {"ratio", 11, 1}, {"knee", 0.5f, 0.5f}, {"input", 3, 0.75f}}, 172},
            {"external key, Stereo 4x HQ", 0,
             {{"side_chain", 1, 1}, {"oversampling_path", 1, 1}}, 172},
            {"external key, M/S 2x, makeup +6, scoop -6", 5,
             {{"side_chain", 1, 1}, {"mode", 5, 5 / 6.0f}, {"upsampling", 1, 1 / 3.0f},
              {"makeup", 6, 0.75f}, {"mid_scoop", -6, 0.25f}}, 2},
            {"external key, 2 Mono 1x, dither Off, bypass", 6,
             {{"side_chain", 1, 1}, {"mode", 1, 1 / 6.0f}, {"upsampling", 0, 0},
              {"dither", 1, 0.5f}, {"bypass", 1, 1}}, 2},
            {"A,R Time 1*10,1:1: attack 505 ms, release 525 ms", 0,
             {{"ar_time", 2, 0.5f}, {"attack", 505, 0.5f}, {"release", 525, 0.5f}}, 2},
            {"A,R Time 1/10: attack 5.05 ms, release 52.5 ms", 8,
             {{"ar_time", 4, 1}, {"attack", 5.05f, 0.5f}, {"release", 52.5f, 0.5f}}, 2},
            // A VST host's programs adapt "Upsampl." to the rate, LV2
            // presets do not: the factor is set on both sides.
            {"96 kHz, 2x HQ", 0, {{"upsampling", 1, 1 / 3.0f}, {"oversampling_path", 1, 1}}, 172,
             96000.0f},
            {"8 kHz, 8x, external key", 13, {{"upsampling", 3, 1}, {"side_chain", 1, 1}}, 2, 8000.0f},
            {"lowest rate, 1 kHz", 0, {{"upsampling", 0, 0}}, 2, 1000.0f},
        };
        for (int program = 0; program < 16; ++program)
            all.push_back({"program", program, {}, 2});
        return all;
    }();
    return cases;
}

TEST(Lv2Bundle, AudioEqualsTheVstLibraryAtTheSameSettings) {
    const std::vector<const LilvNode*> presets = world().presets();
    ASSERT_EQ(presets.size(), 16u);
    Signal signal(11025);
    for (const AudioCase& c : audioCases()) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.program));
        Pair pair(c.rate);
        pair.vst.dispatch(effSetProgram, 0, c.program);
        pair.lv2.restorePreset(presets[static_cast<std::size_t>(c.program)]);
        for (const Override& o : c.overrides) pair.set(o.symbol, o.value, o.position);
        Outputs out(signal.frames());
        renderInBlocks(pair, signal, out);
        EXPECT_EQ(firstDifference(out), -1);
        EXPECT_EQ(pair.lv2.control("latency"), static_cast<float>(c.latency));
        EXPECT_EQ(pair.vst.effect().initialDelay, c.latency);
    }
}

TEST(Lv2Bundle, FreeWheelingSwitchesRender8x) {
    // "Render8x" On at 1x: 8x while the host free-wheels (offline), 1x
    // otherwise. Without dither two instances at 1x give equal samples, so
    // one with "Render8x" Off shows where the free-wheeling blocks differ.
    Pair render8x, plain;
    for (Pair* pair : {&render8x, &plain}) {
        pair->set("upsampling", 0, 0);
        pair->set("dither", 1, 0.5f);
    }
    render8x.set("render8x", 1, 1);
    Signal signal(512 * 12);
    Outputs out(signal.frames()), plainOut(signal.frames());
    for (std::size_t block = 0; block < 12; ++block) {
        const bool offline = block >= 4 && block < 8;
        render8x.lv2.control("free_wheeling") = offline ? 1.0f : 0.0f;
        render8x.vst.host().answers().processLevel =
            offline ? kVstProcessLevelOffline : kVstProcessLevelRealtime;
        runBlock(render8x, signal, out, block * 512, 512);
        runBlock(plain, signal, plainOut, block * 512, 512);
    }
    EXPECT_EQ(firstDifference(out), -1);
    auto blockEqual = [&](std::size_t block) {
        return std::memcmp(out.lv2[0].data() + block * 512, plainOut.lv2[0].data() + block * 512,
                           512 * sizeof(float)) == 0;
    };
    for (std::size_t block = 0; block < 4; ++block) EXPECT_TRUE(blockEqual(block)) << block;
    for (std::size_t block = 4; block < 8; ++block) EXPECT_FALSE(blockEqual(block)) << block;
}

TEST(Lv2Bundle, TakesBadControlsEmptyBlocksAndReconnectedPortsLikeAHostNeedsIt) {
    // Two instances side by side, each beside its VST counterpart.
    Pair first, second;
    second.set("mode", 5, 5 / 6.0f);
    Signal signal(512 * 10);
    Outputs out(signal.frames()), secondOut(signal.frames());

    // Ports connected in reverse order, then a block of 0 frames: nothing
    // written, the latency reported.
    std::vector<float> sentinel(16, 7.0f);
    for (std::uint32_t port = lv2::outRight + 1; port-- > 0;) first.lv2.connect(port, sentinel.data());
    first.lv2.control("latency") = -1.0f;
    first.lv2.run(0);
    EXPECT_EQ(sentinel, std::vector<float>(16, 7.0f));
    EXPECT_EQ(first.lv2.control("latency"), 2.0f);

    struct Step {
        const char* what;
        std::vector<Override> controls;
    };
    const Step steps[] = {
        {"defaults", {}},
        {"NaN changes nothing", {{"threshold", kNaN, 0.75f}, {"mode", kNaN, 1}}},
        {"out of range is clamped",
         {{"threshold", 1000, 1}, {"mode", 99, 1}, {"ratio", kInf, 1}, {"attack", -kInf, 0},
          {"release", -1e9f, 0}, {"upsampling", -5, 0}, {"ar_time", 7, 1}}},
        {"NaN after a change keeps it", {{"mode", kNaN, 1}, {"threshold", kNaN, 1}}},
        {"external key", {{"side_chain", 1, 1}, {"mode", 6.4f, 1}}},
        {"in place", {}},
        {"side-chain disconnected", {}},
        {"internal key, side-chain disconnected", {{"side_chain", 0.2f, 0}}},
    };
    std::size_t begin = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        for (const Override& o : step.controls) {
            first.lv2.control(o.symbol) = o.value;
            if (!std::isnan(o.value)) first.vst.setParameter(parameterIndex(o.symbol), o.position);
        }
        const std::string what = step.what;
        if (what == "in place") {
            // LV2 output buffers may be the input buffers.
            std::vector<std::vector<float>> buffers = {
                std::vector<float>(signal.channels[0].begin() + begin, signal.channels[0].begin() + begin + 512),
                std::vector<float>(signal.channels[1].begin() + begin, signal.channels[1].begin() + begin + 512)};
            float* in[4] = {buffers[0].data(), buffers[1].data(), signal.channels[2].data() + begin,
                            signal.channels[3].data() + begin};
            float* vstIn[4] = {signal.channels[0].data() + begin, signal.channels[1].data() + begin,
                               in[2], in[3]};
            float* vstOut[2] = {out.vst[0].data() + begin, out.vst[1].data() + begin};
            first.vst.processReplacing(vstIn, vstOut, 512);
            first.lv2.run(in, in, 512);
            std::copy(buffers[0].begin(), buffers[0].end(), out.lv2[0].begin() + begin);
            std::copy(buffers[1].begin(), buffers[1].end(), out.lv2[1].begin() + begin);
        } else if (what.find("disconnected") != std::string::npos) {
            // A missing side-chain reads as silence.
            std::vector<float> silence(512, 0.0f);
            float* in[4] = {signal.channels[0].data() + begin, signal.channels[1].data() + begin,
                            nullptr, nullptr};
            float* vstIn[4] = {in[0], in[1], silence.data(), silence.data()};
            float* vstOut[2] = {out.vst[0].data() + begin, out.vst[1].data() + begin};
            float* lv2Out[2] = {out.lv2[0].data() + begin, out.lv2[1].data() + begin};
            first.vst.processReplacing(vstIn, vstOut, 512);
            first.lv2.run(in, lv2Out, 512);
        } else {
            runBlock(first, signal, out, begin, 512);
        }
        runBlock(second, signal, secondOut, begin, 512);
        begin += 512;
    }
    out.vst[0].resize(begin), out.vst[1].resize(begin), out.lv2[0].resize(begin), out.lv2[1].resize(begin);
    EXPECT_EQ(firstDifference(out), -1);
    secondOut.vst[0].resize(begin), secondOut.vst[1].resize(begin);
    secondOut.lv2[0].resize(begin), secondOut.lv2[1].resize(begin);
    EXPECT_EQ(firstDifference(secondOut), -1);
    for (const auto& channel : out.lv2)
        for (const float sample : channel) ASSERT_TRUE(std::isfinite(sample));
}

TEST(Lv2Bundle, RunAllocatesNothingWhileSettingsChange) {
    Pair pair;
    Signal signal(512);
    Outputs out(signal.frames());
    float* in[4];
    for (int c = 0; c < 4; ++c) in[c] = signal.channels[c].data();
    float* lv2Out[2] = {out.lv2[0].data(), out.lv2[1].data()};
    // The first run applies every port; then changes that keep the
    // oversampling factor and the rate.
    const std::pair<const char*, float> changes[] = {
        {"threshold", -30}, {"mode", 5}, {"ratio", 11}, {"attack", 50}, {"ar_time", 2},
        {"oversampling_path", 1}, {"side_chain", 1}, {"enabled", 0}};
    std::vector<float*> ports;
    for (const auto& change : changes) ports.push_back(&pair.lv2.control(change.first));
    conformance::AllocationScope scope;
    pair.lv2.run(in, lv2Out, 512);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        *ports[i] = changes[i].second;
        pair.lv2.run(in, lv2Out, 512);
    }
    EXPECT_EQ(scope.allocations(), 0u);
}


/// Settings under which the output is the compressed signal alone: no
/// limiter, saturation, make-up, scoop, dry share or dither; a hard knee;
/// the default program's times (attack 10.2 ms, release 110 ms).
const std::vector<Override> kPlainCompressor = {
    {"limiter_position", 2, 1}, {"saturation", 1, 0.5f}, {"makeup", 0, 0.5f},
    {"mid_scoop", 0, 0.5f},     {"dry_wet", 0, 0},       {"dither", 1, 0.5f},
    {"knee", 1, 1}};

/// Root mean square of frames [begin, end) of a channel.
double rms(const std::vector<float>& channel, std::size_t begin, std::size_t end) {
    double sum = 0.0;
    for (std::size_t i = begin; i < end; ++i) sum += static_cast<double>(channel[i]) * channel[i];
    return std::sqrt(sum / static_cast<double>(end - begin));
}

TEST(Lv2Meters, GainReductionReadsWhatTheAudioShows) {
    // A steady 441 Hz sine (100 samples a period, peak exactly the
    // amplitude) for 2 s; the meter against the gain the output shows over
    // the last half second, and against the hard-knee curve's reduction
    // (peak - T)(1 - 1/R) within 1.5 dB (the detector reads a sine a little
    // below its peak). A quiet sine reads no reduction.
    struct Case {
        float thresholdDb, ratio, amplitudeDb;
    };
    const Case cases[] = {{-30, 4, -6}, {-20, 2, -3}, {-24, 11, -6}, {-10, 4, -40}, {-20, 8, -30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.thresholdDb) + " dB, " + std::to_string(c.ratio) + ":1, sine " +
                     std::to_string(c.amplitudeDb) + " dB");
        Pair pair;
        Lv2Instance& lv2 = pair.lv2;
        for (const Override& o : kPlainCompressor) lv2.control(o.symbol) = o.value;
        lv2.control("threshold") = c.thresholdDb;
        lv2.control("ratio") = c.ratio;
        const std::size_t frames = 88200, block = 441;
        std::vector<float> in(frames), silence(frames, 0.0f);
        const double amplitude = std::pow(10.0, c.amplitudeDb / 20.0);
        for (std::size_t i = 0; i < frames; ++i)
            in[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * static_cast<double>(i) / 100.0));
        std::vector<std::vector<float>> out(2, std::vector<float>(frames));
        for (std::size_t done = 0; done < frames; done += block) {
            float* inputs[4] = {in.data() + done, in.data() + done, silence.data(), silence.data()};
            float* outputs[2] = {out[0].data() + done, out[1].data() + done};
            lv2.run(inputs, outputs, block);
        }
        const float reading = lv2.control("gain_reduction");
        const double shown = 20 * std::log10(rms(in, frames / 2, frames) / rms(out[0], frames / 2, frames));
        EXPECT_NEAR(reading, std::max(0.0, shown), 0.05);
        const double ratio = c.ratio > 10.9f ? INFINITY : c.ratio;
        const double curve = std::max(0.0, (c.amplitudeDb - c.thresholdDb) * (1 - 1 / ratio));
        EXPECT_NEAR(reading, curve, 1.5);
        EXPECT_NEAR(lv2.control("input_level"), c.amplitudeDb, 1e-3);
        EXPECT_NEAR(lv2.control("output_level"), c.amplitudeDb - shown, 0.5);
    }
}

TEST(Lv2Meters, FallBackAt20DecibelsASecondToTheirFloors) {
    Pair pair;
    Lv2Instance& lv2 = pair.lv2;
    for (const Override& o : kPlainCompressor) lv2.control(o.symbol) = o.value;
    lv2.control("threshold") = -30;
    const std::uint32_t block = 4410;  // 0.1 s: 2 dB of fall
    std::vector<float> loud(block), silence(block, 0.0f), out(block);
    for (std::uint32_t i = 0; i < block; ++i) loud[i] = 0.5f * std::sin(2 * M_PI * i / 100.0);
    float* outputs[2] = {out.data(), out.data()};
    auto run = [&](std::vector<float>& in) {
        float* inputs[4] = {in.data(), in.data(), silence.data(), silence.data()};
        lv2.run(inputs, outputs, block);
        return std::vector<float>{lv2.control("input_level"), lv2.control("output_level"),
                                  lv2.control("gain_reduction")};
    };
    for (int b = 0; b < 5; ++b) run(loud);
    std::vector<float> before = run(loud);
    EXPECT_NEAR(before[0], -6.0206f, 1e-3);
    EXPECT_GT(before[2], 10.0f);
    // The output falls silent within the first silent block (latency 2).
    before = run(silence);
    for (int b = 0; b < 60; ++b) {
        SCOPED_TRACE(b);
        const std::vector<float> now = run(silence);
        for (int level = 0; level < 2; ++level)
            EXPECT_NEAR(now[level], std::max(-80.0f, before[level] - 2.0f), 1e-3) << level;
        EXPECT_LE(now[2], before[2]);
        EXPECT_GE(now[2], std::max(0.0f, before[2] - 2.0f) - 1e-3f);
        before = now;
    }
    EXPECT_EQ(before, (std::vector<float>{-80.0f, -80.0f, 0.0f}));
}

TEST(Lv2Enabled, OffPassesTheDelayedInputWithACrossfadeBothWays) {
    // One instance switched off and on again beside one whose enabled and
    // meter ports are not connected (always on, the VST's audio); blocks
    // of 700 frames, longer than the stretches a fade is blended in.
    struct Case {
        float hq;
        int latency;
    };
    for (const Case& c : {Case{0, 2}, Case{1, 172}}) {
        SCOPED_TRACE(c.latency);
        Pair switched, reference;
        for (Pair* pair : {&switched, &reference}) {
            for (const Override& o : kPlainCompressor) pair->set(o.symbol, o.value, o.position);
            pair->set("threshold", -30, 0.25f);
            pair->set("oversampling_path", c.hq, c.hq);
        }
        for (std::uint32_t port = lv2::enabled; port < lv2::portCount; ++port)
            reference.lv2.connect(port, nullptr);
        Signal signal(700 * 16);
        Outputs out(signal.frames()), referenceOut(signal.frames());
        const std::size_t off = 700 * 4, on = 700 * 10, fade = 441;
        for (std::size_t begin = 0; begin < signal.frames(); begin += 700) {
            switched.lv2.control("enabled") = begin >= off && begin < on ? 0.0f : 1.0f;
            runBlock(switched, signal, out, begin, 700);
            runBlock(reference, signal, referenceOut, begin, 700);
        }
        EXPECT_EQ(firstDifference(referenceOut), -1) << "unconnected ports change the audio";
        for (int ch = 0; ch < 2; ++ch) {
            SCOPED_TRACE(ch);
            const std::vector<float>& y = out.lv2[ch];
            const std::vector<float>& processed = referenceOut.lv2[ch];
            const std::vector<float>& in = signal.channels[static_cast<std::size_t>(ch)];
            auto passed = [&](std::size_t i) { return in[i - static_cast<std::size_t>(c.latency)]; };
            // The share of the processed signal, where the two differ enough
            // to tell; NaN elsewhere.
            auto share = [&](std::size_t i) {
                const float apart = processed[i] - passed(i);
                return std::fabs(apart) > 1e-3f ? (y[i] - passed(i)) / apart : kNaN;
            };
            std::size_t exact = 0;
            float last = 1.0f, lastOn = 0.0f;
            for (std::size_t i = 200; i < signal.frames(); ++i) {
                if (i < off || i >= on + fade) {
                    exact += y[i] == processed[i];
                } else if (i >= off + fade && i < on) {
                    exact += y[i] == passed(i);
                } else {
                    // A fade: a monotone blend with no step larger than the
                    // two signals' own steps and the blend's.
                    const float w = share(i);
                    if (!std::isnan(w)) {
                        ASSERT_GE(w, -1e-3f) << i;
                        ASSERT_LE(w, 1.0f + 1e-3f) << i;
                        if (i < on) {
                            EXPECT_LE(w, last + 1e-3f) << i;
                            last = w;
                        } else {
                            EXPECT_GE(w, lastOn - 1e-3f) << i;
                            lastOn = w;
                        }
                    }
                    const float step = std::fabs(y[i] - y[i - 1]);
                    const float bound = std::max(std::fabs(processed[i] - processed[i - 1]),
                                                 std::fabs(passed(i) - passed(i - 1))) +
                                        std::fabs(processed[i] - passed(i)) / fade * 1.01f + 1e-6f;
                    EXPECT_LE(step, bound) << i;
                }
            }
            EXPECT_EQ(exact, signal.frames() - 200 - 2 * fade);
            EXPECT_LT(last, 0.01f);
            EXPECT_GT(lastOn, 0.99f);
        }
    }
}

TEST(Lv2InlineDisplay, DrawsTheGainReductionOfTheLastSeconds) {
    // 2 s of a sine 17 dB into reduction: 40 slices of 50 ms, a redraw asked
    // for each; the picture 128 wide (one column a slice, 6.4 s) shows them
    // in the newest 40 columns as bars as deep as the meter's reading over
    // 24 dB, and nothing in the columns before.
    using lv2::GainHistoryDisplay;
    int redraws = 0;
    lv2::Lv2InlineDisplay queueDraw{&redraws, [](void* count) { ++*static_cast<int*>(count); }};
    const LV2_Feature feature{lv2::kInlineDisplayQueueDraw, &queueDraw};
    const LV2_Feature* features[] = {&feature, nullptr};
    Pair pair(kRate, features);
    Lv2Instance& lv2 = pair.lv2;
    const auto* display = static_cast<const lv2::Lv2InlineDisplayInterface*>(
        lv2.extensionData(lv2::kInlineDisplayInterface));
    ASSERT_NE(display, nullptr);
    for (const Override& o : kPlainCompressor) lv2.control(o.symbol) = o.value;
    lv2.control("threshold") = -30;
    lv2.control("ratio") = 4;
    std::vector<float> sine(441), silence(441, 0.0f), out(441);
    for (std::size_t i = 0; i < sine.size(); ++i) sine[i] = 0.5f * std::sin(2 * M_PI * i / 100.0);
    float* inputs[4] = {sine.data(), sine.data(), silence.data(), silence.data()};
    float* outputs[2] = {out.data(), out.data()};
    for (int block = 0; block < 200; ++block) lv2.run(inputs, outputs, 441);
    EXPECT_EQ(redraws, 40);
    const float reductionDb = lv2.control("gain_reduction");
    ASSERT_GT(reductionDb, 15.0f);

    const lv2::Lv2InlineDisplayImageSurface* image = display->render(lv2.handle(), 128, 100);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, 128);
    ASSERT_EQ(image->height, 42);  // a third of the width, within the 100 allowed
    ASSERT_EQ(image->stride, 128 * 4);
    auto pixel = [&](int x, int y) {
        std::uint32_t argb;
        std::memcpy(&argb, image->data + y * image->stride + x * 4, 4);
        return argb;
    };
    auto barRows = [&](int x) {
        int rows = 0;
        while (rows < image->height && pixel(x, rows) == GainHistoryDisplay::kBar) ++rows;
        for (int y = rows; y < image->height; ++y) EXPECT_NE(pixel(x, y), GainHistoryDisplay::kBar) << x << " " << y;
        return rows;
    };
    for (int x = 0; x < 88; ++x) EXPECT_EQ(barRows(x), 0) << x;
    for (int x = 90; x < 128; ++x) EXPECT_NEAR(barRows(x), reductionDb / 24 * 42, 1.0) << x;
    // Opaque everywhere; a grid line at 6 dB (row 10.5 of 42) where no bar is.
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) ASSERT_EQ(pixel(x, y) >> 24, 0xffu);
    EXPECT_EQ(pixel(0, 11), GainHistoryDisplay::kGrid);
    EXPECT_EQ(pixel(0, 12), GainHistoryDisplay::kBackground);

    // Sizes a host may ask for.
    EXPECT_EQ(display->render(lv2.handle(), 0, 10), nullptr);
    EXPECT_EQ(display->render(lv2.handle(), 10, 0), nullptr);
    image = display->render(lv2.handle(), 300, 20);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 300);
    EXPECT_EQ(image->height, 20);
    EXPECT_EQ(pixel(299, 0), GainHistoryDisplay::kBar);
    EXPECT_NE(pixel(0, 0), GainHistoryDisplay::kBar);
}

#if defined(TARVO_RENDER) && defined(TARVO_LV2APPLY)

/// Writes channels as a float WAV file.
void writeWav(const std::string& path, const std::vector<const std::vector<float>*>& channels) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(kRate);
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> frames(channels[0]->size() * channels.size());
    for (std::size_t i = 0; i < channels[0]->size(); ++i)
        for (std::size_t c = 0; c < channels.size(); ++c) frames[i * channels.size() + c] = (*channels[c])[i];
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(channels[0]->size()));
    sf_close(file);
}

std::vector<float> readWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    return frames;
}

/// The port values of a preset as lv2apply's "-c SYMBOL VALUE" arguments.
std::string presetArguments(const LilvNode* preset) {
    LilvState* state = lilv_state_new_from_world(world().world(), world().map(), preset);
    std::string arguments;
    lilv_state_emit_port_values(
        state,
        [](const char* symbol, void* text, const void* value, std::uint32_t, std::uint32_t) {
            float number;
            std::memcpy(&number, value, sizeof number);
            char digits[32];
            std::snprintf(digits, sizeof digits, "%.9g", static_cast<double>(number));
            *static_cast<std::string*>(text) += std::string(" -c ") + symbol + " " + digits;
        },
        &arguments);
    lilv_state_free(state);
    return arguments;
}

TEST(Lv2Apply, RendersTheSamplesTarvoRenderWritesAtTheSameSettings) {
    // Debian's lv2apply feeds one file channel per audio input, so its input
    // holds the main pair and the side-chain pair; tarvo-render takes them
    // as two files.
    const std::string dir = ::testing::TempDir();
    Signal signal(22050);
    const auto& ch = signal.channels;
    writeWav(dir + "lv2-main.wav", {&ch[0], &ch[1]});
    writeWav(dir + "lv2-key.wav", {&ch[2], &ch[3]});
    writeWav(dir + "lv2-four.wav", {&ch[0], &ch[1], &ch[2], &ch[3]});
    const std::string drumBuss = presetArguments(world().presets()[5]);
    struct Render {
        const char* name;
        std::string tarvoRender;
        std::string lv2apply;
    };
    const Render renders[] = {
        {"defaults", "", ""},
        {"DRUM BUSS", " --program 5", drumBuss},
        {"DRUM BUSS, M/S, HQ, threshold -20, external key",
         " --program 5 --set Mode=M/S --set Upsmpl.=HQ --set Thresh.=@0.5 --sidechain '" + dir +
             "lv2-key.wav'",
         drumBuss + " -c mode 5 -c oversampling_path 1 -c threshold -20 -c side_chain 1"},
    };
    for (const Render& render : renders) {
        SCOPED_TRACE(render.name);
        const std::string vstOut = dir + "lv2-by-tarvo-render.wav";
        const std::string lv2Out = dir + "lv2-by-lv2apply.wav";
        std::remove(vstOut.c_str());
        std::remove(lv2Out.c_str());
        const std::string renderCommand = std::string("'") + TARVO_RENDER + "' '" + dir +
                                          "lv2-main.wav' '" + vstOut +
                                          "' --quiet --keep-latency --precision single" +
                                          render.tarvoRender + " > /dev/null";
        const std::string applyCommand = std::string("LV2_PATH='") + TARVO_LV2_PATH + "' '" +
                                         TARVO_LV2APPLY + "' -i '" + dir + "lv2-four.wav' -o '" +
                                         lv2Out + "'" + render.lv2apply + " " + lv2::kPluginUri;
        ASSERT_EQ(std::system(renderCommand.c_str()), 0) << renderCommand;
        ASSERT_EQ(std::system(applyCommand.c_str()), 0) << applyCommand;
        const std::vector<float> expected = readWav(vstOut);
        const std::vector<float> actual = readWav(lv2Out);
        ASSERT_EQ(expected.size(), signal.frames() * 2);
        EXPECT_TRUE(expected == actual);
    }
}

#endif

}  // namespace
}  // namespace tarvo::lv2test
