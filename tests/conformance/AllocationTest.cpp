// No heap allocation inside a processing call, counted on the audio thread
// while the call runs. The one allowed exception is the limiter window that a
// configuration pass resizes after a change of the oversampling factor or of
// the sample rate: the pass of the first block after the change switches the
// factor and marks the detector for redesign, which the pass of the second
// block carries out, so the two strips' windows may be reallocated (and the
// old ones freed) in either of those two blocks, once each.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "conformance/AllocationCounter.h"
#include "conformance/ConformanceHost.h"

namespace tarvo::conformance {
namespace {

/// Allocations and releases of one processing call.
struct CallCount {
    std::uint64_t allocations;
    std::uint64_t releases;
};

template <typename Sample>
CallCount countedBlock(VstInstance& plugin, AudioBuffers<Sample>& buffers, int frames) {
    AllocationScope scope;
    process(plugin, buffers, frames);
    return {scope.allocations(), scope.releases()};
}

/// Five blocks after a change: the first two together allocate at most the
/// two limiter windows, the last three nothing. Returns the allocations of
/// the first two.
template <typename Sample>
std::uint64_t blocksAfterChange(VstInstance& plugin, AudioBuffers<Sample>& buffers, int frames,
                                std::uint64_t allowed, const std::string& where) {
    const CallCount first = countedBlock(plugin, buffers, frames);
    const CallCount second = countedBlock(plugin, buffers, frames);
    EXPECT_LE(first.allocations + second.allocations, allowed) << where;
    EXPECT_LE(first.releases + second.releases, allowed) << where;
    for (int block = 0; block < 3; ++block) {
        const CallCount later = countedBlock(plugin, buffers, frames);
        EXPECT_EQ(later.allocations, 0u) << where << ", block " << block + 3 << " after the change";
        EXPECT_EQ(later.releases, 0u) << where << ", block " << block + 3 << " after the change";
    }
    return first.allocations + second.allocations;
}

/// Allocations the window resize may make: one new window per strip.
constexpr std::uint64_t kWindowResize = 2;

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

// A block that changes nothing allocates nothing; after a factor change the
// first block may resize the two limiter windows (and free the old ones),
// at most once per strip, and the blocks after it allocate nothing again.
template <typename Sample>
void checkFactorChanges(float rate, int frames) {
    const std::string where = rateName(rate) + " block " + std::to_string(frames);
    auto plugin = startedInstance(rate, frames);
    AudioBuffers<Sample> buffers(frames);
    std::mt19937 random(7);
    buffers.fillNoise(random, 0.5, frames);
    // The passes after start-up: the rate marks the detector, the program's
    // factor for the rate marks it again.
    for (int block = 0; block < 3; ++block) process(*plugin, buffers, frames);

    bool sawResize = false;
    for (const Oversampling& oversampling : allOversamplings()) {
        selectOversampling(*plugin, oversampling);
        const std::string change = where + ", factor option " +
                                   std::to_string(oversampling.upsamplingOption) +
                                   (oversampling.hq ? " HQ" : " Fast");
        sawResize = blocksAfterChange(*plugin, buffers, frames, kWindowResize, change) > 0 || sawResize;
    }
    // From 1x to 8x the window grows eightfold: the counter must see the
    // plug-in's own runtime allocate it.
    EXPECT_TRUE(sawResize) << where << " (" << allocationCountingMethod() << ")";
}

TEST(Allocation, FactorChangesAllocateOnlyInTheirFirstBlock) {
    for (float rate : allSampleRates()) {
        checkFactorChanges<float>(rate, 64);
        checkFactorChanges<double>(rate, 7);
    }
    checkFactorChanges<double>(44100.0f, 1);
    checkFactorChanges<float>(44100.0f, 4096);
}

TEST(Allocation, ParameterAndProgramChangesOtherThanTheFactorAllocateNothing) {
    auto plugin = startedInstance(48000.0f, 64);
    AudioBuffers<float> buffers(64);
    std::mt19937 random(11);
    buffers.fillNoise(random, 0.5, 64);
    for (int block = 0; block < 3; ++block) process(*plugin, buffers, 64);
    std::uniform_real_distribution<float> position(0.0f, 1.0f);
    for (int round = 0; round < 20; ++round) {
        for (int p = 0; p < kParams; ++p) {
            if (p == kUpsampling || p == kPath || p == kRender8x) continue;
            plugin->setParameter(p, position(random));
            const CallCount count = countedBlock(*plugin, buffers, 64);
            EXPECT_EQ(count.allocations, 0u) << "parameter " << p << " round " << round;
        }
    }
    // Programs: the first block after a load may resize only if the factor
    // or path changed.
    for (int program = 0; program < kPrograms; ++program) {
        const std::string factorBefore = plugin->parameterDisplay(kUpsampling);
        const std::string pathBefore = plugin->parameterDisplay(kPath);
        plugin->dispatch(effSetProgram, 0, program);
        const bool factorChanged = plugin->parameterDisplay(kUpsampling) != factorBefore ||
                                   plugin->parameterDisplay(kPath) != pathBefore;
        blocksAfterChange(*plugin, buffers, 64, factorChanged ? kWindowResize : 0,
                          "program " + std::to_string(program));
    }
}

TEST(Allocation, RateChangesWhileActiveAllocateOnlyInTheirFirstBlock) {
    auto plugin = startedInstance(44100.0f, 512);
    AudioBuffers<double> buffers(512);
    std::mt19937 random(5);
    buffers.fillNoise(random, 0.5, 512);
    for (int block = 0; block < 3; ++block) process(*plugin, buffers, 512);
    for (float rate : allSampleRates()) {
        plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        // A new rate may also change the program's factor for that rate:
        // the window is then resized for the rate and again for the factor.
        blocksAfterChange(*plugin, buffers, 512, 2 * kWindowResize, "rate " + rateName(rate));
    }
}

TEST(Allocation, OfflineRenderingSwitchAllocatesOnlyInItsFirstBlock) {
    auto plugin = startedInstance(44100.0f, 256);
    plugin->setParameter(kRender8x, 1.0f);
    plugin->setParameter(kUpsampling, optionPosition(kUpsampling, 0));
    AudioBuffers<float> buffers(256);
    std::mt19937 random(3);
    buffers.fillNoise(random, 0.5, 256);
    for (int block = 0; block < 3; ++block) process(*plugin, buffers, 256);
    for (int round = 0; round < 3; ++round) {
        plugin->host().answers().processLevel = kVstProcessLevelOffline;
        EXPECT_GT(blocksAfterChange(*plugin, buffers, 256, kWindowResize, "to offline"), 0u);
        plugin->host().answers().processLevel = kVstProcessLevelRealtime;
        EXPECT_GT(blocksAfterChange(*plugin, buffers, 256, kWindowResize, "to realtime"), 0u);
    }
}

}  // namespace
}  // namespace tarvo::conformance
