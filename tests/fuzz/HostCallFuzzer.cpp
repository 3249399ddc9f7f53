// libFuzzer target: the fuzzer's input is read as a sequence of host calls on
// one plug-in instance, made only through its effect record:
//   - dispatcher opcodes 0 to 100 and beyond, with fuzzed index, value and
//     float, and a pointer to a valid zeroed buffer (or to fuzzed, terminated
//     text for the opcodes that read text), sometimes none;
//   - setParameter and getParameter with fuzzed indices and positions;
//   - sample rates (effSetSampleRate) and effMainsChanged;
//   - processReplacing and processDoubleReplacing of fuzzed length on audio
//     taken from the input (NaN, infinities and subnormals included),
//     sometimes in place or without the side-chain channels;
//   - the process level the host answers;
// and effClose at the end. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer, so any memory or arithmetic fault is a finding.
//
// One property is checked beyond that: after effMainsChanged on, as long as
// every input sample stays finite and moderate, every output sample is
// finite, whatever sample rates the input set on the way.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "host/AudioEffect.h"
#include "host/Vst2.h"

namespace {

using namespace tarvo;

/// What the host answers to the process-level request; changed by the input.
VstInt32 processLevel = kVstProcessLevelRealtime;

/// With TARVO_FUZZ_TRACE set, every call is printed to stderr: replaying a
/// finding then shows the sequence that led to it.
const bool tracing = std::getenv("TARVO_FUZZ_TRACE") != nullptr;

/// printf-style, so the compiler checks every call's format against its
/// arguments.
__attribute__((format(printf, 1, 2))) void trace(const char* format, ...) {
    if (!tracing) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion:
            return kVstVersion;
        case audioMasterGetCurrentProcessLevel:
            return processLevel;
        default:
            return 0;
    }
}

/// The instance as a host holds it: created the way the exported entry
/// creates it (version query first), reached through the record only.
AEffect* openInstance() {
    if (hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = createEffectInstance(hostCallback);
    return effect ? effect->getAeffect() : nullptr;
}

constexpr int kMaxFrames = 2048;
constexpr std::size_t kBufferBytes = 4096;
/// Samples beyond this magnitude (or not finite) may legitimately overflow.
constexpr double kModerate = 1.0e6;

float specialFloat(FuzzedDataProvider& in) {
    static const float values[] = {0.0f,
                                   -0.0f,
                                   1.0f,
                                   0.5f,
                                   -1.0f,
                                   2.0f,
                                   std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::denorm_min(),
                                   std::numeric_limits<float>::min(),
                                   std::numeric_limits<float>::max(),
                                   -std::numeric_limits<float>::max(),
                                   44100.0f,
                                   48000.0f,
                                   1234567.8f,
                                   4.0e6f,
                                   4.1e6f,
                                   1.0e-30f};
    if (in.ConsumeBool()) return in.PickValueInArray(values);
    return in.ConsumeFloatingPoint<float>();
}

VstInt32 fuzzedIndex(FuzzedDataProvider& in, VstInt32 usualRange) {
    if (in.ConsumeBool()) return in.ConsumeIntegralInRange<VstInt32>(-1, usualRange);
    return in.ConsumeIntegral<VstInt32>();
}

/// How a block's buffers are handed over.
enum BufferMode { separate, inPlace, noSideChain, nullArrays };

/// The fuzzed audio of one block: up to 64 raw samples per channel from the
/// input, repeated over the block (raw bytes give NaN, infinities and
/// subnormals as they come).
template <typename Sample>
struct Block {
    std::vector<Sample> inputs[4];
    std::vector<Sample> outputs[2];
    Sample* inputPointers[4];
    Sample* outputPointers[2];
    bool moderate = true;

    Block(FuzzedDataProvider& in, int frames) {
        const std::size_t n = static_cast<std::size_t>(frames > 0 ? frames : 1);
        for (auto& channel : inputs) {
            channel.assign(n, Sample(0));
            const std::size_t raw = in.ConsumeIntegralInRange<std::size_t>(0, 64);
            std::vector<Sample> pattern;
            for (std::size_t i = 0; i < raw && in.remaining_bytes() >= sizeof(Sample); ++i) {
                Sample s;
                const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(sizeof(Sample));
                std::memcpy(&s, bytes.data(), sizeof(Sample));
                pattern.push_back(s);
            }
            if (!pattern.empty())
                for (std::size_t i = 0; i < n; ++i) channel[i] = pattern[i % pattern.size()];
            for (Sample s : channel)
                if (!(std::fabs(static_cast<double>(s)) <= kModerate)) moderate = false;
        }
        for (auto& channel : outputs) channel.assign(n, Sample(0));
        for (int c = 0; c < 4; ++c) inputPointers[c] = inputs[c].data();
        for (int c = 0; c < 2; ++c) outputPointers[c] = outputs[c].data();
    }

    /// Runs the block through the processing entry of its precision;
    /// returns whether every output sample written is finite.
    bool process(AEffect* effect, int frames, BufferMode mode) {
        if (mode == inPlace) {
            outputPointers[0] = inputPointers[0];
            outputPointers[1] = inputPointers[1];
        }
        if (mode == noSideChain) inputPointers[2] = inputPointers[3] = nullptr;
        Sample** ins = mode == nullArrays ? nullptr : inputPointers;
        Sample** outs = mode == nullArrays ? nullptr : outputPointers;
        if constexpr (std::is_same_v<Sample, double>)
            effect->processDoubleReplacing(effect, ins, outs, frames);
        else
            effect->processReplacing(effect, ins, outs, frames);
        if (mode == nullArrays) return true;
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                if (!std::isfinite(outputPointers[c][i])) return false;
        return true;
    }
};

/// Opcodes whose pointer the plug-in reads as text.
bool readsText(VstInt32 opcode) {
    return opcode == effSetProgramName || opcode == effString2Parameter || opcode == effCanDo ||
           opcode == effSetChunk;
}

/// Opcodes whose value argument is a pointer the plug-in may write through.
bool valueIsPointer(VstInt32 opcode) {
    return opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    processLevel = kVstProcessLevelRealtime;
    AEffect* effect = openInstance();
    if (!effect) std::abort();

    alignas(16) static unsigned char buffer[kBufferBytes];
    alignas(16) static unsigned char valueBuffer[kBufferBytes];
    // Finite, moderate input since the last resume must give finite output.
    bool resumed = false;
    bool clean = false;

    for (int call = 0; call < 200 && in.remaining_bytes() > 0; ++call) {
        switch (in.ConsumeIntegralInRange(0, 10)) {
            case 0: {  // dispatcher
                VstInt32 opcode = in.ConsumeBool() ? in.ConsumeIntegralInRange<VstInt32>(0, 100)
                                                   : in.ConsumeIntegral<VstInt32>();
                if (opcode == effClose) opcode = effOpen;  // closing ends the sequence, below
                if (opcode == effMainsChanged) break;       // case 6 tracks it
                const VstInt32 index = fuzzedIndex(in, 30);
                VstIntPtr value = in.ConsumeIntegral<VstIntPtr>();
                const float opt = specialFloat(in);
                std::memset(buffer, 0, sizeof buffer);
                std::memset(valueBuffer, 0, sizeof valueBuffer);
                if (readsText(opcode)) {
                    const std::vector<std::uint8_t> text =
                        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 300));
                    if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
                    if (opcode == effSetChunk) value = static_cast<VstIntPtr>(text.size());
                }
                if (valueIsPointer(opcode)) value = reinterpret_cast<VstIntPtr>(valueBuffer);
                void* ptr = in.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : buffer;
                trace("dispatcher(%d, %d, %lld, %p, %g)\n", opcode, index, static_cast<long long>(value), ptr,
                      static_cast<double>(opt));
                effect->dispatcher(effect, opcode, index, value, ptr, opt);
                break;
            }
            case 1: {
                const VstInt32 index = fuzzedIndex(in, 22);
                const float position = specialFloat(in);
                trace("setParameter(%d, %.9g)\n", index, static_cast<double>(position));
                effect->setParameter(effect, index, position);
                break;
            }
            case 2: {
                const float position = effect->getParameter(effect, fuzzedIndex(in, 22));
                if (!(position >= 0.0f && position <= 1.0f)) {
                    std::fprintf(stderr, "getParameter returned %g\n", static_cast<double>(position));
                    std::abort();
                }
                break;
            }
            case 3: {
                const float rate = specialFloat(in);
                trace("effSetSampleRate(%.9g)\n", static_cast<double>(rate));
                effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate);
                break;
            }
            case 4:
            case 5: {
                const bool twice = in.ConsumeBool();
                const int frames = in.ConsumeIntegralInRange(-2, kMaxFrames);
                const BufferMode mode = static_cast<BufferMode>(in.ConsumeIntegralInRange(0, 3));
                bool finite = true;
                bool moderate = true;
                if (twice) {
                    Block<double> block(in, frames);
                    finite = block.process(effect, frames, mode);
                    moderate = block.moderate;
                } else {
                    Block<float> block(in, frames);
                    finite = block.process(effect, frames, mode);
                    moderate = block.moderate;
                }
                clean = clean && moderate;
                trace("%s(%d frames, buffers %d): input %s, output %s\n",
                      twice ? "processDoubleReplacing" : "processReplacing", frames, static_cast<int>(mode),
                      moderate ? "moderate" : "hostile", finite ? "finite" : "NOT FINITE");
                if (resumed && clean && !finite) {
                    std::fprintf(stderr, "finite input after resume gave non-finite output\n");
                    std::abort();
                }
                break;
            }
            case 6: {
                const VstIntPtr on = in.ConsumeIntegralInRange(0, 2);
                trace("effMainsChanged(%lld)\n", static_cast<long long>(on));
                effect->dispatcher(effect, effMainsChanged, 0, on, nullptr, 0.0f);
                resumed = on != 0;
                clean = resumed;
                break;
            }
            case 7: {
                const VstIntPtr program = in.ConsumeIntegralInRange<VstIntPtr>(-2, 17);
                trace("effSetProgram(%lld)\n", static_cast<long long>(program));
                effect->dispatcher(effect, effSetProgram, 0, program, nullptr, 0.0f);
                break;
            }
            case 8:
                processLevel = in.ConsumeIntegralInRange<VstInt32>(0, 5);
                trace("process level answer %d\n", processLevel);
                break;
            case 9: {  // a host's generic window reading all texts
                char text[256];
                for (VstInt32 p = 0; p < 22; ++p)
                    for (VstInt32 opcode : {VstInt32(effGetParamName), VstInt32(effGetParamDisplay),
                                            VstInt32(effGetParamLabel)}) {
                        std::memset(text, 0x7F, sizeof text);
                        effect->dispatcher(effect, opcode, p, 0, text, 0.0f);
                        if (std::memchr(text, 0, kVstMaxParamStrLen + 1) == nullptr) {
                            std::fprintf(stderr, "parameter %d text %d not terminated\n", p, opcode);
                            std::abort();
                        }
                    }
                break;
            }
            default: {
                const VstIntPtr blockSize = in.ConsumeIntegral<VstIntPtr>();
                trace("effSetBlockSize(%lld)\n", static_cast<long long>(blockSize));
                effect->dispatcher(effect, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
                break;
            }
        }
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
