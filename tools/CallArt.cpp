#include "tools/CallArt.h"

#include <cairo.h>

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

void CentredText(cairo_t* cr, const char* text, double cx, double cy, double size) {
    cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_move_to(cr, cx - extents.width / 2 - extents.x_bearing,
                  cy - extents.height / 2 - extents.y_bearing);
    cairo_show_text(cr, text);
}

// How much lighter (hover) or darker (pressed) a frame is.
double FrameLight(int frame) {
    return frame == 1 ? 0.12 : frame == 2 ? -0.08 : 0;
}

} // namespace

void DrawKeypadKey(cairo_t* cr, int width, int height, const char* label) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = FrameLight(f);
        cairo_pattern_t* shade = cairo_pattern_create_linear(0, y, 0, y + frame);
        cairo_pattern_add_color_stop_rgb(shade, 0, 0.36 + lit, 0.45 + lit, 0.52 + lit);
        cairo_pattern_add_color_stop_rgb(shade, 1, 0.20 + lit, 0.29 + lit, 0.35 + lit);
        RoundedRect(cr, 1, y + 1, width - 2, frame - 2, 8);
        cairo_set_source(cr, shade);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(shade);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        const double shift = f == 2 ? 1 : 0;
        CentredText(cr, label, width / 2.0 + shift, y + frame / 2 + shift, frame * 0.55);
    }
}

void DrawBackspaceButton(cairo_t* cr, int width, int height) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = FrameLight(f);
        // A key shaped like an arrow pointing left.
        cairo_move_to(cr, 1, y + frame / 2);
        cairo_line_to(cr, frame / 2, y + 1);
        cairo_line_to(cr, width - 1, y + 1);
        cairo_line_to(cr, width - 1, y + frame - 1);
        cairo_line_to(cr, frame / 2, y + frame - 1);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, 0.55 + lit, 0.60 + lit, 0.64 + lit);
        cairo_fill_preserve(cr);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        const double cx = width * 0.58;
        const double cy = y + frame / 2;
        const double r = frame * 0.2;
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, 2);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, cx - r, cy - r);
        cairo_line_to(cr, cx + r, cy + r);
        cairo_move_to(cr, cx + r, cy - r);
        cairo_line_to(cr, cx - r, cy + r);
        cairo_stroke(cr);
    }
}

void DrawForwardButton(cairo_t* cr, int width, int height) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double lit = FrameLight(f);
        const double cx = width / 2.0;
        const double cy = f * frame + frame / 2;
        cairo_arc(cr, cx, cy, width / 2.0 - 1, 0, 2 * M_PI);
        cairo_set_source_rgba(cr, 0.55 + lit, 0.63 + lit, 0.68 + lit, 0.95);
        cairo_fill_preserve(cr);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.40);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        const double s = width;
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, s / 9);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, cx - s * 0.22, cy);
        cairo_line_to(cr, cx + s * 0.20, cy);
        cairo_move_to(cr, cx + s * 0.02, cy - s * 0.18);
        cairo_line_to(cr, cx + s * 0.20, cy);
        cairo_line_to(cr, cx + s * 0.02, cy + s * 0.18);
        cairo_stroke(cr);
    }
}

void DrawQualityLight(cairo_t* cr, int width, int height) {
    RoundedRect(cr, 0.5, 0.5, width - 1, height - 1, 1.5);
    cairo_set_source_rgb(cr, 0.10, 0.55, 0.25);
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void DrawBalanceWarning(cairo_t* cr, int width, int height) {
    cairo_move_to(cr, width / 2.0, 1);
    cairo_line_to(cr, width - 1, height - 1);
    cairo_line_to(cr, 1, height - 1);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.95, 0.65, 0.10);
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.15, 0.10, 0.05);
    CentredText(cr, "!", width / 2.0, height * 0.62, height * 0.6);
}
