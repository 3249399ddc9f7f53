#include "BenchPlugin.h"

#include <ctime>
#include <stdexcept>

#include "params/ParameterTable.h"
#include "params/ValueMapping.h"

namespace tarvo::bench {

namespace {

constexpr int kScanSteps = 2000;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

vsthost::HostAnswers benchHostAnswers() {
    vsthost::HostAnswers answers;
    answers.sampleRate = static_cast<float>(kSampleRate);
    answers.blockSize = kBlockSize;
    answers.processLevel = kVstProcessLevelRealtime;
    return answers;
}

}  // namespace

std::int64_t threadCpuNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

template <typename Sample>
ChannelBuffers<Sample>::ChannelBuffers(const StereoSignal& signal, int inputs, int outputs,
                                       const StereoSignal* key)
    : frames(signal.frames()) {
    in.resize(static_cast<std::size_t>(inputs));
    for (int c = 0; c < inputs; ++c) {
        std::vector<Sample>& channel = in[static_cast<std::size_t>(c)];
        channel.assign(frames, Sample(0));
        const StereoSignal* source = c < 2 ? &signal : (c < 4 ? key : nullptr);
        if (!source) continue;
        const std::vector<double>& samples = c % 2 == 0 ? source->left : source->right;
        for (std::size_t i = 0; i < frames && i < samples.size(); ++i)
            channel[i] = static_cast<Sample>(samples[i]);
    }
    out.assign(static_cast<std::size_t>(outputs), std::vector<Sample>(frames, Sample(0)));
}

template struct ChannelBuffers<float>;
template struct ChannelBuffers<double>;

BenchPlugin::BenchPlugin(const vsthost::VstLibrary& library)
    : instance_(library, benchHostAnswers()) {
    const AEffect& effect = instance_.effect();
    hostsTarvo_ =
        hostedPluginIsTarvo(effect.uniqueID, effect.numParams, instance_.effectName());
    // The host answers every block's process-level request; recording them
    // would grow a vector inside the timed loop.
    instance_.host().setRecording(false);
    instance_.dispatch(effOpen);
    instance_.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kSampleRate));
    instance_.dispatch(effSetBlockSize, 0, kBlockSize);
}

void BenchPlugin::set(const Setting& setting) {
    const int count = instance_.effect().numParams;
    const std::string wanted = trimmed(setting.text);
    bool nameFound = false;
    for (int index = 0; index < count; ++index) {
        if (trimmed(instance_.parameterName(index)) != setting.name) continue;
        nameFound = true;
        if (!wanted.empty() && wanted[0] == '@') {
            instance_.setParameter(index, std::stof(wanted.substr(1)));
            return;
        }
        float position = 0.0f;
        if (hostsTarvo_ &&
            positionForText(index, wanted, instance_.getParameter(param::ArTime), position)) {
            instance_.setParameter(index, position);
            return;
        }
        const float before = instance_.getParameter(index);
        for (int step = 0; step <= kScanSteps; ++step) {
            const float position = static_cast<float>(step) / kScanSteps;
            instance_.setParameter(index, position);
            if (trimmed(instance_.parameterDisplay(index)) == wanted) return;
        }
        instance_.setParameter(index, before);
    }
    throw std::runtime_error(nameFound ? "parameter \"" + setting.name + "\" never shows \"" +
                                             setting.text + "\""
                                       : "no parameter \"" + setting.name + "\"");
}

void BenchPlugin::setProgram(int program) { instance_.dispatch(effSetProgram, 0, program); }

void BenchPlugin::resume() { instance_.resume(); }

bool BenchPlugin::canDoubleReplacing() const {
    return (instance_.effect().flags & effFlagsCanDoubleReplacing) != 0;
}

int BenchPlugin::inputs() const { return instance_.effect().numInputs; }
int BenchPlugin::outputs() const { return instance_.effect().numOutputs; }
std::string BenchPlugin::name() { return instance_.effectName(); }

template <typename Sample>
std::int64_t BenchPlugin::run(ChannelBuffers<Sample>& buffers) {
    const std::size_t channelsIn = buffers.in.size();
    const std::size_t channelsOut = buffers.out.size();
    std::vector<Sample*> in(channelsIn);
    std::vector<Sample*> out(channelsOut);
    AEffect* const effect = &instance_.effect();
    const std::size_t frames = buffers.frames;

    const std::int64_t start = threadCpuNanoseconds();
    for (std::size_t offset = 0; offset < frames; offset += kBlockSize) {
        const std::size_t remaining = frames - offset;
        const VstInt32 n = static_cast<VstInt32>(remaining < kBlockSize ? remaining : kBlockSize);
        for (std::size_t c = 0; c < channelsIn; ++c) in[c] = buffers.in[c].data() + offset;
        for (std::size_t c = 0; c < channelsOut; ++c) out[c] = buffers.out[c].data() + offset;
        if constexpr (sizeof(Sample) == sizeof(float))
            effect->processReplacing(effect, in.data(), out.data(), n);
        else
            effect->processDoubleReplacing(effect, in.data(), out.data(), n);
    }
    return threadCpuNanoseconds() - start;
}

template std::int64_t BenchPlugin::run<float>(ChannelBuffers<float>&);
template std::int64_t BenchPlugin::run<double>(ChannelBuffers<double>&);

std::vector<std::pair<std::string, float>> displayTexts(BenchPlugin& plugin, int index) {
    vsthost::VstInstance& instance = plugin.instance();
    const float before = instance.getParameter(index);
    std::vector<std::pair<std::string, float>> texts;
    for (int step = 0; step <= kScanSteps; ++step) {
        const float position = static_cast<float>(step) / kScanSteps;
        instance.setParameter(index, position);
        const std::string text = trimmed(instance.parameterDisplay(index));
        if (texts.empty() || texts.back().first != text) texts.emplace_back(text, position);
    }
    instance.setParameter(index, before);
    return texts;
}

}  // namespace tarvo::bench
