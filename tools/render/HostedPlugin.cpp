#include "HostedPlugin.h"

#include <unistd.h>

#include <filesystem>

#include "ToolError.h"

#ifndef TARVO_DEFAULT_PLUGIN
#define TARVO_DEFAULT_PLUGIN "Tarvo.so"
#endif

namespace tarvo::render {

namespace {

// VstTimeInfo::flags bits a host sets for a running transport.
constexpr VstInt32 kTransportPlaying = 1 << 1;
constexpr VstInt32 kNanosValid = 1 << 8;
constexpr VstInt32 kPpqPosValid = 1 << 9;
constexpr VstInt32 kTempoValid = 1 << 10;
constexpr VstInt32 kTimeSigValid = 1 << 13;
constexpr double kTempo = 120.0;

/// A path dlopen takes as a file rather than a name to search for.
std::string loadablePath(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw processingError("plug-in library " + path + " does not exist");
    return std::filesystem::absolute(path, error).string();
}

}  // namespace

std::string HostedPlugin::defaultLibraryPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path() / "Tarvo.so";
        if (std::filesystem::exists(beside, error)) return beside.string();
    }
    return TARVO_DEFAULT_PLUGIN;
}

HostedPlugin::HostedPlugin(const std::string& libraryPath, const HostSetup& setup)
    : setup_(setup) {
    vsthost::HostAnswers answers;
    answers.processLevel = setup.offline ? kVstProcessLevelOffline : kVstProcessLevelRealtime;
    answers.sampleRate = setup.sampleRate;
    answers.blockSize = setup.blockSize;
    answers.product = "tarvo-render";
    answers.timeInfo = &timeInfo_;
    answers.canDo = {"sendVstTimeInfo"};
    timeInfo_.sampleRate = setup.sampleRate;
    timeInfo_.tempo = kTempo;
    timeInfo_.timeSigNumerator = 4;
    timeInfo_.timeSigDenominator = 4;
    timeInfo_.flags = kPpqPosValid | kTempoValid | kTimeSigValid | kNanosValid;

    try {
        library_ = std::make_unique<vsthost::VstLibrary>(loadablePath(libraryPath));
        instance_ = std::make_unique<vsthost::VstInstance>(*library_, answers);
    } catch (const vsthost::HostError& error) {
        throw processingError(error.what());
    }
    // Renders send a request per block; keep answering without recording.
    instance_->host().setRecording(false);

    const VstInt32 flags = effect().flags;
    const bool hasDouble = (flags & effFlagsCanDoubleReplacing) && effect().processDoubleReplacing;
    const bool hasSingle = (flags & effFlagsCanReplacing) && effect().processReplacing;
    switch (setup.precision) {
        case Precision::Automatic: useDouble_ = hasDouble; break;
        case Precision::Double: useDouble_ = true; break;
        case Precision::Single: useDouble_ = false; break;
    }
    if (useDouble_ && !hasDouble)
        throw usageError(libraryPath + " offers no double-precision processing");
    if (!useDouble_ && !hasSingle)
        throw processingError(libraryPath + " offers no replacing processing entry");

    instance_->dispatch(effOpen);
    instance_->dispatch(effSetSampleRate, 0, 0, nullptr, setup.sampleRate);
    instance_->dispatch(effSetBlockSize, 0, setup.blockSize);
    instance_->dispatch(effSetProcessPrecision, 0,
                        useDouble_ ? kVstProcessPrecision64 : kVstProcessPrecision32);

    if (!useDouble_) {
        const auto block = static_cast<std::size_t>(setup.blockSize);
        floatInputs_.assign(static_cast<std::size_t>(std::max(0, inputs())), std::vector<float>(block));
        floatOutputs_.assign(static_cast<std::size_t>(std::max(0, outputs())), std::vector<float>(block));
        for (auto& channel : floatInputs_) floatInputPointers_.push_back(channel.data());
        for (auto& channel : floatOutputs_) floatOutputPointers_.push_back(channel.data());
    }
}

HostedPlugin::~HostedPlugin() {
    if (!instance_) return;
    if (running_) stop();
    instance_->close();
}

std::string HostedPlugin::name() {
    std::string text = instance_->effectName();
    if (text.empty()) text = instance_->productString();
    if (text.empty()) text = std::filesystem::path(library_->path()).stem().string();
    return text;
}

void HostedPlugin::resume() {
    instance_->resume();
    instance_->dispatch(effStartProcess);
    running_ = true;
}

void HostedPlugin::stop() {
    instance_->dispatch(effStopProcess);
    instance_->suspend();
    running_ = false;
    timeInfo_.flags &= ~kTransportPlaying;
}

int HostedPlugin::start() {
    resume();
    const auto block = static_cast<std::size_t>(setup_.blockSize);
    std::vector<std::vector<double>> silence(static_cast<std::size_t>(std::max(inputs(), 0)),
                                             std::vector<double>(block, 0.0));
    std::vector<std::vector<double>> ignored(static_cast<std::size_t>(std::max(outputs(), 0)),
                                             std::vector<double>(block, 0.0));
    std::vector<double*> in, out;
    for (auto& channel : silence) in.push_back(channel.data());
    for (auto& channel : ignored) out.push_back(channel.data());
    process(in.data(), out.data(), setup_.blockSize);
    stop();

    timeInfo_.samplePos = 0.0;
    resume();
    timeInfo_.flags |= kTransportPlaying;
    return effect().initialDelay;
}

void HostedPlugin::process(double* const* inputs, double* const* outputs, int frames) {
    timeInfo_.ppqPos = timeInfo_.samplePos / setup_.sampleRate * kTempo / 60.0;
    timeInfo_.nanoSeconds = timeInfo_.samplePos / setup_.sampleRate * 1e9;
    if (useDouble_) {
        instance_->processDoubleReplacing(const_cast<double**>(inputs),
                                          const_cast<double**>(outputs), frames);
    } else {
        const auto count = static_cast<std::size_t>(frames);
        for (std::size_t c = 0; c < floatInputs_.size(); ++c)
            for (std::size_t i = 0; i < count; ++i)
                floatInputs_[c][i] = static_cast<float>(inputs[c][i]);
        instance_->processReplacing(floatInputPointers_.data(), floatOutputPointers_.data(), frames);
        for (std::size_t c = 0; c < floatOutputs_.size(); ++c)
            for (std::size_t i = 0; i < count; ++i)
                outputs[c][i] = static_cast<double>(floatOutputs_[c][i]);
    }
    timeInfo_.samplePos += frames;
}

}  // namespace tarvo::render
