#pragma once
#include <pango/pangocairo.h>

#include <string_view>

namespace plat {

// Internal to the font and canvas code: text layouts that measure and draw alike.

// Greyscale antialiasing, hinted metrics (whole-pixel advances, as the platform's fonts).
cairo_font_options_t* UiFontOptions();
// The context that measures text outside any drawing.
PangoContext* MeasuringContext();
// A layout of `text` in `font` on `context`, one line unless it has line breaks.
PangoLayout* NewLayout(PangoContext* context, const PangoFontDescription* font,
                       std::string_view text);

} // namespace plat
