// tarvo-lv2-ttl BUNDLE_DIR BINARY_NAME
//
// Writes the Turtle files of the LV2 bundle into BUNDLE_DIR: manifest.ttl
// (the plug-in, its binary BINARY_NAME and the presets), tarvo.ttl (ports)
// and presets.ttl (the 16 factory programs). Everything comes from the code
// the plug-in is built from: names, ranges, labels, option texts and display
// ends from the parameter descriptors, "A,R Time" ranges from the parameter
// controller, positions and names from the factory programs, latencies from
// the engine. Run by the build; exits non-zero when a file cannot be written
// or a factory position has no port value that gives it back exactly.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "engine/StereoProcessor.h"
#include "lv2/ControlValue.h"
#include "lv2/Lv2Meters.h"
#include "lv2/Lv2Ports.h"
#include "lv2/SilentHostLink.h"
#include "params/FactoryPrograms.h"
#include "params/ParameterController.h"
#include "params/ParameterTable.h"

namespace {

using namespace tarvo;
using namespace tarvo::lv2;

/// How a host draws a control: a plain number, a number on a logarithmic
/// travel (minimum > 0), or an on/off switch (an option list Off/On, or two
/// options read as "the second one on").
enum class Travel { linear, logarithmic, toggled };

/// Port symbol (a C identifier), the name a host shows, how the control
/// travels and a line on what the parameter controls, in parameter order.
/// Symbols, indices and values never change: saved sessions and presets
/// refer to them.
struct ControlPortText {
    const char* symbol;
    const char* name;
    Travel travel;
    const char* comment;
};

const ControlPortText controlPortTexts[kParameterCount] = {
    {"filter", "Key high-pass", Travel::logarithmic,
     "Corner of the high-pass filter on the detector's key; Off at the minimum."},
    {"threshold", "Threshold", Travel::linear, "Compressor threshold."},
    {"knee", "Knee", Travel::linear, "Knee shape, 0 soft to 1 hard."},
    {"attack", "Attack", Travel::logarithmic,
     "Detector attack time, taken in the range Time ranges chooses."},
    {"release", "Release", Travel::logarithmic,
     "Detector release time, taken in the range Time ranges chooses."},
    {"ratio", "Ratio", Travel::logarithmic, "Compression ratio; infinite at the maximum."},
    {"limiter_ceiling", "Limiter ceiling", Travel::linear, "Ceiling of the peak limiter."},
    {"makeup", "Make-up gain", Travel::linear, "Make-up gain of the compressed signal."},
    {"mid_scoop", "Mid scoop", Travel::linear, "Gain of the mid-frequency scoop equaliser."},
    {"dry_wet", "Dry mix", Travel::linear, "Share of unprocessed signal in the output; Off is none."},
    {"mode", "Channel mode", Travel::linear, "Channel mode."},
    {"upsampling", "Oversampling", Travel::linear, "Oversampling factor."},
    {"attack_mode", "Attack mode", Travel::linear, "Attack mode of the envelope followers."},
    {"input", "Input gain", Travel::linear,
     "Input gain: 0 is 0 dB, 1 +6 dB, 2 +12 dB, 3 -12 dB, 4 -6 dB."},
    {"limiter_position", "Limiter position", Travel::linear,
     "Where the peak limiter sits, or off."},
    {"saturation", "Saturation", Travel::linear,
     "Saturation: drive tied to Ratio, off, or fixed drive."},
    {"bypass", "Bypass", Travel::toggled,
     "Bypass of the processing (the input gain still applies)."},
    {"render8x", "Render at 8x", Travel::toggled,
     "8x oversampling while the host renders offline (free-wheels)."},
    {"dither", "Dither", Travel::linear, "Level of the noise added in the oversampling stages."},
    {"side_chain", "Side-chain", Travel::toggled,
     "Detector keyed by the side-chain input (on) or by the main input (off)."},
    {"ar_time", "Time ranges", Travel::linear, "Ranges of Attack and Release."},
    {"oversampling_path", "Oversampling quality", Travel::linear,
     "Oversampling path: plain (Fast) or with a halfband stage (HQ)."},
};

/// The shortest decimal that reads back as the same float, always with a
/// point: Turtle reads "1" as an integer, which lilv hands to hosts as an
/// atom:Int where a control port value is an atom:Float.
std::string number(float value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    std::string decimal(text, result.ptr);
    if (decimal.find('.') == std::string::npos) decimal += ".0";
    return decimal;
}

std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') out += '\\';
        out += *c;
    }
    return out + "\"";
}

/// The port value of a position: the nearest float to the descriptor's
/// value, or for a choice parameter the option the position shows. Throws
/// unless the value maps back to the position exactly (the option's own
/// position for a choice parameter).
float portValue(const ParameterDescriptor& descriptor, int index, float position) {
    const double value = descriptor.toValue(position);
    const bool choice = descriptor.options() != nullptr;
    const float portValue = choice
        ? static_cast<float>(descriptor.minimum() + descriptor.optionIndex(value))
        : static_cast<float>(value);
    float back = -1.0f;
    positionForPortValue(descriptor, index, portValue, back);
    if (choice ? descriptor.optionIndex(descriptor.toValue(back)) != descriptor.optionIndex(value)
               : back != position) {
        throw std::runtime_error(std::string("the port value of \"") + descriptor.name() +
                                 "\" for the position " + number(position) +
                                 " maps back to " + number(back));
    }
    return portValue;
}

/// The parameters as a program sets them: "A,R Time" first, so Attack and
/// Release have the program's ranges.
void takeRanges(ParameterController& params, const float* positions) {
    params.setParameter(param::ArTime, positions[param::ArTime]);
}

/// The unit of a numeric control; "" for an option list, whose values are
/// option numbers (labelled by scale points).
std::string unitOf(const ParameterDescriptor& descriptor) {
    if (descriptor.options() != nullptr) return "";
    // "Knee" is a plain number, 0 .. 1.
    if (descriptor.label() == nullptr) return "units:coef";
    const std::string label = descriptor.label();
    if (label == "Hz") return "units:hz";
    if (label == "dB") return "units:db";
    if (label == "ms") return "units:ms";
    if (label == "%") return "units:pc";
    // No LV2 unit reads like the ratio's label: one of our own.
    std::ostringstream unit;
    unit << "[\n            a units:Unit ;\n            rdfs:label \"ratio\" ;\n"
         << "            units:symbol " << quoted(descriptor.label()) << " ;\n"
         << "            units:render " << quoted(("%." + std::to_string(descriptor.precision()) +
                                                   "f " + label).c_str())
         << "\n        ]";
    return unit.str();
}

void scalePoint(std::ostream& out, bool& first, const char* label, float value) {
    out << (first ? "        lv2:scalePoint [\n" : " , [\n")
        << "            rdfs:label " << quoted(label) << " ;\n"
        << "            rdf:value " << number(value) << "\n        ]";
    first = false;
}

void audioPort(std::ostream& out, Port index, bool input, const char* symbol, const char* name,
               const char* group, const char* channel, bool sideChain) {
    out << "    lv2:port [\n"
        << "        a lv2:AudioPort , " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol \"" << symbol << "\" ;\n"
        << "        lv2:name \"" << name << "\" ;\n";
    if (sideChain) out << "        lv2:portProperty lv2:isSideChain , lv2:connectionOptional ;\n";
    out << "        pg:group <" << kPluginUri << "#" << group << "> ;\n"
        << "        lv2:designation pg:" << channel << "\n    ] ;\n";
}

void controlPort(std::ostream& out, int index, const ParameterDescriptor& descriptor,
                 float minimum, float maximum, float defaultValue) {
    const ControlPortText& text = controlPortTexts[index];
    out << "    lv2:port [\n"
        << "        a lv2:ControlPort , lv2:InputPort ;\n"
        << "        lv2:index " << firstControl + index << " ;\n"
        << "        lv2:symbol \"" << text.symbol << "\" ;\n"
        << "        lv2:name " << quoted(text.name) << " ;\n"
        << "        rdfs:comment " << quoted(text.comment) << " ;\n"
        << "        lv2:default " << number(defaultValue) << " ;\n"
        << "        lv2:minimum " << number(minimum) << " ;\n"
        << "        lv2:maximum " << number(maximum) << " ;\n";
    const std::string unit = unitOf(descriptor);
    if (!unit.empty()) out << "        units:unit " << unit << " ;\n";
    if (text.travel == Travel::logarithmic) {
        if (!(minimum > 0.0f)) throw std::runtime_error(std::string(text.symbol) +
                                                        " is logarithmic from a minimum <= 0");
        out << "        lv2:portProperty pprops:logarithmic ;\n";
    }
    bool first = true;
    if (descriptor.options() != nullptr) {
        const int count = static_cast<int>(maximum - minimum) + 1;
        if (text.travel == Travel::toggled) {
            if (count != 2) throw std::runtime_error(std::string(text.symbol) + " has no two options");
            out << "        lv2:portProperty lv2:toggled ;\n";
        } else {
            out << "        lv2:portProperty lv2:integer , lv2:enumeration ;\n";
        }
        // An option list labelled "dB" ("Input") names its options in dB.
        const bool decibels = descriptor.label() != nullptr && std::string(descriptor.label()) == "dB";
        for (int option = 0; option < count; ++option) {
            const std::string label =
                std::string(descriptor.options()[option]) + (decibels ? " dB" : "");
            scalePoint(out, first, label.c_str(), minimum + option);
        }
    } else {
        if (descriptor.minText() != nullptr) scalePoint(out, first, descriptor.minText(), minimum);
        if (descriptor.maxText() != nullptr) scalePoint(out, first, descriptor.maxText(), maximum);
    }
    if (!first) out << " ;\n";
    out << "    ] ;\n";
}

/// An output control that a host shows as a meter, updated every run.
void meterPort(std::ostream& out, Port index, const char* symbol, const char* name,
               const char* comment, float minimum, float maximum) {
    out << "    lv2:port [\n"
        << "        a lv2:ControlPort , lv2:OutputPort ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol \"" << symbol << "\" ;\n"
        << "        lv2:name \"" << name << "\" ;\n"
        << "        rdfs:comment " << quoted(comment) << " ;\n"
        << "        lv2:portProperty lv2:connectionOptional ;\n"
        << "        units:unit units:db ;\n"
        << "        lv2:minimum " << number(minimum) << " ;\n"
        << "        lv2:maximum " << number(maximum) << "\n    ] ;\n";
}

const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix idpy: <http://harrisonconsoles.com/lv2/inlinedisplay#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

/// The bundle's version: minor.micro.
constexpr int kMinorVersion = 2;
constexpr int kMicroVersion = 0;

const char* kGenerated = "# Generated by tools/lv2ttl at build time; do not edit.\n\n";

std::string presetUri(int program) { return kPresetUriPrefix + std::to_string(program); }

std::string manifest(const std::string& binary) {
    std::ostringstream out;
    out << kGenerated << kPrefixes << "<" << kPluginUri << ">\n    a lv2:Plugin ;\n"
        << "    lv2:binary <" << binary << "> ;\n    rdfs:seeAlso <tarvo.ttl> .\n";
    for (int n = 0; n < kProgramCount; ++n) {
        out << "\n<" << presetUri(n) << ">\n    a pset:Preset ;\n"
            << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
            << "    rdfs:label " << quoted(factoryProgramNames[n]) << " ;\n"
            << "    rdfs:seeAlso <presets.ttl> .\n";
    }
    return out.str();
}

std::string pluginDescription(ParameterController& params) {
    // Attack and Release reach over all "A,R Time" ranges.
    float reachMinimum[kParameterCount];
    float reachMaximum[kParameterCount];
    for (int i = 0; i < kParameterCount; ++i) {
        reachMinimum[i] = static_cast<float>(params.descriptor(i).minimum());
        reachMaximum[i] = static_cast<float>(params.descriptor(i).maximum());
    }
    const ParameterDescriptor& arTime = params.descriptor(param::ArTime);
    for (int option = 0; option <= static_cast<int>(arTime.maximum()); ++option) {
        float position = 0.0f;
        positionForPortValue(arTime, param::ArTime, static_cast<float>(option), position);
        params.setParameter(param::ArTime, position);
        for (const int i : {param::Attack, param::Release}) {
            reachMinimum[i] = std::fmin(reachMinimum[i], static_cast<float>(params.descriptor(i).minimum()));
            reachMaximum[i] = std::fmax(reachMaximum[i], static_cast<float>(params.descriptor(i).maximum()));
        }
    }

    StereoProcessor engine;
    engine.setOversampling(1, false);
    const int shortestLatency = engine.latency();
    engine.setOversampling(2, true);
    const int longestLatency = engine.latency();

    std::ostringstream out;
    out << kGenerated << kPrefixes;
    const std::string base = std::string("<") + kPluginUri + "#";
    // The inline-display extension has no Turtle file of its own to say
    // what its two terms are.
    out << "idpy:queue_draw\n    a lv2:Feature .\n\nidpy:interface\n    a lv2:ExtensionData .\n\n";
    out << base << "main_in>\n    a pg:InputGroup , pg:StereoGroup ;\n"
        << "    lv2:symbol \"main_in\" ;\n    rdfs:label \"Main input\" .\n\n"
        << base << "side_chain_in>\n    a pg:InputGroup , pg:StereoGroup ;\n"
        << "    lv2:symbol \"side_chain_in\" ;\n    rdfs:label \"Side-chain input\" ;\n"
        << "    pg:sideChainOf " << base << "main_in> .\n\n"
        << base << "main_out>\n    a pg:OutputGroup , pg:StereoGroup ;\n"
        << "    lv2:symbol \"main_out\" ;\n    rdfs:label \"Main output\" ;\n"
        << "    pg:source " << base << "main_in> .\n\n";

    out << "<" << kPluginUri << ">\n"
        << "    a lv2:Plugin , lv2:CompressorPlugin , doap:Project ;\n"
        << "    doap:name \"Tarvo\" ;\n"
        << "    doap:maintainer [\n        a foaf:Person ;\n        foaf:name \"Hanvik\"\n    ] ;\n"
        // An even minor version marks a release (odd or 0: development).
        << "    lv2:minorVersion " << kMinorVersion << " ;\n"
        << "    lv2:microVersion " << kMicroVersion << " ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable , idpy:queue_draw ;\n"
        << "    lv2:extensionData idpy:interface ;\n"
        << "    pg:mainInput " << base << "main_in> ;\n"
        << "    pg:mainOutput " << base << "main_out> ;\n";
    audioPort(out, inLeft, true, "in_left", "In Left", "main_in", "left", false);
    audioPort(out, inRight, true, "in_right", "In Right", "main_in", "right", false);
    audioPort(out, sideChainLeft, true, "side_chain_left", "Side-chain Left", "side_chain_in",
              "left", true);
    audioPort(out, sideChainRight, true, "side_chain_right", "Side-chain Right", "side_chain_in",
              "right", true);
    audioPort(out, outLeft, false, "out_left", "Out Left", "main_out", "left", false);
    audioPort(out, outRight, false, "out_right", "Out Right", "main_out", "right", false);

    // Defaults: program 0 in its own ranges.
    takeRanges(params, factoryPrograms[0]);
    for (int i = 0; i < kParameterCount; ++i) {
        controlPort(out, i, params.descriptor(i), reachMinimum[i], reachMaximum[i],
                    portValue(params.descriptor(i), i, factoryPrograms[0][i]));
    }

    out << "    lv2:port [\n"
        << "        a lv2:ControlPort , lv2:OutputPort ;\n"
        << "        lv2:index " << latency << " ;\n"
        << "        lv2:symbol \"latency\" ;\n"
        << "        lv2:name \"Latency\" ;\n"
        << "        lv2:designation lv2:latency ;\n"
        << "        lv2:portProperty lv2:integer , pprops:notOnGUI ;\n"
        << "        units:unit units:frame ;\n"
        << "        lv2:minimum " << shortestLatency << " ;\n"
        << "        lv2:maximum " << longestLatency << "\n    ] , [\n"
        << "        a lv2:ControlPort , lv2:InputPort ;\n"
        << "        lv2:index " << freeWheel << " ;\n"
        << "        lv2:symbol \"free_wheeling\" ;\n"
        << "        lv2:name \"Free-wheeling\" ;\n"
        << "        rdfs:comment \"Set by the host while it renders offline.\" ;\n"
        << "        lv2:designation lv2:freeWheeling ;\n"
        << "        lv2:portProperty lv2:toggled , pprops:notOnGUI ;\n"
        << "        lv2:default 0 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ] ;\n";
    out << "    lv2:port [\n"
        << "        a lv2:ControlPort , lv2:InputPort ;\n"
        << "        lv2:index " << enabled << " ;\n"
        << "        lv2:symbol \"enabled\" ;\n"
        << "        lv2:name \"Enabled\" ;\n"
        << "        rdfs:comment \"Set by the host: off passes the main input through, delayed by "
           "the latency, with a crossfade both ways.\" ;\n"
        << "        lv2:designation lv2:enabled ;\n"
        << "        lv2:portProperty lv2:toggled , lv2:connectionOptional , pprops:notOnGUI ;\n"
        << "        lv2:default 1 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ] ;\n";
    meterPort(out, gainReduction, "gain_reduction", "Gain reduction",
              "The compressor's gain reduction in dB (0 is none).", 0.0f, Lv2Meters::kMostReductionDb);
    meterPort(out, inputLevel, "input_level", "Input level", "Peak level of the main input, dBFS.",
              Lv2Meters::kFloorDb, Lv2Meters::kHighestLevelDb);
    meterPort(out, outputLevel, "output_level", "Output level", "Peak level of the output, dBFS.",
              Lv2Meters::kFloorDb, Lv2Meters::kHighestLevelDb);
    // The last port ends the plug-in's description.
    std::string text = out.str();
    text.replace(text.size() - 3, 3, " .\n");
    return text;
}

std::string presets(ParameterController& params) {
    std::ostringstream out;
    out << kGenerated << kPrefixes;
    for (int n = 0; n < kProgramCount; ++n) {
        const float* positions = factoryPrograms[n];
        takeRanges(params, positions);
        out << "<" << presetUri(n) << ">\n    a pset:Preset ;\n"
            << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
            << "    rdfs:label " << quoted(factoryProgramNames[n]) << " ;\n    lv2:port ";
        for (int i = 0; i < kParameterCount; ++i) {
            out << (i == 0 ? "[\n" : " , [\n") << "        lv2:symbol \""
                << controlPortTexts[i].symbol << "\" ;\n        pset:value "
                << number(portValue(params.descriptor(i), i, positions[i])) << "\n    ]";
        }
        out << " .\n\n";
    }
    return out.str();
}

void write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarvo-lv2-ttl BUNDLE_DIR BINARY_NAME\n");
        return 2;
    }
    try {
        const std::string bundle = argv[1];
        StereoProcessor engine;
        SilentHostLink host;
        ParameterController params(engine, host);
        write(bundle + "/manifest.ttl", manifest(argv[2]));
        write(bundle + "/tarvo.ttl", pluginDescription(params));
        write(bundle + "/presets.ttl", presets(params));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvo-lv2-ttl: %s\n", e.what());
        return 1;
    }
}
