#pragma once

#include <stdexcept>
#include <string>

#include "host/Vst2.h"

namespace tarvo::vsthost {

/// A library could not be loaded, has no entry, or created no instance.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A VST 2.4 plug-in library loaded by path: dlopen on Linux, LoadLibrary on
/// Windows. It must outlive every instance created from it.
class VstLibrary {
public:
    /// Loads the library; throws HostError with the system's reason. A path
    /// without a directory part is looked up the system's way, so pass
    /// "./name.so" for a file in the working directory.
    explicit VstLibrary(const std::string& path);
    ~VstLibrary();
    VstLibrary(const VstLibrary&) = delete;
    VstLibrary& operator=(const VstLibrary&) = delete;

    /// Address of an exported symbol, or nullptr.
    void* symbol(const char* name) const;
    /// The entry: `VSTPluginMain`, else `main`; throws HostError if neither
    /// is exported.
    PluginEntryProc entry() const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace tarvo::vsthost
