#include "conformance/ConformanceHost.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace tarvo::conformance {

int optionCount(int param) {
    switch (param) {
        case kMode: return 7;
        case kUpsampling: return 4;
        case kAttackMode: return 2;
        case kInput: return 5;
        case kLimiterPosition: return 3;
        case kSaturation: return 3;
        case kBypass: return 2;
        case kRender8x: return 2;
        case kDither: return 3;
        case kSideChain: return 2;
        case kArTime: return 5;
        case kPath: return 2;
        default: return 0;
    }
}

float optionPosition(int param, int option) {
    // value = (count - 1) * position; option k sits at k / (count - 1).
    return static_cast<float>(option) / static_cast<float>(optionCount(param) - 1);
}

const std::vector<float>& allSampleRates() {
    static const std::vector<float> rates = {
        8000.0f,   11025.0f,  22050.0f,   32000.0f,   44100.0f,  48000.0f,  88200.0f,  96000.0f,
        176400.0f, 192000.0f, 384000.0f,  1234.5678f, 12345.678f, 123456.78f, 1234567.8f};
    return rates;
}

std::string rateName(float rate) {
    // The nominal rates as written, since the odd ones are not exact floats.
    static const char* const names[] = {"8000",   "11025",  "22050",     "32000",     "44100",
                                        "48000",  "88200",  "96000",     "176400",    "192000",
                                        "384000", "1234_5678", "12345_678", "123456_78", "1234567_8"};
    const std::vector<float>& rates = allSampleRates();
    for (std::size_t i = 0; i < rates.size(); ++i)
        if (rates[i] == rate) return std::string("r") + names[i];
    char text[32];
    std::snprintf(text, sizeof text, "r%.0f", static_cast<double>(rate));
    return text;
}

const std::vector<Oversampling>& allOversamplings() {
    static const std::vector<Oversampling> all = {{0, false}, {0, true}, {1, false}, {1, true},
                                                  {2, false}, {2, true}, {3, false}, {3, true}};
    return all;
}

void selectOversampling(VstInstance& plugin, const Oversampling& oversampling) {
    plugin.setParameter(kUpsampling, optionPosition(kUpsampling, oversampling.upsamplingOption));
    plugin.setParameter(kPath, oversampling.hq ? 1.0f : 0.0f);
}

template <typename Sample>
AudioBuffers<Sample>::AudioBuffers(int capacity) {
    const std::size_t frames = static_cast<std::size_t>(capacity > 0 ? capacity : 1);
    for (int c = 0; c < 4; ++c) {
        inputs[c].assign(frames, Sample(0));
        inputPointers[c] = inputs[c].data();
    }
    for (int c = 0; c < 2; ++c) {
        outputs[c].assign(frames, Sample(0));
        outputPointers[c] = outputs[c].data();
    }
}

template <typename Sample>
void AudioBuffers<Sample>::fillNoise(std::mt19937& random, double amplitude, int frames) {
    std::uniform_real_distribution<double> noise(-amplitude, amplitude);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < frames; ++i) inputs[c][i] = static_cast<Sample>(noise(random));
}

template <typename Sample>
void AudioBuffers<Sample>::fill(double value, int frames) {
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < frames; ++i) inputs[c][i] = static_cast<Sample>(value);
}

template <typename Sample>
void AudioBuffers<Sample>::markOutputs(Sample mark) {
    for (int c = 0; c < 2; ++c) std::fill(outputs[c].begin(), outputs[c].end(), mark);
}

template struct AudioBuffers<float>;
template struct AudioBuffers<double>;

void process(VstInstance& plugin, AudioBuffers<float>& buffers, int frames) {
    plugin.processReplacing(buffers.inputPointers, buffers.outputPointers, frames);
}

void process(VstInstance& plugin, AudioBuffers<double>& buffers, int frames) {
    plugin.processDoubleReplacing(buffers.inputPointers, buffers.outputPointers, frames);
}

template <typename Sample>
void OutputCheck::add(const AudioBuffers<Sample>& buffers, int frames, const std::string& where) {
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < frames; ++i) {
            const Sample y = buffers.outputs[c][i];
            ++samples;
            const bool finite = std::isfinite(y);
            const bool tiny = finite && isSubnormal(y);
            if (finite) peak = std::max(peak, static_cast<double>(std::fabs(y)));
            if (!finite) ++nonFinite;
            if (tiny) ++subnormal;
            if ((!finite || tiny) && firstProblem.empty()) {
                std::ostringstream text;
                text.precision(17);
                text << where << ": output " << c << " frame " << i << " = " << y;
                firstProblem = text.str();
            }
        }
    }
}

template void OutputCheck::add(const AudioBuffers<float>&, int, const std::string&);
template void OutputCheck::add(const AudioBuffers<double>&, int, const std::string&);

std::string OutputCheck::summary() const {
    std::ostringstream text;
    text << samples << " samples, " << nonFinite << " not finite, " << subnormal
         << " subnormal, peak " << peak;
    if (!firstProblem.empty()) text << "; first: " << firstProblem;
    return text.str();
}

std::unique_ptr<VstInstance> startedInstance(float rate, VstInt32 blockSize) {
    auto plugin = std::make_unique<VstInstance>(test::pluginLibrary());
    plugin->host().setRecording(false);
    plugin->start(rate, blockSize);
    return plugin;
}

}  // namespace tarvo::conformance
