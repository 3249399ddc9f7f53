#pragma once

#include <cstdint>
#include <string>

namespace tarvo::render {

/// What the summary after a render reports.
struct Summary {
    std::string plugin;   ///< effect name
    std::string program;  ///< current program's name, empty if the plug-in has none
    bool offline = true;
    bool doublePrecision = true;
    int blockSize = 512;
    std::string inputPath, outputPath, outputFormat;
    int sampleRate = 44100;
    std::int64_t outputFrames = 0;
    int latency = 0;
    bool compensated = true;
    double inputPeakDbfs = 0.0, outputPeakDbfs = 0.0;
    double inputLufs = 0.0, outputLufs = 0.0;
    std::int64_t clippedSamples = 0;  ///< beyond full scale in an integer output
    std::int64_t nonFiniteSamples = 0;      ///< NaN or infinite samples from the plug-in
    std::int64_t firstNonFiniteFrame = -1;  ///< output frame of the first
    int firstNonFiniteChannel = -1;         ///< its channel, 0 = left
    bool nonFiniteKept = false;             ///< written (--keep-non-finite), not discarded
    bool integerOutput = false;             ///< the file holds integers
    double renderSeconds = 0.0;       ///< wall-clock time of the render loop
};

/// The summary as printed: the setup, input and output peak (dBFS) and
/// integrated loudness (LUFS) with their change, the latency, the length
/// and the speed relative to real time, a warning for clipped samples, and
/// one for non-finite samples with their count, the place of the first and
/// what became of them.
std::string formatSummary(const Summary& summary);

}  // namespace tarvo::render
