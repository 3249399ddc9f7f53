#include "vsthost/VstLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tarvo::vsthost {

#if defined(_WIN32)

namespace {

std::wstring widen(const std::string& utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text - 1, nullptr);
    return "error " + std::to_string(code) + ": " + text;
}

}  // namespace

VstLibrary::VstLibrary(const std::string& path) : path_(path) {
    // LoadLibrary wants backslashes; accept the forward slashes of a
    // portable path as well.
    std::wstring native = widen(path);
    for (wchar_t& c : native)
        if (c == L'/') c = L'\\';
    handle_ = reinterpret_cast<void*>(LoadLibraryW(native.c_str()));
    if (!handle_) throw HostError("cannot load " + path + " (" + lastErrorText() + ")");
}

VstLibrary::~VstLibrary() { FreeLibrary(reinterpret_cast<HMODULE>(handle_)); }

void* VstLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

#else

VstLibrary::VstLibrary(const std::string& path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        throw HostError("cannot load " + path + " (" + (reason ? reason : "unknown reason") + ")");
    }
}

VstLibrary::~VstLibrary() { dlclose(handle_); }

void* VstLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

#endif

PluginEntryProc VstLibrary::entry() const {
    void* address = symbol("VSTPluginMain");
    if (!address) address = symbol("main");
    if (!address) throw HostError(path_ + " exports neither VSTPluginMain nor main");
    return reinterpret_cast<PluginEntryProc>(address);
}

}  // namespace tarvo::vsthost
