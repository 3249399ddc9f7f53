#include "Render.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "AudioFile.h"
#include "HostedPlugin.h"
#include "LevelMeter.h"
#include "ProgressBar.h"

namespace tarvo::render {

namespace {

/// Frames of one channel, owned, and the pointer table a plug-in takes.
struct ChannelBuffers {
    ChannelBuffers(int channels, int frames)
        : data(static_cast<std::size_t>(std::max(channels, 0)),
               std::vector<double>(static_cast<std::size_t>(frames), 0.0)) {
        for (auto& channel : data) pointers.push_back(channel.data());
    }
    std::vector<std::vector<double>> data;
    std::vector<double*> pointers;
};

/// Reads up to `frames` frames of a file that may end early; the rest of
/// `interleaved` is zero. Returns the frames read.
std::int64_t readPadded(AudioReader& file, std::vector<double>& interleaved, std::int64_t frames,
                        bool& ended) {
    std::int64_t got = 0;
    if (!ended) {
        got = file.read(interleaved.data(), frames);
        if (got < frames) ended = true;
    }
    std::fill(interleaved.begin() + got * file.channels(),
              interleaved.begin() + frames * file.channels(), 0.0);
    return got;
}

/// Copies interleaved frames of a mono or stereo file into two channels
/// (a mono file into both).
void spread(const std::vector<double>& interleaved, int fileChannels, int frames, double* left,
            double* right) {
    for (int i = 0; i < frames; ++i) {
        const double l = interleaved[static_cast<std::size_t>(i * fileChannels)];
        left[i] = l;
        if (right)
            right[i] = fileChannels > 1 ? interleaved[static_cast<std::size_t>(i * fileChannels + 1)] : l;
    }
}

/// Replaces the non-finite samples among the first `count` by 0.
void silenceNonFinite(std::vector<double>& samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(samples[i])) samples[i] = 0.0;
}

}  // namespace

RenderResult render(HostedPlugin& plugin, AudioReader& input, AudioReader* sidechain,
                    AudioWriter& output, const RenderPlan& plan, RenderMonitors monitors) {
    const int block = plugin.setup().blockSize;
    const int pluginInputs = plugin.inputs();
    const int pluginOutputs = plugin.outputs();
    ChannelBuffers inputs(pluginInputs, block), outputs(pluginOutputs, block);
    std::vector<double> fileFrames(static_cast<std::size_t>(block * input.channels()));
    std::vector<double> sideFrames(sidechain ? static_cast<std::size_t>(block * sidechain->channels()) : 0);
    std::vector<double> mixed(static_cast<std::size_t>(block));
    std::vector<double> written(static_cast<std::size_t>(block * plan.outputChannels));

    const std::int64_t afterInput = plan.tailFrames + (plan.compensate ? plan.latency : 0);
    std::int64_t toDrop = plan.compensate ? plan.latency : 0;
    std::int64_t fedAfterInput = 0, fed = 0;
    bool inputEnded = false, sidechainEnded = false;
    RenderResult result;

    for (;;) {
        const std::int64_t got = readPadded(input, fileFrames, block, inputEnded);
        std::int64_t frames = got;
        if (inputEnded) {
            const std::int64_t extra = std::min<std::int64_t>(block - got, afterInput - fedAfterInput);
            fedAfterInput += extra;
            frames += extra;
        }
        if (frames == 0) break;
        const int count = static_cast<int>(frames);
        result.inputFrames += got;
        monitors.input.add(fileFrames.data(), got);

        spread(fileFrames, input.channels(), count, inputs.pointers[0],
               pluginInputs > 1 ? inputs.pointers[1] : nullptr);
        if (sidechain && pluginInputs > 2) {
            readPadded(*sidechain, sideFrames, frames, sidechainEnded);
            if (pluginInputs > 3) {
                spread(sideFrames, sidechain->channels(), count, inputs.pointers[2], inputs.pointers[3]);
            } else {
                // One side-chain input: the mix of a stereo side-chain.
                spread(sideFrames, sidechain->channels(), count, inputs.pointers[2], mixed.data());
                for (int i = 0; i < count; ++i)
                    inputs.pointers[2][i] = 0.5 * (inputs.pointers[2][i] + mixed[static_cast<std::size_t>(i)]);
            }
        }

        plugin.process(inputs.pointers.data(), outputs.pointers.data(), count);
        fed += frames;
        monitors.progress.update(fed);

        const std::int64_t skip = std::min(toDrop, frames);
        toDrop -= skip;
        const std::int64_t keep = frames - skip;
        std::int64_t nonFinite = 0;
        for (std::int64_t i = 0; i < keep; ++i)
            for (int c = 0; c < plan.outputChannels; ++c) {
                const double y = outputs.pointers[static_cast<std::size_t>(c)][skip + i];
                written[static_cast<std::size_t>(i * plan.outputChannels + c)] = y;
                if (std::isfinite(y)) continue;
                if (result.nonFiniteSamples + nonFinite == 0) {
                    result.firstNonFiniteFrame = result.outputFrames + i;
                    result.firstNonFiniteChannel = c;
                }
                ++nonFinite;
            }
        if (keep > 0) {
            const std::size_t count = static_cast<std::size_t>(keep * plan.outputChannels);
            if (nonFinite > 0 && plan.integerOutput) silenceNonFinite(written, count);
            output.write(written.data(), keep);
            if (nonFinite > 0) silenceNonFinite(written, count);
            monitors.output.add(written.data(), keep);
            result.outputFrames += keep;
            result.nonFiniteSamples += nonFinite;
        }
    }
    monitors.progress.finish();
    return result;
}

}  // namespace tarvo::render
