#pragma once

// What the conformance suite shares: the parameter numbers a host sees, the
// positions that select choice options, audio buffers as a host hands them
// over, seeded test signals and the checks every output block must pass.

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/PluginUnderTest.h"
#include "vsthost/VstInstance.h"

namespace tarvo::conformance {

using vsthost::VstInstance;

constexpr int kParams = 22;
constexpr int kPrograms = 16;

/// Parameter numbers, as a host addresses them.
enum Param : VstInt32 {
    kFilter = 0, kThreshold, kKnee, kAttack, kRelease, kRatio, kLimiterCeiling, kMakeup,
    kMidScoop, kDryWet, kMode, kUpsampling, kAttackMode, kInput, kLimiterPosition,
    kSaturation, kBypass, kRender8x, kDither, kSideChain, kArTime, kPath,
};

/// Option counts of the choice parameters (0 for continuous ones).
int optionCount(int param);
/// The position that selects option `option` of a choice parameter.
float optionPosition(int param, int option);

/// The sample rates every audio test runs at: the common ones and odd ones.
const std::vector<float>& allSampleRates();
/// Human-readable test name part for a rate: "r44100", "r1234_5678".
std::string rateName(float rate);

/// Factors 1, 2, 4, 8, each "Fast" and "HQ": the "Upsampl." option and the
/// "Upsmpl." option.
struct Oversampling {
    int upsamplingOption;  ///< 0..3 for 1x..8x
    bool hq;
};
const std::vector<Oversampling>& allOversamplings();

/// Selects the factor and path; the engine takes them at the next block
/// (or at once while suspended).
void selectOversampling(VstInstance& plugin, const Oversampling& oversampling);

/// A host's audio buffers: 4 inputs (main pair, side-chain pair) and 2
/// outputs of `capacity` frames, with the pointer arrays the record's
/// processing entries take.
template <typename Sample>
struct AudioBuffers {
    explicit AudioBuffers(int capacity);
    std::vector<Sample> inputs[4];
    std::vector<Sample> outputs[2];
    Sample* inputPointers[4];
    Sample* outputPointers[2];
    int capacity() const { return static_cast<int>(inputs[0].size()); }

    /// Uniform noise in [-amplitude, amplitude] on all four inputs.
    void fillNoise(std::mt19937& random, double amplitude, int frames);
    /// The same value on all four inputs.
    void fill(double value, int frames);
    /// Outputs set to a value the plug-in never produces, to see what it wrote.
    void markOutputs(Sample mark);
};

/// Runs one block of `frames` through the matching processing entry.
void process(VstInstance& plugin, AudioBuffers<float>& buffers, int frames);
void process(VstInstance& plugin, AudioBuffers<double>& buffers, int frames);

/// Findings over output samples: non-finite values, subnormal values, peak.
struct OutputCheck {
    std::int64_t samples = 0;
    std::int64_t nonFinite = 0;
    std::int64_t subnormal = 0;
    double peak = 0.0;
    std::string firstProblem;

    template <typename Sample>
    void add(const AudioBuffers<Sample>& buffers, int frames, const std::string& where);
    bool clean() const { return nonFinite == 0 && subnormal == 0; }
    std::string summary() const;
};

/// True when x is a subnormal number of its type (not zero, below the
/// smallest normal magnitude).
template <typename Sample>
bool isSubnormal(Sample x) {
    return x != Sample(0) && std::fabs(x) < std::numeric_limits<Sample>::min();
}

/// A fresh instance of the plug-in under test, started like a host starts
/// it (effOpen, rate, block size, resume), with recording of host requests
/// switched off so long runs stay small.
std::unique_ptr<VstInstance> startedInstance(float rate, VstInt32 blockSize);

}  // namespace tarvo::conformance
