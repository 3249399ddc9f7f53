#include "AutomationCompare.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "vsthost/VstInstance.h"
#include "vsthost/VstLibrary.h"

namespace tarvo::bench {

namespace {

constexpr int kParameters = 22;
constexpr int kBlocks = 4000;

/// One run; returns whether both libraries gave the same bits throughout.
template <typename Sample>
bool compareRun(const vsthost::VstLibrary& libraryA, const vsthost::VstLibrary& libraryB,
                unsigned seed) {
    vsthost::VstInstance a(libraryA);
    vsthost::VstInstance b(libraryB);
    for (vsthost::VstInstance* p : {&a, &b}) {
        p->start(44100.0f, 1024);
        p->resume();
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::deque<std::string> recent;  // the last parameter changes, for the report
    std::vector<Sample> in[4], outA[2], outB[2];
    long frame = 0;
    for (int block = 0; block < kBlocks; ++block) {
        const int frames = 1 + static_cast<int>(uniform(random) * 700);
        if (uniform(random) < 0.35) {
            const int index = static_cast<int>(uniform(random) * kParameters);
            const float value = static_cast<float>(uniform(random));
            a.setParameter(index, value);
            b.setParameter(index, value);
            recent.push_back("block " + std::to_string(block) + ": \"" + a.parameterName(index) +
                             "\" = \"" + a.parameterDisplay(index) + "\"");
            if (recent.size() > 12) recent.pop_front();
        }
        const int scene = (block / 25) % 6;
        for (auto& channel : in) channel.resize(frames);
        for (int i = 0; i < frames; ++i) {
            double x[4] = {noise(random), noise(random), 0.5 * noise(random), 0.5 * noise(random)};
            if (scene == 1) x[0] = x[2] = 0.0;                // left pair silent
            if (scene == 2) x[1] = x[3] = 0.0;                // right pair silent
            if (scene == 3) x[0] = x[1] = x[2] = x[3] = 0.0;  // everything silent
            if (scene == 4) x[2] = x[3] = 0.0;                // key silent
            if (scene == 5) x[1] = x[0];                      // no side signal
            for (int c = 0; c < 4; ++c) in[c][i] = static_cast<Sample>(x[c]);
        }
        Sample* inputs[4] = {in[0].data(), in[1].data(), in[2].data(), in[3].data()};
        for (int c = 0; c < 2; ++c) {
            outA[c].assign(frames, Sample(0));
            outB[c].assign(frames, Sample(0));
        }
        Sample* outputsA[2] = {outA[0].data(), outA[1].data()};
        Sample* outputsB[2] = {outB[0].data(), outB[1].data()};
        if (sizeof(Sample) == sizeof(double)) {
            a.processDoubleReplacing(reinterpret_cast<double**>(inputs),
                                     reinterpret_cast<double**>(outputsA), frames);
            b.processDoubleReplacing(reinterpret_cast<double**>(inputs),
                                     reinterpret_cast<double**>(outputsB), frames);
        } else {
            a.processReplacing(reinterpret_cast<float**>(inputs),
                               reinterpret_cast<float**>(outputsA), frames);
            b.processReplacing(reinterpret_cast<float**>(inputs),
                               reinterpret_cast<float**>(outputsB), frames);
        }
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i) {
                if (std::memcmp(&outA[c][i], &outB[c][i], sizeof(Sample)) == 0) continue;
                std::printf("seed %u (%s): first difference at frame %ld (block %d, frame %d "
                            "of %d), channel %d: %.17g vs %.17g\n",
                            seed, sizeof(Sample) == sizeof(double) ? "double" : "float",
                            frame + i, block, i, frames, c, static_cast<double>(outA[c][i]),
                            static_cast<double>(outB[c][i]));
                std::printf("last parameter changes:\n");
                for (const std::string& line : recent) std::printf("  %s\n", line.c_str());
                std::printf("settings now:");
                for (int p = 0; p < kParameters; ++p)
                    std::printf(" \"%s\"=\"%s\"", a.parameterName(p).c_str(),
                                a.parameterDisplay(p).c_str());
                std::printf("\n");
                return false;
            }
        frame += frames;
    }
    std::printf("seed %u (%s): %ld frames identical\n", seed,
                sizeof(Sample) == sizeof(double) ? "double" : "float", frame);
    return true;
}

}  // namespace

int compareUnderAutomation(const std::string& pluginA, const std::string& pluginB, int seeds) {
    const vsthost::VstLibrary libraryA(pluginA);
    const vsthost::VstLibrary libraryB(pluginB);
    bool same = true;
    for (int seed = 1; seed <= seeds; ++seed) {
        const unsigned s = static_cast<unsigned>(seed);
        const bool run = seed % 2 ? compareRun<float>(libraryA, libraryB, s)
                                  : compareRun<double>(libraryA, libraryB, s);
        same = same && run;
        std::fflush(stdout);
    }
    return same ? 0 : 1;
}

}  // namespace tarvo::bench
