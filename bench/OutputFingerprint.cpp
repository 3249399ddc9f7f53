#include "OutputFingerprint.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <vector>

#include "BenchPlugin.h"
#include "BenchSignal.h"

namespace tarvo::bench {

namespace {

/// 2 s of the burst noise, 1 s of zeros (the strips fall asleep), 1 s of
/// noise again (they wake).
StereoSignal fingerprintSignal(std::uint64_t seed) {
    StereoSignal s = makeBurstNoise(2.0, seed);
    const StereoSignal zeros = makeSilence(1.0);
    const StereoSignal again = makeBurstNoise(1.0, seed + 1);
    for (const StereoSignal* part : {&zeros, &again}) {
        s.left.insert(s.left.end(), part->left.begin(), part->left.end());
        s.right.insert(s.right.end(), part->right.begin(), part->right.end());
    }
    return s;
}

std::uint64_t fnv1a(std::uint64_t hash, const void* data, std::size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < bytes; ++i) {
        hash ^= p[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

constexpr std::uint64_t kFnvOffset = 0xCBF29CE484222325ull;

struct Render {
    std::string label;
    std::vector<Setting> settings;
    int program = 0;
    bool dual = false;
    bool externalKey = false;
};

template <typename Sample>
std::uint64_t render(const vsthost::VstLibrary& library, const Render& r, const StereoSignal& signal,
                     const StereoSignal& key) {
    BenchPlugin plugin(library);
    if (r.program != 0) plugin.setProgram(r.program);
    for (const Setting& s : r.settings) plugin.set(s);
    plugin.resume();
    ChannelBuffers<Sample> buffers(signal, plugin.inputs(), plugin.outputs(),
                                   r.externalKey ? &key : nullptr);
    plugin.run(buffers);
    std::uint64_t hash = kFnvOffset;
    for (const std::vector<Sample>& channel : buffers.out)
        hash = fnv1a(hash, channel.data(), channel.size() * sizeof(Sample));
    return hash;
}

std::vector<Render> renders() {
    const char* modes[] = {"Mono-L", "2 Mono", "R-S.chn", "Mid.", "Side", "M/S", "Stereo"};
    const char* limiters[] = {"Pre", "Post", "Off"};
    std::vector<Render> list;
    const auto base = [](int f, bool hq, const std::string& mode, const std::string& limiter) {
        return std::vector<Setting>{{"Upsampl.", std::to_string(f) + "x"},
                                    {"Upsmpl.", hq ? "HQ" : "Fast"},
                                    {"Mode", mode},
                                    {"Limiter", limiter}};
    };
    const auto name = [](int f, bool hq, const std::string& mode, const std::string& limiter) {
        return std::to_string(f) + "x " + (hq ? "HQ " : "Fast ") + mode + " " + limiter;
    };
    // "Att.Mode" at 0.5 shows "Alpha" and runs Sigma: the position the
    // Sigma setting has always run, so its hash stays; Alpha runs at 1.
    const auto attackMode = [&](int f, bool alpha) {
        Render r{name(f, f == 8, "Stereo", "Pre") +
                     (alpha ? " alpha (att.mode 1)" : " att.mode 0.5 (shows Alpha, runs Sigma)") +
                     ", saturation off, input +6",
                 base(f, f == 8, "Stereo", "Pre")};
        r.settings.push_back({"Att.Mode", alpha ? "Alpha" : "@0.5"});
        r.settings.push_back({"Saturat.", "Off"});
        r.settings.push_back({"Input", "+6"});
        return r;
    };
    for (const char* mode : modes)
        for (int f : {1, 2, 4, 8})
            for (bool hq : {false, true})
                for (const char* limiter : limiters)
                    list.push_back({name(f, hq, mode, limiter), base(f, hq, mode, limiter)});
    for (const char* mode : {"2 Mono", "M/S", "Stereo"})
        for (int f : {1, 4, 8})
            for (const char* limiter : limiters) {
                Render r{name(f, f == 8, mode, limiter) + " scoop, dry/wet 0.5",
                         base(f, f == 8, mode, limiter)};
                // The position this setting has always run (-6.048 dB, the
                // first of 2000 steps to show "-6.0"), so its hash stays.
                r.settings.push_back({"MidScoop", "@0.248"});
                r.settings.push_back({"Dry/Wet", "@0.5"});
                list.push_back(r);
            }
    for (const char* mode : modes)
        for (int f : {1, 4, 8}) {
            Render r{name(f, f == 8, mode, "Pre") + " external key", base(f, f == 8, mode, "Pre")};
            r.settings.push_back({"Sd.chain", "External"});
            r.externalKey = true;
            list.push_back(r);
        }
    for (int f : {1, 4, 8}) {
        Render bypass{name(f, f == 8, "Stereo", "Pre") + " bypass", base(f, f == 8, "Stereo", "Pre")};
        bypass.settings.push_back({"Bypass", "On"});
        list.push_back(bypass);
        Render quiet{name(f, f == 8, "Stereo", "Pre") + " dither off",
                     base(f, f == 8, "Stereo", "Pre")};
        quiet.settings.push_back({"Dither", "Off"});
        list.push_back(quiet);
        list.push_back(attackMode(f, false));
    }
    for (const char* mode : {"2 Mono", "M/S", "Stereo"})
        for (int f : {1, 2, 4, 8})
            for (bool hq : {false, true}) {
                Render r{name(f, hq, mode, "Pre") + " double", base(f, hq, mode, "Pre")};
                r.dual = true;
                list.push_back(r);
            }
    for (int p = 0; p < 16; ++p) list.push_back({"program " + std::to_string(p), {}, p});
    // New settings go last: each instance takes the next noise seeds, so a
    // setting put in between would change the hash of every later one.
    for (int f : {1, 4, 8}) list.push_back(attackMode(f, true));
    return list;
}

}  // namespace

int printFingerprints(const std::string& pluginPath) {
    vsthost::VstLibrary library(pluginPath);
    const StereoSignal signal = fingerprintSignal(11);
    const StereoSignal key = fingerprintSignal(21);
    std::uint64_t all = kFnvOffset;
    int failures = 0;
    for (const Render& r : renders()) {
        try {
            const std::uint64_t hash = r.dual ? render<double>(library, r, signal, key)
                                              : render<float>(library, r, signal, key);
            std::printf("%016llx  %s\n", static_cast<unsigned long long>(hash), r.label.c_str());
            all = fnv1a(all, &hash, sizeof hash);
        } catch (const std::exception& e) {
            std::printf("failed            %s: %s\n", r.label.c_str(), e.what());
            ++failures;
        }
    }
    std::printf("%016llx  all\n", static_cast<unsigned long long>(all));
    return failures ? 1 : 0;
}

}  // namespace tarvo::bench
