#include "params/StoredDefault.h"

#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cstdio>
#include <cstdlib>
#include <string>
#endif

namespace tarvo {

#ifdef _WIN32

std::size_t readStoredDefault(unsigned char (&bytes)[kStoredDefaultBytes]) noexcept {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\orlenaudio\\Tarvo", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return 0;
    }
    // Queried into a buffer of our own: on ERROR_MORE_DATA the buffer's
    // contents are undefined, and an over-long value must change nothing.
    unsigned char data[kStoredDefaultBytes];
    DWORD size = sizeof data;
    const LONG status = RegQueryValueExA(key, "Default", nullptr, nullptr, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size > sizeof data) return 0;
    std::memcpy(bytes, data, size);
    return size;
}

#else

namespace {

/// $XDG_CONFIG_HOME/orlenaudio/Tarvo/Default, or $HOME/.config/... when
/// XDG_CONFIG_HOME is unset or empty; empty when neither is known.
std::string storedDefaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string path;
    if (config != nullptr && config[0] != '\0') {
        path = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') return std::string();
        path = home;
        path += "/.config";
    }
    path += "/orlenaudio/Tarvo/Default";
    return path;
}

}  // namespace

std::size_t readStoredDefault(unsigned char (&bytes)[kStoredDefaultBytes]) noexcept {
    try {
        const std::string path = storedDefaultPath();
        if (path.empty()) return 0;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return 0;
        // One byte more than a row tells an over-long value from a full one.
        unsigned char data[kStoredDefaultBytes + 1];
        const std::size_t size = std::fread(data, 1, sizeof data, file);
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        if (failed || size > kStoredDefaultBytes) return 0;
        std::memcpy(bytes, data, size);
        return size;
    } catch (...) {
        return 0;  // no memory for the path: behave as if there were no file
    }
}

#endif

}  // namespace tarvo
