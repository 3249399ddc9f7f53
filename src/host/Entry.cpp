// The library's exported entry. A host calls it once per instance it wants,
// with its callback, and gets the instance's effect record, or none.

#include "host/AudioEffect.h"

#if defined(_WIN32)
#define TARVO_EXPORT  // exported through Tarvo.def
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#define TARVO_EXPORT __attribute__((visibility("default")))
#endif

using tarvo::AEffect;
using tarvo::audioMasterCallback;

extern "C" TARVO_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster);

/// Asks the host for its version first: a host that answers 0 (or passes no
/// callback) gets no instance and no further request. No exception leaves
/// this function; an instance that fails to build releases its storage and
/// the host gets none.
AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    if (!audioMaster) return nullptr;
    try {
        if (audioMaster(nullptr, tarvo::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
            return nullptr;
        tarvo::AudioEffect* effect = tarvo::createEffectInstance(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

#if !defined(_WIN32)
// Older hosts look for the entry under the name `main`. C++ reserves that
// name for the program's entry, so the second name is an assembler-level
// alias of VSTPluginMain: the same address under both symbols.
extern "C" TARVO_EXPORT AEffect* legacyMainEntry(audioMasterCallback audioMaster) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
#endif

#if defined(_WIN32)
/// A host that scans its plug-in folder loads and unloads the library many
/// times in one process. The C++ runtime linked into the DLL allocates its
/// exception emergency pool (about 73 kB) whenever the DLL is loaded and never
/// frees it, so on its first load the DLL pins itself: later FreeLibrary calls
/// leave it mapped and the next LoadLibrary reuses it, as the Linux library
/// does with -z nodelete. Not exported (Tarvo.def names the exports).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&DllMain), &self);
    }
    return TRUE;
}
#endif
