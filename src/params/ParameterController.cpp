#include "params/ParameterController.h"

#include "engine/SoftClipper.h"

#include "params/StoredDefault.h"
#include "params/ValueMapping.h"

#include <cmath>
#include <cstring>

namespace tarvo {

namespace {

std::uint32_t floatBits(float x) noexcept {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

float bitsFloat(std::uint32_t bits) noexcept {
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

/// Input gain of the "Input" options "0", "+6", "+12", "-12", "-6": exact
/// powers of two rather than 10^(dB/20).
constexpr double kInputGains[5] = {1.0, 2.0, 4.0, 0.25, 0.5};
/// Noise setting of the "Dither" options "High", "Off", "Low".
constexpr int kNoiseBits[3] = {20, 0, 24};

}  // namespace

ParameterController::ParameterController(EngineControl& engine, HostLink& host) noexcept
    : engine_(engine), host_(host), descriptors_(makeParameterDescriptors()) {
    std::memcpy(programTable_, factoryPrograms, sizeof programTable_);
    applyStoredDefault();
    for (int n = 0; n < kProgramCount; ++n) {
        copyText(programNames_[n], factoryProgramNames[n], kProgramNameLength);
    }
    // Direct assignment, not setParameter: Attack and Release keep the "1:1"
    // ranges until "A,R Time" is next set through setParameter.
    const int program = getProgram();
    for (int i = 0; i < kParameterCount; ++i) {
        descriptors_[i].assign(descriptors_[i].toValue(programTable_[program][i]));
    }
}

void ParameterController::applyStoredDefault() noexcept {
    unsigned char stored[kStoredDefaultBytes];
    const std::size_t size = readStoredDefault(stored);
    if (size == 0) return;
    // The stored bytes replace the first size bytes of the row, taken as 22
    // little-endian floats; a partial last float keeps its remaining bytes.
    float* row = programTable_[getProgram()];
    unsigned char bytes[kStoredDefaultBytes];
    for (int i = 0; i < kParameterCount; ++i) {
        const std::uint32_t bits = floatBits(row[i]);
        for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    std::memcpy(bytes, stored, size);
    for (int i = 0; i < kParameterCount; ++i) {
        std::uint32_t bits = 0;
        for (int b = 0; b < 4; ++b) bits |= static_cast<std::uint32_t>(bytes[4 * i + b]) << (8 * b);
        row[i] = bitsFloat(bits);
    }
}

// --- Parameters -------------------------------------------------------------

void ParameterController::setParameter(std::int32_t index, float position) {
    if (inParameterRange(index)) {
        ParameterDescriptor& d = descriptors_[index];
        d.assign(d.toValue(position));
        if (index == param::ArTime) applyArTimeRanges();
    }
    if (!isActive() && !inProgramChange()) configureWhenIdle();
}

void ParameterController::applyArTimeRanges() noexcept {
    // The knob positions stay; the times they stand for change.
    ParameterDescriptor& attack = descriptors_[param::Attack];
    ParameterDescriptor& release = descriptors_[param::Release];
    const float attackPosition = attack.toNormalized(attack.value());
    const float releasePosition = release.toNormalized(release.value());
    setArTimeRanges(attack, release, idx(param::ArTime));
    attack.assign(attack.toValue(attackPosition));
    release.assign(release.toValue(releasePosition));
}

float ParameterController::getParameter(std::int32_t index) const noexcept {
    if (!inParameterRange(index)) return 0.0f;
    const ParameterDescriptor& d = descriptors_[index];
    return d.toNormalized(d.value());
}

void ParameterController::getParameterName(std::int32_t index, char* text) const noexcept {
    if (!inParameterRange(index)) return;
    copyText(text, descriptors_[index].name(), kParameterTextLength);
}

void ParameterController::getParameterDisplay(std::int32_t index, char* text) const noexcept {
    if (!inParameterRange(index)) return;
    const ParameterDescriptor& d = descriptors_[index];
    d.displayText(d.value(), text);
}

void ParameterController::getParameterLabel(std::int32_t index, char* text) const noexcept {
    if (!inParameterRange(index)) return;
    copyText(text, descriptors_[index].label(), kParameterTextLength);
}

// --- Programs ---------------------------------------------------------------

void ParameterController::setProgram(std::int32_t program) {
    if (static_cast<std::uint32_t>(program) >= static_cast<std::uint32_t>(kProgramCount)) return;
    float* saved = programTable_[getProgram()];
    for (int i = 0; i < kParameterCount; ++i) {
        saved[i] = descriptors_[i].toNormalized(descriptors_[i].value());
    }
    curProgram_.store(program, std::memory_order_relaxed);
    {
        // Cleared also if the host's automation callback throws.
        struct ProgramChange {
            std::atomic<bool>& flag;
            explicit ProgramChange(std::atomic<bool>& f) : flag(f) {
                flag.store(true, std::memory_order_relaxed);
            }
            ~ProgramChange() { flag.store(false, std::memory_order_relaxed); }
        } change(inProgramChange_);
        // "A,R Time" (20) comes after Attack and Release, so their stored
        // positions are read in the new program's ranges.
        const float* row = programTable_[program];
        for (int i = 0; i < kParameterCount; ++i) {
            setParameter(i, row[i]);
            host_.automate(i, row[i]);
        }
    }
    if (!isActive()) configureWhenIdle();
}

void ParameterController::setProgramName(const char* name) noexcept {
    if (name == nullptr) return;
    copyText(programNames_[getProgram()], name, kProgramNameLength);
}

void ParameterController::getProgramName(char* text) const noexcept {
    copyText(text, programNames_[getProgram()], kProgramNameLength);
}

bool ParameterController::getProgramNameIndexed(std::int32_t /*category*/, std::int32_t index,
                                                char* text) const noexcept {
    if (static_cast<std::uint32_t>(index) >= static_cast<std::uint32_t>(kProgramCount)) return false;
    copyText(text, programNames_[index], kProgramNameLength);
    return true;
}

// --- Block driver side ------------------------------------------------------

void ParameterController::setSampleRate(float rate) {
    // A rate that is not finite, below 1 kHz or above 4 MHz would poison the
    // filter designs (their corners are fixed in Hz and pass the Nyquist
    // frequency at sub-audio rates) or size a limiter window that cannot be
    // allocated: keep the rate held so far.
    if (!(rate >= kMinimumSampleRate) || !(rate <= kMaximumSampleRate)) return;
    const double engineRate = rate;
    engineSampleRate_.store(engineRate, std::memory_order_relaxed);
    const double previous = host_.sampleRate();
    if (!(engineRate == previous)) {  // a NaN counts as a change
        for (int n = 0; n < kProgramCount; ++n) {
            programTable_[n][param::Upsampling] =
                adaptedUpsamplingPosition(factoryPrograms[n][param::Upsampling], engineRate);
        }
        ParameterDescriptor& upsampling = descriptors_[param::Upsampling];
        upsampling.assign(upsampling.toValue(programTable_[getProgram()][param::Upsampling]));
    }
    // Detector times and the scoop equaliser are designed for the rate.
    descriptors_[param::Attack].markChanged();
    descriptors_[param::MidScoop].markChanged();
    host_.setInitialDelay(engine_.latency());
    host_.storeSampleRate(rate);
}

void ParameterController::processLevel(std::int32_t level) noexcept {
    const std::int32_t previous = lastProcessLevel();
    if (level == previous) return;
    lastProcessLevel_.store(level, std::memory_order_relaxed);
    const bool wasOffline = previous == kProcessLevelOffline;
    const bool isOffline = level == kProcessLevelOffline;
    if (idx(param::Render8x) != 0 && wasOffline != isOffline) {
        descriptors_[param::Upsampling].markChanged();
    }
}

// --- Engine configuration pass ----------------------------------------------

int ParameterController::idx(int index) const noexcept {
    const ParameterDescriptor& d = descriptors_[index];
    return d.optionIndex(d.value());
}

double ParameterController::linearGain(int index) const noexcept {
    const ParameterDescriptor& d = descriptors_[index];
    return d.engineValue(d.value());
}

void ParameterController::configureWhenIdle() {
    if (!tryAcquireEngine()) return;  // the running block's successor runs the pass
    struct Release {
        ParameterController& owner;
        ~Release() { owner.releaseEngine(); }
    } release{*this};
    configureEngine();
    host_.configuredOutsideProcessing();
}

void ParameterController::configureEngine() noexcept {
    // An oversampling change sets the rate again, which marks "Attack" and
    // "MidScoop" after the sweep has passed them: a second sweep redesigns
    // the detectors, key filters, limiter windows and scoop for the new factor
    // before any audio runs on designs made for the old one. That sweep
    // leaves the oversampling marks alone: a factor another thread sets
    // meanwhile would come after its redesign, so it waits for the next pass,
    // which applies it with its designs.
    if (sweepChanges(true)) sweepChanges(false);
}

bool ParameterController::sweepChanges(bool withOversampling) noexcept {
    bool oversamplingChanged = false;
    for (int i = 0; i < kParameterCount; ++i) {
        const bool oversamplingGroup =
            i == param::Upsampling || i == param::Render8x || i == param::OversamplingPath;
        if (oversamplingGroup && !withOversampling) continue;
        if (!descriptors_[i].consumeChange()) continue;
        switch (i) {
        case param::Filter:
        case param::Attack:
        case param::Release:
        case param::AttackMode:
        case param::ArTime:
            configureDetector();
            break;
        case param::Threshold:
        case param::Knee:
        case param::Ratio:
        case param::Saturation:
            configureCompression();
            break;
        case param::LimiterCeiling:
            configureCeiling();
            break;
        case param::Makeup:
        case param::DryWet:
        case param::Input:
            configureLevels();
            break;
        case param::MidScoop:
            configureScoop();
            break;
        case param::Mode:
            configureMode();
            break;
        case param::Upsampling:
        case param::Render8x:
        case param::OversamplingPath:
            configureOversampling();
            oversamplingChanged = true;
            break;
        case param::LimiterPosition:
            configureLimiterPosition();
            break;
        case param::Bypass:
            configureBypass();
            break;
        case param::Dither:
            configureNoise();
            break;
        case param::SideChain:
            configureSideChain();
            break;
        default:
            break;
        }
    }
    return oversamplingChanged;
}

void ParameterController::configureDetector() noexcept {
    // "Off" is the exact minimum 40 Hz; the key filter then gets 0 Hz.
    const double filterHz = sideChainFilterHz(v(param::Filter));
    const double attackSeconds = v(param::Attack) * 0.001;
    const double releaseSeconds = v(param::Release) * 0.001;
    // Only the exact "Alpha" end: an in-between value displaying "Alpha"
    // still gives the sigma mode.
    const bool alphaMode = runsAlphaMode(v(param::AttackMode));
    engine_.updateDetectorFilters(alphaMode, engineSampleRate(), attackSeconds, releaseSeconds,
                                  filterHz);
}

void ParameterController::configureCompression() noexcept {
    // 100 at the "inf" end.
    const double ratio = gainComputerRatio(v(param::Ratio));
    engine_.designGainComputers(linearGain(param::Threshold), v(param::Knee), ratio);
    switch (idx(param::Saturation)) {
    case 0: {  // "Ratio": clipLevel = 10^0.3 - q, q the Ratio's position
        const ParameterDescriptor& r = descriptors_[param::Ratio];
        const double q = r.toNormalized(r.value());
        engine_.setClipLevel(std::pow(10.0, 0.3) - q);
        engine_.setSaturationEnabled(true);
        break;
    }
    case 1:  // "Off": the strips do not clip
        // "M/S" still clips its output sums. They get the level a fresh
        // instance starts with, rather than whatever "Ratio" or "On" last
        // left, so equal settings always sound the same (a restored session
        // included).
        engine_.setClipLevel(SoftClipper::kRestingClipLevel);
        engine_.setSaturationEnabled(false);
        break;
    default:  // "On": fixed drive
        engine_.setClipLevel(std::pow(10.0, 1.2));
        engine_.setSaturationEnabled(true);
        break;
    }
    // The strips' saturationActive follows saturationEnabled and the mode.
    engine_.setChannelMode(engine_.channelMode());
}

void ParameterController::configureCeiling() noexcept {
    // The set level raised by 0.01 dB.
    engine_.setLimiterCeiling(linearGain(param::LimiterCeiling) * std::pow(10.0, 0.0005));
}

void ParameterController::configureLevels() noexcept {
    const double makeup = linearGain(param::Makeup);
    const double dry = v(param::DryWet) * 0.01;
    const double input = kInputGains[idx(param::Input)];
    // The make-up gain applies to the compressed share only.
    engine_.setLevels(input, (1.0 - dry) * makeup, dry);
}

void ParameterController::configureScoop() noexcept {
    engine_.setScoop(linearGain(param::MidScoop), engineSampleRate());
}

void ParameterController::configureMode() noexcept {
    engine_.setChannelMode(idx(param::Mode));
}

void ParameterController::configureOversampling() noexcept {
    const bool render8x =
        lastProcessLevel() == kProcessLevelOffline && idx(param::Render8x) == 1;
    const int factor = render8x ? 8 : 1 << idx(param::Upsampling);
    const bool hq = idx(param::OversamplingPath) == 1;
    engine_.setOversampling(factor, hq);
    // Same rate: re-marks Attack and MidScoop for the next pass (they were
    // visited already) and stores the new latency as the initial delay.
    setSampleRate(static_cast<float>(engineSampleRate()));
}

void ParameterController::configureLimiterPosition() noexcept {
    const int position = idx(param::LimiterPosition);
    engine_.setLimiterPosition(position == 0, position == 1);
}

void ParameterController::configureBypass() noexcept {
    engine_.setBypass(idx(param::Bypass) != 0);
}

void ParameterController::configureNoise() noexcept {
    engine_.setNoiseBits(kNoiseBits[idx(param::Dither)]);
}

void ParameterController::configureSideChain() noexcept {
    const bool external = idx(param::SideChain) != 0;
    // The extra audio upsamplers take over the state of the strips' own,
    // which have carried the audio so far, so the audio goes on without a
    // jump while the strips' upsamplers turn to the side-chain key.
    if (external && !sideChainExternal()) engine_.takeOverSideChainAudio();
    sideChainExternal_.store(external, std::memory_order_relaxed);
}

}  // namespace tarvo
