// tarvo-manual-facts: prints, as JSON, the facts the user's manual tabulates,
// taken from the built plug-in the way a host sees them and from the
// parameter table the plug-in is built from.
//
//   tarvo-manual-facts PLUGIN
//
// - every parameter: name, label, display at both ends, option names (from
//   the parameter table), the display of program 0;
// - the Attack and Release ranges under each "A,R Time" option;
// - every factory program: its name, and the display and position of all 22
//   parameters;
// - the "Upsampl." choice of every program at other host rates;
// - the reported latency at each oversampling factor, "Fast" and "HQ";
// - every run of positions whose display names another value than the one
//   the engine runs (from the parameter layer's value mapping), and the
//   factory programs' settings that do so.
//
// The user's stored default program is ignored (XDG_CONFIG_HOME points to a
// folder that does not exist), so the output depends on the code alone.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "params/FactoryPrograms.h"
#include "params/ParameterTable.h"
#include "params/ValueMapping.h"
#include "vsthost/VstInstance.h"

using namespace tarvo;
using namespace tarvo::vsthost;

namespace {

constexpr float kBaseRate = 44100.0f;

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
}

std::vector<std::string> quotedAll(const std::vector<std::string>& texts) {
    std::vector<std::string> out;
    for (const auto& text : texts) out.push_back(quoted(text));
    return out;
}

/// A fresh instance, opened and given the rate, left suspended so that
/// every parameter change configures the engine at once.
struct OpenInstance {
    OpenInstance(const VstLibrary& library, float rate) : instance(library, answers(rate)) {
        instance.dispatch(effOpen);
        instance.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        instance.dispatch(effSetBlockSize, 0, 512);
    }
    static HostAnswers answers(float rate) {
        HostAnswers host;
        host.sampleRate = rate;
        return host;
    }
    VstInstance instance;
};

std::string displayAt(VstInstance& plugin, int index, float position) {
    plugin.setParameter(index, position);
    return plugin.parameterDisplay(index);
}

std::vector<std::string> parameters(const VstLibrary& library) {
    const auto table = makeParameterDescriptors();
    OpenInstance fresh(library, kBaseRate);
    VstInstance& plugin = fresh.instance;
    std::vector<std::string> defaults;
    for (int i = 0; i < kParameterCount; ++i) defaults.push_back(plugin.parameterDisplay(i));

    std::vector<std::string> rows;
    for (int i = 0; i < kParameterCount; ++i) {
        const ParameterDescriptor& d = table[i];
        std::vector<std::string> options;
        if (d.options()) {
            const int count = static_cast<int>(d.maximum() - d.minimum()) + 1;
            for (int k = 0; k < count; ++k) options.push_back(quoted(d.options()[k]));
        }
        const float start = plugin.getParameter(i);
        const std::string atMinimum = displayAt(plugin, i, 0.0f);
        const std::string atMaximum = displayAt(plugin, i, 1.0f);
        plugin.setParameter(i, start);
        rows.push_back("{\"index\": " + std::to_string(i) +
                       ", \"name\": " + quoted(plugin.parameterName(i)) +
                       ", \"label\": " + quoted(plugin.parameterLabel(i)) +
                       ", \"decibel\": " + (d.scale() == Scale::Decibel ? "true" : "false") +
                       ", \"atMinimum\": " + quoted(atMinimum) +
                       ", \"atMaximum\": " + quoted(atMaximum) +
                       ", \"options\": " + list(options) +
                       ", \"default\": " + quoted(defaults[i]) + "}");
    }
    return rows;
}

std::vector<std::string> arTimeRanges(const VstLibrary& library) {
    OpenInstance fresh(library, kBaseRate);
    VstInstance& plugin = fresh.instance;
    std::vector<std::string> rows;
    const int count = static_cast<int>(ArTimeRanges.size());
    for (int k = 0; k < count; ++k) {
        plugin.setParameter(param::ArTime, static_cast<float>(k) / static_cast<float>(count - 1));
        rows.push_back("{\"option\": " + quoted(plugin.parameterDisplay(param::ArTime)) +
                       ", \"attack\": " +
                       list(quotedAll({displayAt(plugin, param::Attack, 0.0f),
                                       displayAt(plugin, param::Attack, 1.0f)})) +
                       ", \"release\": " +
                       list(quotedAll({displayAt(plugin, param::Release, 0.0f),
                                       displayAt(plugin, param::Release, 1.0f)})) +
                       "}");
    }
    return rows;
}

std::vector<std::string> programs(const VstLibrary& library) {
    OpenInstance fresh(library, kBaseRate);
    VstInstance& plugin = fresh.instance;
    std::vector<std::string> rows;
    for (int n = 0; n < plugin.effect().numPrograms; ++n) {
        plugin.dispatch(effSetProgram, 0, n);
        std::vector<std::string> shown, positions;
        for (int i = 0; i < kParameterCount; ++i) {
            shown.push_back(quoted(plugin.parameterDisplay(i)));
            char position[32];
            std::snprintf(position, sizeof position, "%.9g",
                          static_cast<double>(plugin.getParameter(i)));
            positions.push_back(position);
        }
        rows.push_back("{\"index\": " + std::to_string(n) +
                       ", \"name\": " + quoted(plugin.programName()) +
                       ", \"display\": " + list(shown) + ", \"positions\": " + list(positions) +
                       "}");
    }
    return rows;
}

/// "Upsampl." of every program with the host at each rate.
std::vector<std::string> upsamplingByRate(const VstLibrary& library) {
    std::vector<std::string> rows;
    for (float rate : {22050.0f, 32000.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f,
                       192000.0f}) {
        OpenInstance fresh(library, rate);
        VstInstance& plugin = fresh.instance;
        std::vector<std::string> shown;
        for (int n = 0; n < plugin.effect().numPrograms; ++n) {
            plugin.dispatch(effSetProgram, 0, n);
            shown.push_back(quoted(plugin.parameterDisplay(param::Upsampling)));
        }
        rows.push_back("{\"rate\": " + std::to_string(static_cast<int>(rate)) +
                       ", \"upsampling\": " + list(shown) + "}");
    }
    return rows;
}

std::vector<std::string> latencies(const VstLibrary& library) {
    OpenInstance fresh(library, kBaseRate);
    VstInstance& plugin = fresh.instance;
    std::vector<std::string> rows;
    for (int path = 0; path < 2; ++path) {
        plugin.setParameter(param::OversamplingPath, static_cast<float>(path));
        for (int factor = 0; factor < 4; ++factor) {
            plugin.setParameter(param::Upsampling, static_cast<float>(factor) / 3.0f);
            rows.push_back("{\"upsampling\": " +
                           quoted(plugin.parameterDisplay(param::Upsampling)) +
                           ", \"path\": " +
                           quoted(plugin.parameterDisplay(param::OversamplingPath)) +
                           ", \"samples\": " + std::to_string(plugin.effect().initialDelay) + "}");
        }
    }
    return rows;
}

std::uint32_t positionBits(float position) {
    std::uint32_t bits;
    std::memcpy(&bits, &position, sizeof bits);
    return bits;
}

float bitsPosition(std::uint32_t bits) {
    float position;
    std::memcpy(&position, &bits, sizeof position);
    return position;
}

std::string number(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", x);
    return text;
}

/// Every run of positions where a parameter's display names another value
/// than the one the engine runs (runningValue shown as the display would
/// show it), Attack and Release at "A,R Time" "1:1". Display and running
/// value are both monotone steps over the positions, so a run of equal
/// (display, running) pairs is found by bisection over the float positions
/// from 0 to 1 (ordered like their bit patterns), one run after another.
std::vector<std::string> valueMismatches() {
    const auto table = makeParameterDescriptors();
    std::vector<std::string> rows;
    for (int i = 0; i < kParameterCount; ++i) {
        const ParameterDescriptor& d = table[i];
        const auto texts = [&](std::uint32_t bits) {
            const double value = d.toValue(bitsPosition(bits));
            char shows[kParameterTextLength + 1], runs[kParameterTextLength + 1];
            d.displayText(value, shows);
            d.displayText(runningValue(d, i, value), runs);
            return std::make_pair(std::string(shows), std::string(runs));
        };
        const std::uint32_t last = positionBits(1.0f);
        for (std::uint32_t start = positionBits(0.0f); start <= last;) {
            const auto pair = texts(start);
            std::uint32_t inside = start, outside = last + 1;
            if (texts(last) == pair) inside = last;
            while (outside - inside > 1) {
                const std::uint32_t middle = inside + (outside - inside) / 2;
                (texts(middle) == pair ? inside : outside) = middle;
            }
            if (pair.first != pair.second) {
                rows.push_back("{\"index\": " + std::to_string(i) + ", \"name\": " + quoted(d.name()) +
                               ", \"shows\": " + quoted(pair.first) + ", \"runs\": " +
                               quoted(pair.second) + ", \"from\": " +
                               number(d.toValue(bitsPosition(start))) + ", \"to\": " +
                               number(d.toValue(bitsPosition(inside))) + "}");
            }
            start = inside + 1;
        }
    }
    return rows;
}

/// Every factory program's parameters whose display names another value
/// than the one the engine runs (Attack and Release in the program's own
/// "A,R Time" range).
std::vector<std::string> programMismatches() {
    std::vector<std::string> rows;
    for (int n = 0; n < kProgramCount; ++n) {
        auto table = makeParameterDescriptors();
        const float* positions = factoryPrograms[n];
        const ParameterDescriptor& arTime = table[param::ArTime];
        setArTimeRanges(table[param::Attack], table[param::Release],
                        arTime.optionIndex(arTime.toValue(positions[param::ArTime])));
        for (int i = 0; i < kParameterCount; ++i) {
            const ParameterDescriptor& d = table[i];
            const double value = d.toValue(positions[i]);
            char shows[kParameterTextLength + 1], runs[kParameterTextLength + 1];
            d.displayText(value, shows);
            d.displayText(runningValue(d, i, value), runs);
            if (std::string(shows) == runs) continue;
            rows.push_back("{\"program\": " + quoted(factoryProgramNames[n]) + ", \"name\": " +
                           quoted(d.name()) + ", \"shows\": " + quoted(shows) + ", \"runs\": " +
                           quoted(runs) + "}");
        }
    }
    return rows;
}

void printSection(const char* name, const std::vector<std::string>& rows, bool last = false) {
    std::printf("  \"%s\": [\n", name);
    for (std::size_t i = 0; i < rows.size(); ++i)
        std::printf("    %s%s\n", rows[i].c_str(), i + 1 < rows.size() ? "," : "");
    std::printf("  ]%s\n", last ? "" : ",");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvo-manual-facts PLUGIN\n");
        return 2;
    }
    // The plug-in reads the user's stored default program from
    // $XDG_CONFIG_HOME/orlenaudio/Tarvo/Default; the manual shows the factory one.
    setenv("XDG_CONFIG_HOME", "/nonexistent/tarvo-manual-facts", 1);
    try {
        VstLibrary library(argv[1]);
        OpenInstance fresh(library, kBaseRate);
        VstInstance& plugin = fresh.instance;
        std::printf("{\n");
        std::printf("  \"name\": %s,\n", quoted(plugin.effectName()).c_str());
        std::printf("  \"vendor\": %s,\n", quoted(plugin.vendorString()).c_str());
        std::printf("  \"version\": %ld,\n",
                    static_cast<long>(plugin.dispatch(effGetVendorVersion)));
        std::printf("  \"inputs\": %d,\n", static_cast<int>(plugin.effect().numInputs));
        std::printf("  \"outputs\": %d,\n", static_cast<int>(plugin.effect().numOutputs));
        printSection("parameters", parameters(library));
        printSection("arTime", arTimeRanges(library));
        printSection("programs", programs(library));
        printSection("upsamplingByRate", upsamplingByRate(library));
        printSection("latency", latencies(library));
        printSection("valueMismatches", valueMismatches());
        printSection("programMismatches", programMismatches(), true);
        std::printf("}\n");
    } catch (const HostError& error) {
        std::fprintf(stderr, "tarvo-manual-facts: %s\n", error.what());
        return 1;
    }
    return 0;
}
