#include "params/ParameterTable.h"

namespace tarvo {

namespace options {
const char* const mode[7] = {"Mono-L", "2 Mono", "R-S.chn", "Mid.", "Side", "M/S", "Stereo"};
const char* const upsampling[4] = {"1x", "2x", "4x", "8x"};
const char* const attackMode[2] = {"Sigma", "Alpha"};
const char* const input[5] = {"0", "+6", "+12", "-12", "-6"};
const char* const limiterPosition[3] = {"Pre", "Post", "Off"};
const char* const saturation[3] = {"Ratio", "Off", "On"};
const char* const offOn[2] = {"Off", "On"};
const char* const dither[3] = {"High", "Off", "Low"};
const char* const sideChain[2] = {"Internal", "External"};
const char* const arTime[5] = {"1:1", "1/10,1:1", "1*10,1:1", "1:1,1/10", "1/10"};
const char* const oversamplingPath[2] = {"Fast", "HQ"};
}  // namespace options

const std::array<ArTimeRange, 5> ArTimeRanges = {{
    {1.0, 1, 1.0, 1},   // "1:1"
    {0.1, 2, 1.0, 1},   // "1/10,1:1"
    {10.0, 1, 1.0, 1},  // "1*10,1:1"
    {1.0, 1, 0.1, 2},   // "1:1,1/10"
    {0.1, 2, 0.1, 2},   // "1/10"
}};

namespace {

/// A choice parameter: Linear, options 0 .. count - 1, integer display.
ParameterDescriptor choice(const char* name, const char* label, int count,
                           const char* const* names) noexcept {
    return ParameterDescriptor(name, label, 0.0, count - 1, Scale::Linear, nullptr, nullptr, 0,
                               names);
}

}  // namespace

void setArTimeRanges(ParameterDescriptor& attack, ParameterDescriptor& release, int option) noexcept {
    const int last = static_cast<int>(ArTimeRanges.size()) - 1;
    const ArTimeRange& row = ArTimeRanges[option < 0 ? 0 : option > last ? last : option];
    attack.setRange(row.attackScale, 100.0 * row.attackScale, row.attackPrecision);
    release.setRange(50.0 * row.releaseScale, 1000.0 * row.releaseScale, row.releasePrecision);
}

std::array<ParameterDescriptor, kParameterCount> makeParameterDescriptors() noexcept {
    const ArTimeRange& r = ArTimeRanges[0];
    // Every element is built in place (guaranteed copy elision): descriptors
    // hold atomics and are neither copied nor moved.
    return {{
        {"Filter", "Hz", 40.0, 260.0, Scale::Linear, "Off", nullptr, 0, nullptr},
        {"Thresh.", "dB", -40.0, 0.0, Scale::Decibel, nullptr, nullptr, 1, nullptr},
        {"Knee", nullptr, 0.0, 1.0, Scale::Linear, "Soft", "Hard", 1, nullptr},
        {"Attack", "ms", r.attackScale, 100.0 * r.attackScale, Scale::Linear, nullptr, nullptr,
         r.attackPrecision, nullptr},
        {"Release", "ms", 50.0 * r.releaseScale, 1000.0 * r.releaseScale, Scale::Linear, nullptr,
         nullptr, r.releasePrecision, nullptr},
        {"Ratio", ": 1", 1.1, 11.0, Scale::Linear, nullptr, "inf", 1, nullptr},
        {"Limiter", "dB", -12.0, 0.0, Scale::Decibel, nullptr, nullptr, 1, nullptr},
        {"Makeup", "dB", -12.0, 12.0, Scale::Decibel, nullptr, nullptr, 1, nullptr},
        {"MidScoop", "dB", -12.0, 12.0, Scale::Decibel, nullptr, nullptr, 1, nullptr},
        {"Dry/Wet", "%", 0.0, 99.0, Scale::Linear, "Off", nullptr, 0, nullptr},
        choice("Mode", nullptr, 7, options::mode),
        choice("Upsampl.", nullptr, 4, options::upsampling),
        choice("Att.Mode", nullptr, 2, options::attackMode),
        choice("Input", "dB", 5, options::input),
        choice("Limiter", nullptr, 3, options::limiterPosition),
        choice("Saturat.", nullptr, 3, options::saturation),
        choice("Bypass", nullptr, 2, options::offOn),
        choice("Render8x", nullptr, 2, options::offOn),
        choice("Dither", nullptr, 3, options::dither),
        choice("Sd.chain", nullptr, 2, options::sideChain),
        choice("A,R Time", nullptr, 5, options::arTime),
        choice("Upsmpl.", nullptr, 2, options::oversamplingPath),
    }};
}

}  // namespace tarvo
