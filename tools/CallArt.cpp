#include "tools/CallArt.h"

#include <cairo.h>

#include <cmath>

#include "tools/ArtKit.h"

namespace {

// How much lighter (hover) or darker (pressed) a frame is.
double Light(int frame) {
    return FrameLight(frame, 0.12, -0.08);
}

} // namespace

void DrawKeypadKey(cairo_t* cr, int width, int height, const char* label) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = Light(f);
        GradientKey(cr, width, y, frame, 1, 8, {0.36 + lit, 0.45 + lit, 0.52 + lit},
                    {0.20 + lit, 0.29 + lit, 0.35 + lit}, 0.45);
        cairo_set_source_rgb(cr, 1, 1, 1);
        const double shift = f == 2 ? 1 : 0;
        CentredText(cr, label, width / 2.0 + shift, y + frame / 2 + shift, frame * 0.55, true);
    }
}

void DrawBackspaceButton(cairo_t* cr, int width, int height) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = Light(f);
        // A key shaped like an arrow pointing left.
        cairo_move_to(cr, 1, y + frame / 2);
        cairo_line_to(cr, frame / 2, y + 1);
        cairo_line_to(cr, width - 1, y + 1);
        cairo_line_to(cr, width - 1, y + frame - 1);
        cairo_line_to(cr, frame / 2, y + frame - 1);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, 0.55 + lit, 0.60 + lit, 0.64 + lit);
        FillAndOutline(cr, 0.45, 1);
        Cross(cr, width * 0.58, y + frame / 2, frame * 0.2);
    }
}

void DrawForwardButton(cairo_t* cr, int width, int height) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double lit = Light(f);
        const double cx = width / 2.0;
        const double cy = f * frame + frame / 2;
        cairo_arc(cr, cx, cy, width / 2.0 - 1, 0, 2 * M_PI);
        cairo_set_source_rgba(cr, 0.55 + lit, 0.63 + lit, 0.68 + lit, 0.95);
        FillAndOutline(cr, 0.40, 1);
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
    FillAndOutline(cr, 0.5, 1);
}

void DrawBalanceWarning(cairo_t* cr, int width, int height) {
    cairo_move_to(cr, width / 2.0, 1);
    cairo_line_to(cr, width - 1, height - 1);
    cairo_line_to(cr, 1, height - 1);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.95, 0.65, 0.10);
    FillAndOutline(cr, 0.5, 1);
    cairo_set_source_rgb(cr, 0.15, 0.10, 0.05);
    CentredText(cr, "!", width / 2.0, height * 0.62, height * 0.6, true);
}
