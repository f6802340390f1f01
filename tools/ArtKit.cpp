#include "tools/ArtKit.h"

#include <cairo.h>

#include <cmath>

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void FillAndOutline(cairo_t* cr, double outlineAlpha, double lineWidth) {
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, outlineAlpha);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

void SelectFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

void Text(cairo_t* cr, const char* text, double x, double y, double size, bool bold) {
    SelectFont(cr, size, bold);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
}

void CentredText(cairo_t* cr, const char* text, double cx, double cy, double size, bool bold,
                 double maxWidth) {
    SelectFont(cr, size, bold);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    if (extents.width > maxWidth) {
        cairo_set_font_size(cr, size * maxWidth / extents.width);
        cairo_text_extents(cr, text, &extents);
    }
    cairo_move_to(cr, cx - extents.width / 2 - extents.x_bearing,
                  cy - extents.height / 2 - extents.y_bearing);
    cairo_show_text(cr, text);
}

double FrameLight(int frame, double hover, double pressed) {
    return frame == 1 ? hover : frame == 2 ? pressed : 0;
}

void GradientKey(cairo_t* cr, double width, double y, double frameHeight, double inset,
                 double radius, Rgb top, Rgb bottom, double outlineAlpha) {
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, y, 0, y + frameHeight);
    cairo_pattern_add_color_stop_rgb(shade, 0, top.red, top.green, top.blue);
    cairo_pattern_add_color_stop_rgb(shade, 1, bottom.red, bottom.green, bottom.blue);
    RoundedRect(cr, inset, y + inset, width - 2 * inset, frameHeight - 2 * inset, radius);
    cairo_set_source(cr, shade);
    cairo_pattern_destroy(shade);
    FillAndOutline(cr, outlineAlpha, 1);
}

void ShadedDisc(cairo_t* cr, double cx, double cy, double r, Rgb light, Rgb dark,
                double outlineAlpha) {
    cairo_pattern_t* shade = cairo_pattern_create_radial(cx - r / 3, cy - r / 3, r / 5, cx, cy, r);
    cairo_pattern_add_color_stop_rgb(shade, 0, light.red, light.green, light.blue);
    cairo_pattern_add_color_stop_rgb(shade, 1, dark.red, dark.green, dark.blue);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_set_source(cr, shade);
    cairo_pattern_destroy(shade);
    FillAndOutline(cr, outlineAlpha, 1.5);
}

namespace {

// The slate-to-teal gradient of a form's body, top to bottom over h rows.
cairo_pattern_t* BodyShade(double h, double alpha) {
    cairo_pattern_t* body = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgba(body, 0, 0.20, 0.27, 0.33, alpha);
    cairo_pattern_add_color_stop_rgba(body, 1, 0.05, 0.30, 0.32, alpha);
    return body;
}

// Fills the current path with `pattern` and destroys the pattern.
void FillWith(cairo_t* cr, cairo_pattern_t* pattern, bool preserve) {
    cairo_set_source(cr, pattern);
    if (preserve) {
        cairo_fill_preserve(cr);
    } else {
        cairo_fill(cr);
    }
    cairo_pattern_destroy(pattern);
}

// Rounds the corners of every side panel and of its tab.
constexpr double kPanelCorner = 14;

} // namespace

void FormBody(cairo_t* cr, double w, double h, double margin, double radius, double alpha) {
    const double inset = margin + 6;
    RoundedRect(cr, margin + 4, margin + 6, w - inset, h - inset, radius);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.25);
    cairo_fill(cr);
    RoundedRect(cr, margin, margin, w - inset, h - inset, radius);
    FillWith(cr, BodyShade(h, alpha), true);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.30);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

void FaceBody(cairo_t* cr, double w, double h, double radius) {
    RoundedRect(cr, 0, 0, w, h, radius);
    FillWith(cr, BodyShade(h, 1), false);
    // The rim lies inside the body, which stays opaque under it.
    RoundedRect(cr, 1, 1, w - 2, h - 2, radius - 1);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.30);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

void PanelFrame(cairo_t* cr, double w, double h, TabSide side, const char* title, bool lightBody) {
    const double tabX = side == TabSide::Left ? 1 : w - kPanelTab - 1;
    cairo_save(cr);
    RoundedRect(cr, 1, 1, w - 2, h - 2, kPanelCorner);
    cairo_clip(cr);
    cairo_pattern_t* dark = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgba(dark, 0, 0.18, 0.25, 0.31, 0.94);
    cairo_pattern_add_color_stop_rgba(dark, 1, 0.06, 0.27, 0.30, 0.94);
    cairo_set_source(cr, dark);
    cairo_paint(cr);
    cairo_pattern_destroy(dark);
    if (lightBody) {
        // A light panel's own body takes the place of the dark one beside the tab.
        cairo_rectangle(cr, side == TabSide::Left ? tabX + kPanelTab : 0, 0, w - kPanelTab - 1, h);
        cairo_pattern_t* light = cairo_pattern_create_linear(0, 0, w, 0);
        cairo_pattern_add_color_stop_rgb(light, 0, 0.86, 0.89, 0.91);
        cairo_pattern_add_color_stop_rgb(light, 1, 0.74, 0.79, 0.82);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        FillWith(cr, light, false);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    cairo_rectangle(cr, tabX, 0, kPanelTab, h);
    cairo_set_source_rgba(cr, 0.04, 0.12, 0.16, 0.55);
    cairo_fill(cr);
    cairo_restore(cr);

    RoundedRect(cr, 1, 1, w - 2, h - 2, kPanelCorner);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.30);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, tabX + kPanelTab / 2, h / 2);
    cairo_rotate(cr, -M_PI / 2);
    cairo_set_source_rgb(cr, 0.85, 0.92, 0.93);
    CentredText(cr, title, 0, 0, 12, true);
    cairo_restore(cr);
}

void Screen(cairo_t* cr, double x, double y, double w, double h, double radius) {
    cairo_pattern_t* screen = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgb(screen, 0, 0.80, 0.93, 0.90);
    cairo_pattern_add_color_stop_rgb(screen, 1, 0.58, 0.80, 0.78);
    RoundedRect(cr, x, y, w, h, radius);
    cairo_set_source(cr, screen);
    cairo_fill(cr);
    cairo_pattern_destroy(screen);
}

void Cross(cairo_t* cr, double cx, double cy, double r) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, cx - r, cy - r);
    cairo_line_to(cr, cx + r, cy + r);
    cairo_move_to(cr, cx + r, cy - r);
    cairo_line_to(cr, cx - r, cy + r);
    cairo_stroke(cr);
}
