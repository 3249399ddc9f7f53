#include "host/Plugin.h"

#include <new>

#include "params/HostBlock.h"

namespace tarvo {

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new plugin(audioMaster);
}

plugin::plugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    setNumInputs(kNumInputs);
    setNumOutputs(kNumOutputs);
    canProcessReplacing();
    canDoubleReplacing();
    canMono();
    setUniqueID(kUniqueId);
    // All 22 parameters are marked changed: this pass configures the whole
    // engine and, through setSampleRate, stores the engine's latency as the
    // initial delay.
    params_.configureEngine();
    announcedLatency_ = cEffect.initialDelay;
}

plugin::~plugin() = default;

namespace {
constexpr std::align_val_t kInstanceAlignment{16};
}

void* plugin::operator new(std::size_t size) { return ::operator new(size, kInstanceAlignment); }

void plugin::operator delete(void* pointer) noexcept {
    ::operator delete(pointer, kInstanceAlignment);
}

// --- Audio ------------------------------------------------------------------

template <typename Sample>
void plugin::processEntry(Sample** inputs, Sample** outputs, VstInt32 sampleFrames) noexcept {
    runHostBlock(params_, engine_, getCurrentProcessLevel(), inputs, outputs, sampleFrames);
}

void plugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept {
    processEntry(inputs, outputs, sampleFrames);
}

void plugin::processDoubleReplacing(double** inputs, double** outputs,
                                    VstInt32 sampleFrames) noexcept {
    processEntry(inputs, outputs, sampleFrames);
}

void plugin::suspend() { params_.suspend(); }

void plugin::resume() {
    engine_.reset();
    AudioEffectX::setInitialDelay(engine_.latency());
    announceLatency();
    params_.resume();
}

void plugin::setSampleRate(float newSampleRate) { params_.setSampleRate(newSampleRate); }

void plugin::announceLatency() {
    if (cEffect.initialDelay == announcedLatency_) return;
    announcedLatency_ = cEffect.initialDelay;
    ioChanged();
}

// --- Parameters and programs --------------------------------------------------

void plugin::setParameter(VstInt32 index, float value) { params_.setParameter(index, value); }

float plugin::getParameter(VstInt32 index) { return params_.getParameter(index); }

void plugin::getParameterName(VstInt32 index, char* text) {
    params_.getParameterName(index, text);
}

void plugin::getParameterDisplay(VstInt32 index, char* text) {
    params_.getParameterDisplay(index, text);
}

void plugin::getParameterLabel(VstInt32 index, char* label) {
    params_.getParameterLabel(index, label);
}

void plugin::setProgram(VstInt32 program) {
    params_.setProgram(program);
    curProgram = params_.getProgram();
}

void plugin::setProgramName(char* name) { params_.setProgramName(name); }

void plugin::getProgramName(char* name) { params_.getProgramName(name); }

bool plugin::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    return params_.getProgramNameIndexed(category, index, text);
}

// --- Identification -------------------------------------------------------------

bool plugin::getEffectName(char* name) {
    copyText(name, "Tarvo", kVstMaxEffectNameLen);
    return true;
}

bool plugin::getVendorString(char* text) {
    copyText(text, "Hanvik", kVstMaxVendorStrLen);
    return true;
}

bool plugin::getProductString(char* text) {
    copyText(text, "Tarvo", kVstMaxProductStrLen);
    return true;
}

// --- Host link ------------------------------------------------------------------

void plugin::Link::automate(std::int32_t index, float position) {
    // The parameter itself was set already; this only tells the host.
    if (owner_.audioMaster)
        owner_.audioMaster(&owner_.cEffect, audioMasterAutomate, index, 0, nullptr, position);
}

void plugin::Link::setInitialDelay(std::int32_t samples) {
    // Written only on a change: the pass re-stores the same value after every
    // oversampling change, and the host may read the field at any time.
    if (owner_.cEffect.initialDelay != samples) owner_.AudioEffectX::setInitialDelay(samples);
}

float plugin::Link::sampleRate() const { return owner_.sampleRate; }

void plugin::Link::configuredOutsideProcessing() { owner_.announceLatency(); }

void plugin::Link::storeSampleRate(float rate) {
    if (!(owner_.sampleRate == rate)) owner_.sampleRate = rate;
}

}  // namespace tarvo
