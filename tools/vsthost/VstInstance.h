#pragma once

#include <memory>
#include <string>

#include "vsthost/RecordingHost.h"
#include "vsthost/VstLibrary.h"

namespace tarvo::vsthost {

/// One plug-in instance as a host holds it: created through the library's
/// entry with its own RecordingHost, driven only through the effect record
/// (dispatcher, parameter and processing entries), closed with effClose.
class VstInstance {
public:
    /// Creates an instance; throws HostError when the entry returns none or
    /// the record's magic is not kEffectMagic. Sends nothing else.
    explicit VstInstance(const VstLibrary& library, HostAnswers answers = {});
    /// Sends effClose unless close() did already.
    ~VstInstance();
    VstInstance(const VstInstance&) = delete;
    VstInstance& operator=(const VstInstance&) = delete;

    /// The record. Valid until close().
    AEffect& effect() const { return *effect_; }
    RecordingHost& host() { return *host_; }
    bool isOpen() const { return effect_ != nullptr; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    /// `inputs` and `outputs` hold numInputs and numOutputs channel pointers.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames);
    /// Sends effClose and forgets the record; returns the plug-in's answer.
    VstIntPtr close();

    /// The start-up sequence of a host: effOpen, effSetSampleRate,
    /// effSetBlockSize, then effMainsChanged 1 (resume).
    void start(float sampleRate, VstInt32 blockSize);
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void suspend() { dispatch(effMainsChanged, 0, 0); }

    // Text requests, each into a fresh zero-filled buffer of 256 bytes.
    std::string effectName();
    std::string vendorString();
    std::string productString();
    std::string programName();
    std::string programNameIndexed(VstInt32 index);
    std::string parameterName(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);
    std::string parameterLabel(VstInt32 index);

private:
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);

    std::unique_ptr<RecordingHost> host_;
    AEffect* effect_ = nullptr;
};

}  // namespace tarvo::vsthost
