// A VST 2.4 plug-in for testing the host side of tarvo-render: its output
// is exactly predictable and it logs how it is driven.
//
// - 4 inputs, 2 outputs, both processing entries, latency 7 samples.
//   Output L = gain * (input 1 + input 3), R = gain * (input 2 + input 4),
//   both delayed by exactly the reported latency.
// - Parameters: 0 "Gain" (-24..24 dB, one decimal, label "dB"), 1 "Crash"
//   ("Off"/"On": the next processing call raises SIGSEGV), 2 "Late"
//   ("Off"/"On": the first processing call at the offline level raises the
//   latency to 11 samples, as a plug-in that settles its oversampling
//   only then does), 3 "Glitch" ("Off"/"On": an input sample of exactly
//   0.75 comes out as NaN and one of exactly -0.75 as +infinity, as a
//   broken plug-in's output would).
// - Programs: "Unity" (0 dB) and "Quiet" (-12 dB).
// - With PROBE_LOG set in the environment, effClose writes the sequence of
//   host calls to that file, one per line, repeated lines folded.
//
// Built with PROBE_NULL_ENTRY, the entry returns no instance; with
// PROBE_NO_ENTRY, the library exports no entry at all.

#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/Vst2.h"

using namespace tarvo;

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(PROBE_NO_ENTRY)

PROBE_EXPORT int probeWithoutEntry() { return 0; }

#elif defined(PROBE_NULL_ENTRY)

PROBE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) { return nullptr; }

#else

namespace {

constexpr int kLatency = 7;
constexpr int kLateLatency = 11;
constexpr int kMaxDelay = 16;

struct Probe {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    float parameters[4] = {0.5f, 0.0f, 0.0f, 0.0f};
    int program = 0;
    float sampleRate = 0.0f;
    int blockSize = 0;
    bool resumed = false;
    int latency = kLatency;
    std::vector<double> history[2];  // circular delay lines per output
    int write = 0;
    std::vector<std::string> log;

    void note(const std::string& line) {
        if (log.empty() || log.back() != line) log.push_back(line);
    }
    double gain() const { return std::pow(10.0, (-24.0 + 48.0 * parameters[0]) / 20.0); }

    template <typename Sample>
    void process(Sample** inputs, Sample** outputs, int frames, const char* precision) {
        const auto level = host(&effect, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f);
        note(std::string(resumed ? "process " : "process while suspended ") + precision +
             " level " + std::to_string(level) + (frames > blockSize ? " beyond the block size" : ""));
        if (parameters[1] >= 0.5f) std::raise(SIGSEGV);
        if (parameters[2] >= 0.5f && level == kVstProcessLevelOffline) latency = kLateLatency;
        const double g = gain();
        const bool glitch = parameters[3] >= 0.5f;
        for (int i = 0; i < frames; ++i) {
            for (int c = 0; c < 2; ++c) {
                const double x = static_cast<double>(inputs[c][i]);
                double y = g * (x + static_cast<double>(inputs[c + 2][i]));
                if (glitch && x == 0.75) y = std::numeric_limits<double>::quiet_NaN();
                if (glitch && x == -0.75) y = std::numeric_limits<double>::infinity();
                history[c][static_cast<std::size_t>(write)] = y;
                const int read = (write - latency + kMaxDelay) % kMaxDelay;
                outputs[c][i] = static_cast<Sample>(history[c][static_cast<std::size_t>(read)]);
            }
            write = (write + 1) % kMaxDelay;
        }
        effect.initialDelay = latency;
    }
};

Probe& probeOf(AEffect* effect) { return *static_cast<Probe*>(effect->object); }

void copyText(void* destination, const std::string& text, std::size_t bound) {
    std::snprintf(static_cast<char*>(destination), bound + 1, "%s", text.c_str());
}

std::string display(const Probe& probe, int index) {
    char text[32];
    if (index == 0) {
        std::snprintf(text, sizeof text, "%.1f", -24.0 + 48.0 * probe.parameters[0]);
        return text;
    }
    return probe.parameters[index] >= 0.5f ? "On" : "Off";
}

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float opt) {
    Probe& probe = probeOf(effect);
    static const char* const names[4] = {"Gain", "Crash", "Late", "Glitch"};
    static const char* const programs[2] = {"Unity", "Quiet"};
    switch (opcode) {
        case effOpen: probe.note("open"); return 0;
        case effClose: {
            probe.note("close");
            if (const char* path = std::getenv("PROBE_LOG")) {
                if (FILE* file = std::fopen(path, "w")) {
                    for (const std::string& line : probe.log) std::fprintf(file, "%s\n", line.c_str());
                    std::fclose(file);
                }
            }
            delete &probe;
            return 1;
        }
        case effSetProgram:
            if (value >= 0 && value < 2) {
                probe.program = static_cast<int>(value);
                probe.parameters[0] = value == 0 ? 0.5f : 0.25f;
            }
            return 0;
        case effGetProgram: return probe.program;
        case effGetProgramName: copyText(ptr, programs[probe.program], kVstMaxProgNameLen); return 0;
        case effGetProgramNameIndexed:
            if (index < 0 || index > 1) return 0;
            copyText(ptr, programs[index], kVstMaxProgNameLen);
            return 1;
        case effGetParamName:
            if (index >= 0 && index < 4) copyText(ptr, names[index], kVstMaxParamStrLen);
            return 0;
        case effGetParamLabel:
            if (index >= 0 && index < 4) copyText(ptr, index == 0 ? "dB" : "", kVstMaxParamStrLen);
            return 0;
        case effGetParamDisplay:
            if (index >= 0 && index < 4) copyText(ptr, display(probe, index), kVstMaxParamStrLen);
            return 0;
        case effSetSampleRate:
            probe.sampleRate = opt;
            probe.note("rate " + std::to_string(static_cast<int>(opt)));
            return 0;
        case effSetBlockSize:
            probe.blockSize = static_cast<int>(value);
            probe.note("block " + std::to_string(value));
            return 0;
        case effMainsChanged:
            probe.resumed = value != 0;
            if (probe.resumed) {
                for (auto& line : probe.history) line.assign(kMaxDelay, 0.0);
                probe.write = 0;
            }
            probe.note(value ? "resume" : "suspend");
            return 0;
        case effGetEffectName: copyText(ptr, "Probe", kVstMaxEffectNameLen); return 1;
        case effGetVendorString: copyText(ptr, "Tarvo tests", kVstMaxVendorStrLen); return 1;
        case effSetProcessPrecision:
            probe.note(value == kVstProcessPrecision64 ? "precision double" : "precision single");
            return 1;
        case effStartProcess: probe.note("start"); return 0;
        case effStopProcess: probe.note("stop"); return 0;
        case effGetVstVersion: return kVstVersion;
        default: return 0;
    }
}

void VSTCALLBACK setParameter(AEffect* effect, VstInt32 index, float value) {
    if (index >= 0 && index < 4) probeOf(effect).parameters[index] = value < 0 ? 0 : value > 1 ? 1 : value;
}

float VSTCALLBACK getParameter(AEffect* effect, VstInt32 index) {
    return index >= 0 && index < 4 ? probeOf(effect).parameters[index] : 0.0f;
}

void VSTCALLBACK processSingle(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    probeOf(effect).process(inputs, outputs, frames, "single");
}

void VSTCALLBACK processDouble(AEffect* effect, double** inputs, double** outputs, VstInt32 frames) {
    probeOf(effect).process(inputs, outputs, frames, "double");
}

void VSTCALLBACK processAccumulating(AEffect*, float**, float**, VstInt32) {}

}  // namespace

PROBE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    Probe* probe = new Probe;
    probe->host = host;
    for (auto& line : probe->history) line.assign(kMaxDelay, 0.0);
    AEffect& e = probe->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatch;
    e.process = processAccumulating;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = 2;
    e.numParams = 4;
    e.numInputs = 4;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
    e.initialDelay = kLatency;
    e.ioRatio = 1.0f;
    e.object = probe;
    e.uniqueID = fourCharCode('P', 'r', 'o', 'b');
    e.version = 1;
    e.processReplacing = processSingle;
    e.processDoubleReplacing = processDouble;
    return &e;
}

#endif
