#pragma once

#include <string>

#include "vsthost/VstInstance.h"

namespace tarvo::test {

/// Path of the plug-in library the host-level tests load: the environment
/// variable TARVO_PLUGIN when set, else the library this build produced.
std::string pluginPath();

/// The plug-in library, loaded once per test program and kept loaded until
/// the program ends, so instances never outlive their code.
const vsthost::VstLibrary& pluginLibrary();

}  // namespace tarvo::test
