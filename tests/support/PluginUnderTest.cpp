#include "support/PluginUnderTest.h"

#include <cstdlib>

namespace tarvo::test {

std::string pluginPath() {
    const char* overridden = std::getenv("TARVO_PLUGIN");
    return overridden && *overridden ? overridden : TARVO_PLUGIN_PATH;
}

const vsthost::VstLibrary& pluginLibrary() {
    static const vsthost::VstLibrary library(pluginPath());
    return library;
}

}  // namespace tarvo::test
