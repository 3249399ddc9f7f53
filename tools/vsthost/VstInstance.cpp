#include "vsthost/VstInstance.h"

namespace tarvo::vsthost {

VstInstance::VstInstance(const VstLibrary& library, HostAnswers answers)
    : host_(std::make_unique<RecordingHost>(std::move(answers))) {
    effect_ = host_->instantiate(library.entry());
    if (!effect_) throw HostError(library.path() + " created no instance");
    if (effect_->magic != kEffectMagic) {
        effect_ = nullptr;  // not a record we may call into
        throw HostError(library.path() + " returned a record without the VST magic");
    }
}

VstInstance::~VstInstance() {
    if (effect_) close();
}

VstIntPtr VstInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void VstInstance::setParameter(VstInt32 index, float value) {
    effect_->setParameter(effect_, index, value);
}

float VstInstance::getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }

void VstInstance::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    effect_->processReplacing(effect_, inputs, outputs, sampleFrames);
}

void VstInstance::processDoubleReplacing(double** inputs, double** outputs,
                                         VstInt32 sampleFrames) {
    effect_->processDoubleReplacing(effect_, inputs, outputs, sampleFrames);
}

VstIntPtr VstInstance::close() {
    AEffect* const effect = effect_;
    effect_ = nullptr;
    return effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

void VstInstance::start(float sampleRate, VstInt32 blockSize) {
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, blockSize);
    resume();
}

std::string VstInstance::effectName() { return text(effGetEffectName); }
std::string VstInstance::vendorString() { return text(effGetVendorString); }
std::string VstInstance::productString() { return text(effGetProductString); }
std::string VstInstance::programName() { return text(effGetProgramName); }
std::string VstInstance::programNameIndexed(VstInt32 index) {
    return text(effGetProgramNameIndexed, index, -1);
}
std::string VstInstance::parameterName(VstInt32 index) { return text(effGetParamName, index); }
std::string VstInstance::parameterDisplay(VstInt32 index) { return text(effGetParamDisplay, index); }
std::string VstInstance::parameterLabel(VstInt32 index) { return text(effGetParamLabel, index); }

std::string VstInstance::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    char buffer[256] = {};
    dispatch(opcode, index, value, buffer);
    buffer[sizeof buffer - 1] = 0;
    return buffer;
}

}  // namespace tarvo::vsthost
