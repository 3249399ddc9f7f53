// No heap allocation inside a processing call, counted on the audio thread
// while the call runs, whatever arrived before it: any parameter or program,
// a change of the oversampling factor or path, a new sample rate while
// running, the switch into and out of offline rendering at 8x. The limiter
// windows keep storage for every rate and factor from construction on.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "conformance/AllocationCounter.h"
#include "conformance/ConformanceHost.h"

namespace tarvo::conformance {
namespace {

/// The highest host rate the plug-in accepts: its longest limiter window at 8x.
constexpr float kHighestRate = 4.0e6f;

/// Three blocks after a change (the first runs the configuration pass, the
/// second any pass it left marks for): none allocates or releases anything.
template <typename Sample>
void expectBlocksAllocateNothing(VstInstance& plugin, AudioBuffers<Sample>& buffers, int frames,
                                 const std::string& where) {
    for (int block = 1; block <= 3; ++block) {
        AllocationScope scope;
        process(plugin, buffers, frames);
        EXPECT_EQ(scope.allocations(), 0u) << where << ", block " << block << " after the change";
        EXPECT_EQ(scope.releases(), 0u) << where << ", block " << block << " after the change";
    }
}

TEST(Allocation, CounterSeesAllocationsOfThisThreadOnlyWhileCounting) {
    std::uint64_t counted = 0;
    {
        AllocationScope scope;
        // volatile: the compiler may not drop a malloc whose result is unused.
        void* volatile p = std::malloc(16);
        auto q = std::make_unique<double[]>(4);
        std::free(p);
        counted = scope.allocations();
        EXPECT_EQ(scope.releases(), 1u) << allocationCountingMethod();
    }
    EXPECT_EQ(counted, 2u) << allocationCountingMethod();

    AllocationScope idle;
    EXPECT_EQ(idle.allocations(), 0u);
}

// Every factor and path, up from 1x and back down again, so the limiter
// windows grow eightfold and shrink.
template <typename Sample>
void checkFactorChanges(float rate, int frames) {
    const std::string where = rateName(rate) + " block " + std::to_string(frames);
    auto plugin = startedInstance(rate, frames);
    AudioBuffers<Sample> buffers(frames);
    std::mt19937 random(7);
    buffers.fillNoise(random, 0.5, frames);
    expectBlocksAllocateNothing(*plugin, buffers, frames, where + ", start");

    std::vector<Oversampling> order = allOversamplings();
    order.insert(order.end(), allOversamplings().rbegin(), allOversamplings().rend());
    for (const Oversampling& oversampling : order) {
        selectOversampling(*plugin, oversampling);
        expectBlocksAllocateNothing(*plugin, buffers, frames,
                                    where + ", factor option " +
                                        std::to_string(oversampling.upsamplingOption) +
                                        (oversampling.hq ? " HQ" : " Fast"));
    }
}

TEST(Allocation, FactorChangesAllocateNothing) {
    for (float rate : allSampleRates()) {
        checkFactorChanges<float>(rate, 64);
        checkFactorChanges<double>(rate, 7);
    }
    checkFactorChanges<double>(44100.0f, 1);
    checkFactorChanges<float>(44100.0f, 4096);
    checkFactorChanges<double>(kHighestRate, 64);
}

TEST(Allocation, ParameterAndProgramChangesAllocateNothing) {
    auto plugin = startedInstance(48000.0f, 64);
    AudioBuffers<float> buffers(64);
    std::mt19937 random(11);
    buffers.fillNoise(random, 0.5, 64);
    std::uniform_real_distribution<float> position(0.0f, 1.0f);
    for (int round = 0; round < 20; ++round) {
        for (int p = 0; p < kParams; ++p) {
            plugin->setParameter(p, position(random));
            expectBlocksAllocateNothing(*plugin, buffers, 64,
                                        "parameter " + std::to_string(p) + " round " +
                                            std::to_string(round));
        }
    }
    for (int program = 0; program < kPrograms; ++program) {
        plugin->dispatch(effSetProgram, 0, program);
        expectBlocksAllocateNothing(*plugin, buffers, 64, "program " + std::to_string(program));
    }
}

// A host that sets the rate while the instance runs: every rate, then 8x HQ
// at it (the rate re-derives the program's factor), up to the highest rate
// accepted and back down.
TEST(Allocation, RateChangesWhileActiveAllocateNothing) {
    auto plugin = startedInstance(44100.0f, 512);
    AudioBuffers<double> buffers(512);
    std::mt19937 random(5);
    buffers.fillNoise(random, 0.5, 512);
    std::vector<float> rates = allSampleRates();
    rates.push_back(kHighestRate);
    rates.insert(rates.end(), allSampleRates().rbegin(), allSampleRates().rend());
    for (float rate : rates) {
        plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        expectBlocksAllocateNothing(*plugin, buffers, 512, "rate " + rateName(rate));
        selectOversampling(*plugin, Oversampling{3, true});
        expectBlocksAllocateNothing(*plugin, buffers, 512, "rate " + rateName(rate) + " at 8x HQ");
    }
}

TEST(Allocation, OfflineRenderingSwitchAllocatesNothing) {
    auto plugin = startedInstance(44100.0f, 256);
    plugin->setParameter(kRender8x, 1.0f);
    plugin->setParameter(kUpsampling, optionPosition(kUpsampling, 0));
    AudioBuffers<float> buffers(256);
    std::mt19937 random(3);
    buffers.fillNoise(random, 0.5, 256);
    for (int round = 0; round < 3; ++round) {
        plugin->host().answers().processLevel = kVstProcessLevelOffline;
        expectBlocksAllocateNothing(*plugin, buffers, 256, "to offline");
        plugin->host().answers().processLevel = kVstProcessLevelRealtime;
        expectBlocksAllocateNothing(*plugin, buffers, 256, "to realtime");
    }
}

}  // namespace
}  // namespace tarvo::conformance
