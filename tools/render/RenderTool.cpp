#include "RenderTool.h"

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

#include "AudioFile.h"
#include "DemoSignal.h"
#include "HostedPlugin.h"
#include "LevelMeter.h"
#include "PendingFile.h"
#include "PluginSettings.h"
#include "ProgressBar.h"
#include "Render.h"
#include "Summary.h"
#include "ToolError.h"

namespace tarvo::render {

namespace {

constexpr const char* kDemoProgram = "DRUM BUSS";
constexpr int kDemoFormat = SF_FORMAT_WAV | SF_FORMAT_PCM_24;

/// True when both paths name the same file, also through other spellings
/// or links.
bool sameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error);
    const fs::path first = fs::weakly_canonical(a, error);
    const fs::path second = fs::weakly_canonical(b, error);
    return !error && first == second;
}

void requireStereoAtMost(const AudioReader& file) {
    if (file.channels() > 2)
        throw processingError(file.path() + " has " + std::to_string(file.channels()) +
                              " channels; only mono and stereo files can be rendered");
}

/// Writes the demo's input signal, complete or not at all.
void writeDemoInput(const std::string& path) {
    const std::vector<double> signal = synthesiseDemo(kDemoSampleRate);
    PendingFile pending(path);
    AudioWriter writer(pending.descriptor(), path, outputFormatFor(path, kDemoFormat, SampleFormat::KeepInput),
                       kDemoChannels, kDemoSampleRate);
    writer.write(signal.data(), static_cast<std::int64_t>(signal.size() / kDemoChannels));
    writer.close();
    pending.commit();
}

/// Program, --set settings and, with a side-chain, Tarvo's "Sd.chain".
void applySettings(PluginSettings& settings, const Options& options) {
    if (!options.program.empty()) {
        settings.selectProgram(settings.findProgram(options.program));
    } else if (options.demo) {
        try {
            settings.selectProgram(settings.findProgram(kDemoProgram));
        } catch (const ToolError&) {
            // Another plug-in without that program renders its current one.
        }
    }
    std::set<int> set;
    for (const ParameterSetting& setting : options.settings) set.insert(settings.apply(setting));
    if (!options.sidechain.empty()) {
        // Tarvo listens to inputs 3 and 4 only with "Sd.chain" "External";
        // switch it unless the user chose.
        try {
            const int index = settings.findParameter("Sd.chain");
            if (!set.count(index)) settings.setByDisplay(index, "External");
        } catch (const ToolError&) {
            // A plug-in without such a parameter takes the side-chain as it is.
        }
    }
}

std::string header(HostedPlugin& plugin) {
    AEffect& effect = plugin.effect();
    std::string vendor = plugin.instance().vendorString();
    return plugin.name() + (vendor.empty() ? "" : " by " + vendor) + " (" + plugin.libraryPath() +
           "): " + std::to_string(effect.numInputs) + " inputs, " +
           std::to_string(effect.numOutputs) + " outputs, latency " +
           std::to_string(effect.initialDelay) + " samples\n";
}

}  // namespace

std::string demoInputPath(const std::string& output) {
    std::filesystem::path path(output);
    const std::string extension = path.extension().string();
    path.replace_filename(path.stem().string() + "-input" + (extension.empty() ? ".wav" : extension));
    return path.string();
}

int runTool(const Options& options) {
    const bool rendering = !options.output.empty();
    std::unique_ptr<AudioReader> input, sidechain;
    std::string inputPath = options.input;
    int sampleRate = kDemoSampleRate;
    int inputFormat = kDemoFormat;
    int inputChannels = kDemoChannels;

    if (options.demo) {
        inputPath = demoInputPath(options.output);
    } else if (!options.input.empty()) {
        input = std::make_unique<AudioReader>(options.input);
        requireStereoAtMost(*input);
        sampleRate = input->sampleRate();
        inputFormat = input->format();
        inputChannels = input->channels();
    }
    if (!options.sidechain.empty()) {
        sidechain = std::make_unique<AudioReader>(options.sidechain);
        requireStereoAtMost(*sidechain);
        if (sidechain->sampleRate() != sampleRate)
            throw processingError("the side-chain " + options.sidechain + " runs at " +
                                  std::to_string(sidechain->sampleRate()) + " Hz, the input at " +
                                  std::to_string(sampleRate) + " Hz; resample one of them");
    }
    int outputFormat = 0;
    if (rendering) {
        if (!inputPath.empty() && sameFile(inputPath, options.output))
            throw usageError("the output " + options.output + " is the input file; choose another name");
        if (!options.sidechain.empty() && sameFile(options.sidechain, options.output))
            throw usageError("the output " + options.output + " is the side-chain file; choose another name");
        outputFormat = outputFormatFor(options.output, inputFormat, options.format);
    }

    HostSetup setup;
    setup.sampleRate = static_cast<float>(sampleRate);
    setup.blockSize = options.blockSize;
    setup.offline = !options.realtime;
    setup.precision = options.precision;
    const std::string libraryPath =
        options.pluginPath.empty() ? HostedPlugin::defaultLibraryPath() : options.pluginPath;
    HostedPlugin plugin(libraryPath, setup);
    if (plugin.inputs() < 1 || plugin.outputs() < 1)
        throw processingError(libraryPath + " has " + std::to_string(plugin.inputs()) + " inputs and " +
                              std::to_string(plugin.outputs()) + " outputs; an effect needs both");
    if (inputChannels > plugin.inputs())
        throw processingError(libraryPath + " has only one input; give it a mono file");
    if (sidechain && plugin.inputs() < 3)
        throw processingError(libraryPath + " has " + std::to_string(plugin.inputs()) +
                              " inputs, none of them for a side-chain");

    PluginSettings settings(plugin.instance());
    applySettings(settings, options);
    if (options.list) {
        std::fputs(header(plugin).c_str(), stdout);
        std::fputs(settings.listing().c_str(), stdout);
        std::fflush(stdout);
    }
    if (!rendering) return 0;

    if (options.demo) {
        writeDemoInput(inputPath);
        input = std::make_unique<AudioReader>(inputPath);
    }
    const int outputChannels = std::min(inputChannels, plugin.outputs());
    PendingFile pending(options.output);
    AudioWriter writer(pending.descriptor(), options.output, outputFormat, outputChannels, sampleRate);

    RenderPlan plan;
    plan.latency = plugin.start();
    plan.compensate = !options.keepLatency;
    plan.tailFrames = static_cast<std::int64_t>(std::llround(options.tailSeconds * sampleRate));
    plan.outputChannels = outputChannels;
    plan.integerOutput = isIntegerFormat(outputFormat);
    LevelMeter inputMeter(inputChannels, sampleRate), outputMeter(outputChannels, sampleRate);
    ProgressBar progress(input->frames() + plan.tailFrames + (plan.compensate ? plan.latency : 0),
                         !options.quiet && ProgressBar::stderrIsTerminal());

    const auto begin = std::chrono::steady_clock::now();
    const RenderResult result =
        render(plugin, *input, sidechain.get(), writer, plan, RenderMonitors{inputMeter, outputMeter, progress});
    const auto end = std::chrono::steady_clock::now();
    plugin.stop();
    writer.close();
    const bool failed = result.nonFiniteSamples > 0 && !options.keepNonFinite;
    if (!failed) pending.commit();

    Summary summary;
    summary.plugin = plugin.name();
    if (plugin.effect().numPrograms > 0) summary.program = plugin.instance().programName();
    summary.offline = setup.offline;
    summary.doublePrecision = plugin.usesDouble();
    summary.blockSize = setup.blockSize;
    summary.inputPath = inputPath;
    summary.outputPath = options.output;
    summary.outputFormat = describeFormat(outputFormat) + (outputChannels == 1 ? ", mono" : ", stereo");
    summary.sampleRate = sampleRate;
    summary.outputFrames = result.outputFrames;
    summary.latency = plan.latency;
    summary.compensated = plan.compensate;
    summary.inputPeakDbfs = inputMeter.peakDbfs();
    summary.outputPeakDbfs = outputMeter.peakDbfs();
    summary.inputLufs = inputMeter.loudnessLufs();
    summary.outputLufs = outputMeter.loudnessLufs();
    summary.clippedSamples = isIntegerFormat(outputFormat) ? outputMeter.samplesAboveFullScale() : 0;
    summary.renderSeconds = std::chrono::duration<double>(end - begin).count();
    summary.nonFiniteSamples = result.nonFiniteSamples;
    summary.firstNonFiniteFrame = result.firstNonFiniteFrame;
    summary.firstNonFiniteChannel = result.firstNonFiniteChannel;
    summary.nonFiniteKept = !failed;
    summary.integerOutput = plan.integerOutput;
    std::fputs(formatSummary(summary).c_str(), stdout);
    std::fflush(stdout);
    if (failed)
        throw processingError("the plug-in returned " + std::to_string(result.nonFiniteSamples) +
                              " non-finite samples; " + options.output +
                              " was not written (--keep-non-finite writes it)");
    return 0;
}

}  // namespace tarvo::render
