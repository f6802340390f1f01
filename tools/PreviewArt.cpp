#include "tools/PreviewArt.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "tools/ArtKit.h"

namespace {

void Key(cairo_t* cr, double cx, double cy, double r, double red, double green, double blue) {
    ShadedDisc(cr, cx, cy, r, {red + 0.25, green + 0.25, blue + 0.25}, {red, green, blue}, 0.35);
}

} // namespace

void DrawPreview(cairo_t* cr, int width, int height) {
    const double w = width;
    const double h = height;

    // Soft shadow, then the body with a vertical slate-to-teal gradient (slightly translucent).
    FormBody(cr, w, h, 2, 30, 0.94);

    // Display: a pale screen with two lines of "text" and four quality bars.
    const double sx = 18, sy = 26, sw = w - 40, sh = 0.22 * h;
    Screen(cr, sx, sy, sw, sh, 8);
    cairo_set_source_rgba(cr, 0.10, 0.22, 0.24, 0.85);
    RoundedRect(cr, sx + 12, sy + 16, sw * 0.45, 8, 3);
    cairo_fill(cr);
    RoundedRect(cr, sx + sw * 0.35, sy + sh - 34, sw * 0.55, 14, 4);
    cairo_fill(cr);
    for (int i = 0; i < 4; ++i) {
        double bh = 5 + 4 * i;
        cairo_rectangle(cr, sx + sw - 40 + 8 * i, sy + 30 - bh, 5, bh);
        cairo_fill(cr);
    }

    // Keypad: 3 x 4 round keys, then the talk and hang-up keys.
    const double top = sy + sh + 26;
    const double pitchX = (w - 8) / 3.4;
    const double pitchY = 0.115 * h;
    const double r = std::min(pitchX, pitchY) * 0.38;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 3; ++col) {
            double cx = (w - 6) / 2 + (col - 1) * pitchX;
            double cy = top + r + row * pitchY;
            Key(cr, cx, cy, r, 0.55, 0.60, 0.64);
        }
    }
    const double callY = top + r + 4 * pitchY + 6;
    Key(cr, (w - 6) / 2 - pitchX * 0.8, callY, r * 1.1, 0.10, 0.55, 0.20);
    Key(cr, (w - 6) / 2 + pitchX * 0.8, callY, r * 1.1, 0.65, 0.12, 0.10);
}
