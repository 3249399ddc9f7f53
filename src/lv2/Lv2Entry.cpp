// The LV2 entry: lv2_descriptor, the library's only export, and the
// descriptor's functions over Lv2Plugin.

#include <lv2/core/lv2.h>

#include <cstring>
#include <new>

#include "lv2/Lv2Plugin.h"

namespace {

using tarvo::lv2::Lv2Plugin;

Lv2Plugin* self(LV2_Handle instance) { return static_cast<Lv2Plugin*>(instance); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    if (!Lv2Plugin::acceptsSampleRate(rate)) return nullptr;
    Lv2Plugin* plugin = nullptr;
    try {
        plugin = new Lv2Plugin(rate);
    } catch (...) {
        return nullptr;
    }
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, tarvo::lv2::kInlineDisplayQueueDraw) == 0 && (*f)->data != nullptr)
            plugin->setDrawRequest(static_cast<const tarvo::lv2::Lv2InlineDisplay*>((*f)->data));
    }
    return plugin;
}

void connectPort(LV2_Handle instance, uint32_t port, void* data) {
    self(instance)->connectPort(port, data);
}

void activate(LV2_Handle instance) { self(instance)->activate(); }

void run(LV2_Handle instance, uint32_t frames) { self(instance)->run(frames); }

void deactivate(LV2_Handle instance) { self(instance)->deactivate(); }

void cleanup(LV2_Handle instance) { delete self(instance); }

tarvo::lv2::Lv2InlineDisplayImageSurface* renderDisplay(void* instance, uint32_t width,
                                                         uint32_t maxHeight) {
    return self(instance)->renderDisplay(width, maxHeight);
}

const tarvo::lv2::Lv2InlineDisplayInterface inlineDisplay = {renderDisplay};

const void* extensionData(const char* uri) {
    if (uri != nullptr && std::strcmp(uri, tarvo::lv2::kInlineDisplayInterface) == 0)
        return &inlineDisplay;
    return nullptr;
}

const LV2_Descriptor descriptor = {tarvo::lv2::kPluginUri, instantiate, connectPort, activate,
                                   run, deactivate, cleanup, extensionData};

}  // namespace

// LV2_SYMBOL_EXPORT is extern "C" with default visibility.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &descriptor : nullptr;
}
