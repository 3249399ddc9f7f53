// vstinfo: loads a VST 2.4 plug-in library the way a host does and prints
// what the host sees: identity, channels, latency, flags, programs and
// parameters.
//
//   vstinfo [--rate HZ] [--block N] PLUGIN
//
// The instance is started (effOpen, sample rate, block size, resume) before
// the latency is read, since hosts read it then.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vsthost/VstInstance.h"

using namespace tarvo;
using namespace tarvo::vsthost;

namespace {

std::string fourChars(VstInt32 id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(id) >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) return "";
        text += c;
    }
    return text;
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } known[] = {
        {effFlagsHasEditor, "editor"},          {effFlagsHasClip, "clip"},
        {effFlagsHasVu, "vu"},                  {effFlagsCanMono, "mono"},
        {effFlagsCanReplacing, "replacing"},    {effFlagsProgramChunks, "chunks"},
        {effFlagsIsSynth, "synth"},             {effFlagsNoSoundInStop, "no tail"},
        {effFlagsExtIsAsync, "async"},          {effFlagsExtHasBuffer, "external buffer"},
        {effFlagsCanDoubleReplacing, "double replacing"},
    };
    std::string names;
    for (const auto& flag : known) {
        if (!(flags & flag.bit)) continue;
        if (!names.empty()) names += ", ";
        names += flag.name;
    }
    return names;
}

const char* categoryName(VstIntPtr category) {
    switch (category) {
        case kPlugCategUnknown: return "unknown";
        case kPlugCategEffect: return "effect";
        case kPlugCategSynth: return "synth";
        default: return "other";
    }
}

int usage() {
    std::fprintf(stderr, "usage: vstinfo [--rate HZ] [--block N] PLUGIN\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    float rate = 44100.0f;
    VstInt32 block = 512;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc)
            rate = static_cast<float>(std::atof(argv[++i]));
        else if (std::strcmp(argv[i], "--block") == 0 && i + 1 < argc)
            block = std::atoi(argv[++i]);
        else if (argv[i][0] == '-' || path)
            return usage();
        else
            path = argv[i];
    }
    if (!path || rate <= 0.0f || block <= 0) return usage();

    try {
        VstLibrary library(path);
        HostAnswers answers;
        answers.sampleRate = rate;
        answers.blockSize = block;
        VstInstance plugin(library, answers);
        AEffect& effect = plugin.effect();
        plugin.start(rate, block);

        const std::string id = fourChars(effect.uniqueID);
        std::printf("Plug-in     %s\n", path);
        std::printf("Name        %s\n", plugin.effectName().c_str());
        std::printf("Vendor      %s\n", plugin.vendorString().c_str());
        std::printf("Product     %s\n", plugin.productString().c_str());
        std::printf("Version     %ld (record version %d, VST %ld)\n",
                    static_cast<long>(plugin.dispatch(effGetVendorVersion)),
                    static_cast<int>(effect.version),
                    static_cast<long>(plugin.dispatch(effGetVstVersion)));
        std::printf("Unique ID   %s0x%08X\n", id.empty() ? "" : ("'" + id + "' ").c_str(),
                    static_cast<unsigned>(effect.uniqueID));
        const VstIntPtr category = plugin.dispatch(effGetPlugCategory);
        std::printf("Category    %ld (%s)\n", static_cast<long>(category), categoryName(category));
        std::printf("Channels    %d inputs, %d outputs\n", static_cast<int>(effect.numInputs),
                    static_cast<int>(effect.numOutputs));
        std::printf("Latency     %d samples at %g Hz\n", static_cast<int>(effect.initialDelay),
                    static_cast<double>(rate));
        std::printf("Flags       0x%X (%s)\n", static_cast<unsigned>(effect.flags),
                    flagNames(effect.flags).c_str());
        std::printf("Programs    %d, current \"%s\"\n", static_cast<int>(effect.numPrograms),
                    plugin.programName().c_str());
        std::printf("Parameters  %d\n", static_cast<int>(effect.numParams));
        for (VstInt32 i = 0; i < effect.numParams; ++i) {
            std::printf("  %3d  %-24s %-24s %-8s %.4f\n", static_cast<int>(i),
                        plugin.parameterName(i).c_str(), plugin.parameterDisplay(i).c_str(),
                        plugin.parameterLabel(i).c_str(),
                        static_cast<double>(plugin.getParameter(i)));
        }
        plugin.suspend();
        plugin.close();
    } catch (const HostError& error) {
        std::fprintf(stderr, "vstinfo: %s\n", error.what());
        return 1;
    }
    return 0;
}
