#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Options.h"
#include "vsthost/VstInstance.h"

namespace tarvo::render {

/// How the host presents itself to the plug-in.
struct HostSetup {
    float sampleRate = 44100.0f;
    int blockSize = 512;
    bool offline = true;  ///< process level offline (4) rather than realtime (2)
    Precision precision = Precision::Automatic;
};

/// One plug-in instance driven as a VST 2.4 host renders: loaded through its
/// exported entry, opened, given the sample rate and block size while
/// suspended, resumed for processing and suspended and closed at the end.
/// The host answers the process level, rate, block size and a running
/// transport (audioMasterGetTime).
class HostedPlugin {
public:
    /// Loads the library and creates and opens the instance (suspended,
    /// rate and block size set). Throws a processing ToolError when the
    /// library does not load, exports no entry or the entry returns no
    /// instance; a usage ToolError when the requested precision is not
    /// offered.
    HostedPlugin(const std::string& libraryPath, const HostSetup& setup);
    /// Suspends a running instance and closes it.
    ~HostedPlugin();
    HostedPlugin(const HostedPlugin&) = delete;
    HostedPlugin& operator=(const HostedPlugin&) = delete;

    /// The Tarvo library next to the running executable, else the one this
    /// build made.
    static std::string defaultLibraryPath();

    vsthost::VstInstance& instance() { return *instance_; }
    AEffect& effect() { return instance_->effect(); }
    const std::string& libraryPath() const { return library_->path(); }
    std::string name();
    int inputs() { return effect().numInputs; }
    int outputs() { return effect().numOutputs; }
    bool usesDouble() const { return useDouble_; }
    const HostSetup& setup() const { return setup_; }

    /// Resumes the instance for processing and returns its latency in
    /// samples (the record's initialDelay). A plug-in may settle its
    /// processing only when it first learns the process level, in its first
    /// processing call, and change its latency then; so one block of silence
    /// is processed first and the instance is suspended and resumed again
    /// (which clears its signal history) before the latency is read.
    int start();
    /// Processes `frames` frames (at most the block size). `inputs` holds
    /// inputs() channels and `outputs` outputs() channels. Advances the
    /// transport the plug-in sees.
    void process(double* const* inputs, double* const* outputs, int frames);
    /// Stops processing and suspends the instance.
    void stop();

private:
    void resume();

    HostSetup setup_;
    bool useDouble_ = true;
    bool running_ = false;
    VstTimeInfo timeInfo_{};
    std::unique_ptr<vsthost::VstLibrary> library_;
    std::unique_ptr<vsthost::VstInstance> instance_;
    // Single-precision staging for plug-ins driven through processReplacing.
    std::vector<std::vector<float>> floatInputs_, floatOutputs_;
    std::vector<float*> floatInputPointers_, floatOutputPointers_;
};

}  // namespace tarvo::render
