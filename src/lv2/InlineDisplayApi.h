#pragma once

// The inline-display extension to LV2, which Ardour uses to draw a small
// picture of a plug-in in its mixer strip. lv2-dev has no header for it;
// these are its declarations, C-compatible, as the extension documents them:
// - the host offers the feature kInlineDisplayQueueDraw, whose data is an
//   Lv2InlineDisplay: a plug-in calls queue_draw (real-time safe, from run())
//   when its picture has changed;
// - the plug-in answers extension_data(kInlineDisplayInterface) with an
//   Lv2InlineDisplayInterface, whose render the host calls on its GUI
//   thread with the width it has and the most height it allows, and which
//   returns an image owned by the plug-in (valid until the next render or
//   cleanup), or null for no picture.
// Pixels are 32-bit ARGB with premultiplied alpha, one native-endian word a
// pixel (cairo's ARGB32), rows stride bytes apart.

#include <cstdint>

namespace tarvo::lv2 {

inline constexpr const char* kInlineDisplayUri = "http://harrisonconsoles.com/lv2/inlinedisplay";
inline constexpr const char* kInlineDisplayInterface =
    "http://harrisonconsoles.com/lv2/inlinedisplay#interface";
inline constexpr const char* kInlineDisplayQueueDraw =
    "http://harrisonconsoles.com/lv2/inlinedisplay#queue_draw";

extern "C" {

struct Lv2InlineDisplayImageSurface {
    unsigned char* data;
    int width;
    int height;
    int stride;  ///< bytes from one row to the next
};

struct Lv2InlineDisplayInterface {
    /// instance is the plug-in's LV2_Handle.
    Lv2InlineDisplayImageSurface* (*render)(void* instance, std::uint32_t width,
                                            std::uint32_t maxHeight);
};

struct Lv2InlineDisplay {
    void* handle;
    void (*queue_draw)(void* handle);
};

}  // extern "C"

}  // namespace tarvo::lv2
