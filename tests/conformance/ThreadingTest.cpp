// Threads as hosts use them: several instances processing on their own
// threads at once, independent of each other; and one instance whose
// parameters a control thread sets while its audio thread processes.
// Meant to run under ThreadSanitizer too (ctest -R Threading).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "conformance/ConformanceHost.h"

namespace tarvo::conformance {
namespace {

/// The same settings and input through one instance: the left and right
/// outputs of every block, in order.
std::vector<float> renderOnThisThread(VstInstance& plugin, int blocks) {
    AudioBuffers<float> buffers(256);
    std::mt19937 random(77);
    std::vector<float> out;
    for (int block = 0; block < blocks; ++block) {
        buffers.fillNoise(random, 1.0, 256);
        process(plugin, buffers, 256);
        out.insert(out.end(), buffers.outputs[0].begin(), buffers.outputs[0].end());
        out.insert(out.end(), buffers.outputs[1].begin(), buffers.outputs[1].end());
    }
    return out;
}

std::unique_ptr<VstInstance> deterministicInstance() {
    auto plugin = startedInstance(48000.0f, 256);
    plugin->setParameter(kDither, optionPosition(kDither, 1));  // no noise: identical outputs
    plugin->setParameter(kPath, 1.0f);                          // HQ: the halfband stages too
    return plugin;
}

TEST(Threading, InstancesOnSeparateThreadsAreIndependent) {
    constexpr int kBlocks = 200;
    const std::vector<float> expected = renderOnThisThread(*deterministicInstance(), kBlocks);

    constexpr int kThreads = 4;
    std::vector<std::vector<float>> results(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Created, run and closed on its own thread, all at the same time.
            auto plugin = deterministicInstance();
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            results[t] = renderOnThisThread(*plugin, kBlocks);
            plugin->close();
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(results[t] == expected) << "thread " << t;
}

// One thread sets every parameter 500 times while the audio thread processes
// 500 blocks of 32 frames and makes random parameter changes of its own.
void parameterThreadWhileAudioRuns(bool suspended) {
    auto plugin = startedInstance(44100.0f, 32);
    // A host that processes a suspended instance: parameter changes then
    // configure the engine on the control thread, beside the audio thread.
    if (suspended) plugin->suspend();
    std::atomic<bool> started{false};
    std::atomic<int> rounds{0};

    std::thread control([&] {
        while (!started.load()) std::this_thread::yield();
        std::mt19937 random(91);
        std::uniform_real_distribution<float> anyPosition(0.0f, 1.0f);
        char text[64];
        for (int round = 0; round < 500; ++round) {
            for (int p = 0; p < kParams; ++p) {
                plugin->setParameter(p, anyPosition(random));
                // A host's generic window reads back what it set.
                (void)plugin->getParameter(p);
                plugin->dispatch(effGetParamDisplay, p, 0, text);
            }
            rounds.store(round + 1);
        }
    });

    AudioBuffers<float> floats(32);
    AudioBuffers<double> doubles(32);
    std::mt19937 random(92);
    std::uniform_int_distribution<int> anyParameter(0, kParams - 1);
    std::uniform_real_distribution<float> anyPosition(0.0f, 1.0f);
    OutputCheck check;
    started.store(true);
    for (int block = 0; block < 500; ++block) {
        plugin->setParameter(anyParameter(random), anyPosition(random));
        if (block % 2) {
            doubles.fillNoise(random, 1.0, 32);
            process(*plugin, doubles, 32);
            check.add(doubles, 32, "block " + std::to_string(block));
        } else {
            floats.fillNoise(random, 1.0, 32);
            process(*plugin, floats, 32);
            check.add(floats, 32, "block " + std::to_string(block));
        }
    }
    control.join();
    EXPECT_EQ(rounds.load(), 500);
    EXPECT_TRUE(check.clean()) << check.summary();

    // Afterwards the instance is consistent: positions within range, audio finite.
    for (int p = 0; p < kParams; ++p) {
        const float position = plugin->getParameter(p);
        EXPECT_TRUE(position >= 0.0f && position <= 1.0f) << p;
    }
    OutputCheck after;
    for (int block = 0; block < 16; ++block) {
        floats.fillNoise(random, 1.0, 32);
        process(*plugin, floats, 32);
        after.add(floats, 32, "after, block " + std::to_string(block));
    }
    EXPECT_TRUE(after.clean()) << after.summary();
}

TEST(Threading, ParameterThreadWhileAudioRuns) { parameterThreadWhileAudioRuns(false); }

// While suspended, setParameter configures the engine on the control thread
// and then compares the record's initialDelay with the latency last told to
// the host; a processing call on the audio thread may configure the engine
// and store the delay at the same moment. Whoever holds the engine does both,
// so ThreadSanitizer must find no race.
TEST(Threading, ParameterThreadWhileASuspendedInstanceProcesses) {
    parameterThreadWhileAudioRuns(true);
}

// A host's control thread switching programs, renaming them and reading the
// generic window's texts while the audio thread processes (also a suspended
// instance, whose program changes configure the engine on the control thread).
void programChangesWhileAudioRuns(bool suspended) {
    auto plugin = startedInstance(48000.0f, 64);
    if (suspended) plugin->suspend();
    std::atomic<bool> started{false};
    std::thread control([&] {
        while (!started.load()) std::this_thread::yield();
        std::mt19937 random(93);
        std::uniform_int_distribution<int> anyProgram(0, kPrograms - 1);
        char text[64];
        for (int round = 0; round < 300; ++round) {
            plugin->dispatch(effSetProgram, 0, anyProgram(random));
            std::snprintf(text, sizeof text, "take %d", round);
            plugin->dispatch(effSetProgramName, 0, 0, text);
            plugin->dispatch(effGetProgramName, 0, 0, text);
            for (int p = 0; p < kParams; ++p) plugin->dispatch(effGetParamDisplay, p, 0, text);
        }
    });
    AudioBuffers<double> buffers(64);
    std::mt19937 random(94);
    OutputCheck check;
    started.store(true);
    for (int block = 0; block < 600; ++block) {
        buffers.fillNoise(random, 1.0, 64);
        process(*plugin, buffers, 64);
        check.add(buffers, 64, "block " + std::to_string(block));
    }
    control.join();
    EXPECT_TRUE(check.clean()) << check.summary();
}

TEST(Threading, ProgramChangesWhileAudioRuns) { programChangesWhileAudioRuns(false); }

TEST(Threading, ProgramChangesWhileASuspendedInstanceProcesses) { programChangesWhileAudioRuns(true); }

}  // namespace
}  // namespace tarvo::conformance
