#pragma once

#include <cstdint>

namespace tarvo::render {

class AudioReader;
class AudioWriter;
class HostedPlugin;
class LevelMeter;
class ProgressBar;

/// What the render loop does besides processing.
struct RenderPlan {
    int latency = 0;           ///< the plug-in's initialDelay, in samples
    bool compensate = true;    ///< drop the first `latency` output samples
    std::int64_t tailFrames = 0;  ///< silence rendered after the input
    int outputChannels = 2;    ///< the output file's channels (1 or 2)
    bool integerOutput = false;   ///< the file holds integers: non-finite samples go in as 0
};

/// Where the loop's frames go besides the plug-in and the output file.
struct RenderMonitors {
    LevelMeter& input;
    LevelMeter& output;
    ProgressBar& progress;
};

struct RenderResult {
    std::int64_t inputFrames = 0;   ///< frames read from the input file
    std::int64_t outputFrames = 0;  ///< frames written
    std::int64_t nonFiniteSamples = 0;     ///< NaN or infinite samples the plug-in returned
    std::int64_t firstNonFiniteFrame = -1;  ///< output frame of the first, -1 for none
    int firstNonFiniteChannel = -1;         ///< its channel, 0 = left
};

/// Streams the input through the started plug-in block by block into the
/// output. Plug-in inputs 1 and 2 get the input's channels (a mono input
/// feeds both), inputs 3 and 4 the side-chain's (silence without one; a
/// three-input plug-in gets its mix on input 3; a shorter side-chain ends
/// in silence); further inputs get silence. The output gets the first
/// `outputChannels` plug-in outputs.
///
/// With compensation the input is followed by `latency` zero frames and the
/// first `latency` output frames are dropped, so the output lines up with
/// the input sample for sample and has its length (plus the tail).
///
/// Non-finite output samples (NaN, infinities) are counted with the place of
/// the first; they go into a float file as they are and into an integer file
/// as 0, and the output meter takes them as 0.
RenderResult render(HostedPlugin& plugin, AudioReader& input, AudioReader* sidechain,
                    AudioWriter& output, const RenderPlan& plan, RenderMonitors monitors);

}  // namespace tarvo::render
