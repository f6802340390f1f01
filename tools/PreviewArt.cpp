#include "tools/PreviewArt.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace {

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void Key(cairo_t* cr, double cx, double cy, double r, double red, double green, double blue) {
    cairo_pattern_t* shade = cairo_pattern_create_radial(cx - r / 3, cy - r / 3, r / 5, cx, cy, r);
    cairo_pattern_add_color_stop_rgba(shade, 0, red + 0.25, green + 0.25, blue + 0.25, 1);
    cairo_pattern_add_color_stop_rgba(shade, 1, red, green, blue, 1);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_set_source(cr, shade);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(shade);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
}

} // namespace

void DrawPreview(cairo_t* cr, int width, int height) {
    const double w = width;
    const double h = height;

    // Soft shadow, then the body with a vertical slate-to-teal gradient (slightly translucent).
    RoundedRect(cr, 6, 8, w - 8, h - 8, 30);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.25);
    cairo_fill(cr);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgba(body, 0, 0.20, 0.27, 0.33, 0.94);
    cairo_pattern_add_color_stop_rgba(body, 1, 0.05, 0.30, 0.32, 0.94);
    RoundedRect(cr, 2, 2, w - 8, h - 8, 30);
    cairo_set_source(cr, body);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(body);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.30);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);

    // Display: a pale screen with two lines of "text" and four quality bars.
    const double sx = 18, sy = 26, sw = w - 40, sh = 0.22 * h;
    cairo_pattern_t* screen = cairo_pattern_create_linear(0, sy, 0, sy + sh);
    cairo_pattern_add_color_stop_rgb(screen, 0, 0.80, 0.93, 0.90);
    cairo_pattern_add_color_stop_rgb(screen, 1, 0.58, 0.80, 0.78);
    RoundedRect(cr, sx, sy, sw, sh, 8);
    cairo_set_source(cr, screen);
    cairo_fill(cr);
    cairo_pattern_destroy(screen);
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
