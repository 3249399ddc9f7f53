// Opening and closing as hosts do it: cold (closed right after creation),
// warm (after audio), 200 instances in a row, and the sample rate changed
// while the instance is active ("non-releasing" processing).

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <memory>
#include <string>

#include "conformance/AllocationCounter.h"
#include "conformance/ConformanceHost.h"

namespace tarvo::conformance {
namespace {

using test::pluginLibrary;

TEST(Lifecycle, ColdOpenAndClose) {
    // Created and closed without effOpen, without resume, without audio.
    VstInstance cold(pluginLibrary());
    EXPECT_EQ(cold.close(), 1);

    // effOpen and effClose only.
    VstInstance opened(pluginLibrary());
    EXPECT_EQ(opened.dispatch(effOpen), 0);
    EXPECT_EQ(opened.close(), 1);
}

TEST(Lifecycle, WarmOpenAndClose) {
    for (bool suspendFirst : {true, false}) {
        auto plugin = startedInstance(48000.0f, 512);
        AudioBuffers<float> buffers(512);
        std::mt19937 random(1);
        buffers.fillNoise(random, 1.0, 512);
        for (int block = 0; block < 8; ++block) process(*plugin, buffers, 512);
        if (suspendFirst) plugin->suspend();
        EXPECT_EQ(plugin->close(), 1);
    }
}

TEST(Lifecycle, TwoHundredInstancesInARow) {
    AudioBuffers<double> buffers(64);
    std::mt19937 random(2);
    for (int n = 0; n < 200; ++n) {
        VstInstance plugin(pluginLibrary());
        plugin.host().setRecording(false);
        ASSERT_EQ(plugin.effect().magic, kEffectMagic) << "instance " << n;
        plugin.start(44100.0f, 64);
        buffers.fillNoise(random, 1.0, 64);
        process(plugin, buffers, 64);
        OutputCheck check;
        check.add(buffers, 64, "instance " + std::to_string(n));
        EXPECT_TRUE(check.clean()) << check.summary();
        plugin.suspend();
        ASSERT_EQ(plugin.close(), 1) << "instance " << n;
    }
}

TEST(Lifecycle, ManyInstancesAliveAtOnceAndClosedInAnotherOrder) {
    std::vector<std::unique_ptr<VstInstance>> plugins;
    for (int n = 0; n < 16; ++n) plugins.push_back(startedInstance(44100.0f, 128));
    AudioBuffers<float> buffers(128);
    std::mt19937 random(3);
    for (auto& plugin : plugins) {
        buffers.fillNoise(random, 1.0, 128);
        process(*plugin, buffers, 128);
    }
    std::shuffle(plugins.begin(), plugins.end(), random);
    for (auto& plugin : plugins) EXPECT_EQ(plugin->close(), 1);
}

// A host that changes the sample rate while the instance runs, without the
// suspend and resume around it, at every factor, in both directions.
TEST(Lifecycle, SampleRateChangedWhileActive) {
    for (const Oversampling& oversampling : allOversamplings()) {
        auto plugin = startedInstance(44100.0f, 256);
        AudioBuffers<double> doubles(256);
        AudioBuffers<float> floats(256);
        std::mt19937 random(static_cast<unsigned>(oversampling.upsamplingOption * 2 + oversampling.hq));
        std::vector<float> rates = allSampleRates();
        std::shuffle(rates.begin(), rates.end(), random);
        rates.insert(rates.end(), allSampleRates().rbegin(), allSampleRates().rend());
        OutputCheck check;
        for (float rate : rates) {
            plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
            selectOversampling(*plugin, oversampling);  // the rate re-derives the factor
            for (int block = 0; block < 8; ++block) {
                const std::string where = "to " + rateName(rate) + " block " + std::to_string(block);
                if (block % 2) {
                    doubles.fillNoise(random, 2.0, 256);
                    process(*plugin, doubles, 256);
                    check.add(doubles, 256, where);
                } else {
                    floats.fillNoise(random, 2.0, 256);
                    process(*plugin, floats, 256);
                    check.add(floats, 256, where);
                }
            }
        }
        EXPECT_TRUE(check.clean()) << "factor option " << oversampling.upsamplingOption
                                   << (oversampling.hq ? " HQ: " : " Fast: ") << check.summary();
        EXPECT_GT(check.peak, 0.1);
    }
}

// Processing before resume and after suspend is accepted and processes.
TEST(Lifecycle, ProcessingWhileSuspendedStillProcesses) {
    VstInstance plugin(pluginLibrary());
    plugin.host().setRecording(false);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    AudioBuffers<float> buffers(256);
    std::mt19937 random(4);
    OutputCheck check;
    for (int block = 0; block < 4; ++block) {
        buffers.fillNoise(random, 1.0, 256);
        process(plugin, buffers, 256);
        check.add(buffers, 256, "never resumed");
    }
    plugin.resume();
    plugin.suspend();
    for (int block = 0; block < 4; ++block) {
        buffers.fillNoise(random, 1.0, 256);
        process(plugin, buffers, 256);
        check.add(buffers, 256, "suspended");
    }
    EXPECT_TRUE(check.clean()) << check.summary();
    EXPECT_GT(check.peak, 0.1);
}

// Hosts that scan, bridge or sandbox plug-ins load and unload the library many
// times in one process: a cycle of loading, one instance and unloading must
// leave nothing allocated behind (counted as allocations minus releases).
// The C++ runtime linked into Tarvo.so allocates its exception emergency pool
// (72704 bytes) when the library is loaded and never frees it; the library is
// linked with -z nodelete, so it stays mapped after the last dlclose and the
// next dlopen reuses it instead of leaking a pool per cycle.
TEST(Lifecycle, LoadingAndUnloadingTheLibraryLeavesNothingBehind) {
    const std::string path = test::pluginPath();
    if (void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(loaded);
        GTEST_SKIP() << "the library is loaded already in this process (run this test on its own)";
    }
    auto cycle = [&] {
        vsthost::VstLibrary library(path);
        VstInstance plugin(library);
        plugin.start(44100.0f, 64);
        AudioBuffers<float> buffers(64);
        buffers.fill(0.25, 64);
        process(plugin, buffers, 64);
    };
    for (int warm = 0; warm < 3; ++warm) cycle();  // the loader's own first-time allocations
    AllocationScope scope;
    for (int n = 0; n < 20; ++n) cycle();
    const auto kept = static_cast<std::int64_t>(scope.allocations()) - static_cast<std::int64_t>(scope.releases());
    EXPECT_LE(kept, 0) << kept << " allocations not released after 20 load-unload cycles ("
                       << allocationCountingMethod() << ")";
}

}  // namespace
}  // namespace tarvo::conformance
