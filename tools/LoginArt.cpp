#include "tools/LoginArt.h"

#include <cairo.h>

#include <cmath>
#include <initializer_list>

#include "tools/ArtKit.h"

namespace {

// A handset: a thick arc with an earpiece and a mouthpiece at its ends, centred at (cx, cy)
// and tilted as a handset lies on its side.
void Handset(cairo_t* cr, double cx, double cy, double size) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, -M_PI / 4);
    const double radius = size * 0.55;
    const double centreY = size * 0.45;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, size * 0.20);
    cairo_arc(cr, 0, centreY, radius, -M_PI * 0.82, -M_PI * 0.18);
    cairo_stroke(cr);
    for (double angle : {-M_PI * 0.82, -M_PI * 0.18}) {
        cairo_save(cr);
        cairo_translate(cr, radius * std::cos(angle), centreY + radius * std::sin(angle));
        cairo_rotate(cr, angle + M_PI / 2);
        RoundedRect(cr, -size * 0.24, -size * 0.02, size * 0.48, size * 0.30, size * 0.10);
        cairo_fill(cr);
        cairo_restore(cr);
    }
    cairo_restore(cr);
}

// `text` centred across cx with its baseline at y.
void CentredOnBaseline(cairo_t* cr, const char* text, double cx, double y, double size) {
    SelectFont(cr, size, true);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_move_to(cr, cx - extents.width / 2 - extents.x_bearing, y);
    cairo_show_text(cr, text);
}

// A white input box with a thin inner shadow.
void InputBox(cairo_t* cr, double x, double y, double w, double h) {
    RoundedRect(cr, x, y, w, h, 6);
    cairo_set_source_rgb(cr, 0.97, 0.98, 0.98);
    FillAndOutline(cr, 0.45, 1);
}

// One frame of a small round window button; frame 1 is lit, frame 2 pressed.
void RoundButtonFrame(cairo_t* cr, double size, int frame, void (*glyph)(cairo_t*, double)) {
    const double r = size / 2 - 1;
    cairo_arc(cr, size / 2, size / 2, r, 0, 2 * M_PI);
    const double lit = FrameLight(frame, 0.18, -0.08);
    cairo_set_source_rgba(cr, 0.55 + lit, 0.63 + lit, 0.68 + lit, 0.95);
    FillAndOutline(cr, 0.40, 1);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, size / 9);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_save(cr);
    if (frame == 2) {
        cairo_translate(cr, 0.5, 0.5);
    }
    glyph(cr, size);
    cairo_restore(cr);
}

void Frames(cairo_t* cr, int width, int height, void (*glyph)(cairo_t*, double)) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        cairo_save(cr);
        cairo_translate(cr, 0, f * frame);
        RoundButtonFrame(cr, width, f, glyph);
        cairo_restore(cr);
    }
}

void ChevronGlyph(cairo_t* cr, double s) {
    cairo_move_to(cr, s * 0.30, s * 0.40);
    cairo_line_to(cr, s * 0.50, s * 0.62);
    cairo_line_to(cr, s * 0.70, s * 0.40);
    cairo_stroke(cr);
}

void BarGlyph(cairo_t* cr, double s) {
    cairo_move_to(cr, s * 0.30, s * 0.62);
    cairo_line_to(cr, s * 0.70, s * 0.62);
    cairo_stroke(cr);
}

void CrossGlyph(cairo_t* cr, double s) {
    cairo_move_to(cr, s * 0.32, s * 0.32);
    cairo_line_to(cr, s * 0.68, s * 0.68);
    cairo_move_to(cr, s * 0.68, s * 0.32);
    cairo_line_to(cr, s * 0.32, s * 0.68);
    cairo_stroke(cr);
}

// The green disc with the handset, as in the icon.
void Emblem(cairo_t* cr, double cx, double cy, double r) {
    cairo_pattern_t* disc = cairo_pattern_create_radial(cx - r / 3, cy - r / 3, r / 6, cx, cy, r);
    cairo_pattern_add_color_stop_rgb(disc, 0, 0.35, 0.80, 0.45);
    cairo_pattern_add_color_stop_rgb(disc, 1, 0.08, 0.50, 0.22);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_set_source(cr, disc);
    cairo_fill(cr);
    cairo_pattern_destroy(disc);
    cairo_set_source_rgb(cr, 1, 1, 1);
    Handset(cr, cx - r * 0.06, cy + r * 0.02, r * 1.05);
}

} // namespace

void DrawLoginFace(cairo_t* cr, int width, int height) {
    const double w = width;
    FormBody(cr, w, height, 1, 26, 0.96);
    Emblem(cr, 46, 50, 20);
    cairo_set_source_rgb(cr, 1, 1, 1);
    Text(cr, "Quorvex", 74, 58, 22, true);

    // The two fields: label above, white box below; the text areas sit inside the boxes.
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
    Text(cr, "Phone number", 30, 118, 12, false);
    InputBox(cr, 28, 124, 170, 30);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
    Text(cr, "Password", 30, 184, 12, false);
    InputBox(cr, 28, 190, 170, 30);
}

void DrawSignInButton(cairo_t* cr, int width, int height) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = FrameLight(f, 0.10, -0.06);
        GradientKey(cr, width, y, frame, 1, (frame - 2) / 2, {0.30 + lit, 0.75 + lit, 0.40 + lit},
                    {0.08 + lit, 0.50 + lit, 0.22 + lit}, 0.40);
        cairo_set_source_rgb(cr, 1, 1, 1);
        CentredOnBaseline(cr, "Sign in", width / 2.0 + (f == 2 ? 1 : 0), y + frame / 2 + 6, 15);
    }
}

void DrawHideButton(cairo_t* cr, int width, int height) {
    Frames(cr, width, height, ChevronGlyph);
}

void DrawMinimiseButton(cairo_t* cr, int width, int height) {
    Frames(cr, width, height, BarGlyph);
}

void DrawCloseButton(cairo_t* cr, int width, int height) {
    Frames(cr, width, height, CrossGlyph);
}

void DrawCallFace(cairo_t* cr, int width, int height) {
    const double w = width;
    // The side panels hang behind the face from its row 8 down to its row 434 (the skin's
    // places): its corners stay above and below them, so no panel shows beside a corner.
    FaceBody(cr, w, height, 6);
    Emblem(cr, 30, 34, 14);

    // The user name strip and the display (caption above, number below), centred.
    RoundedRect(cr, 27, 62, w - 54, 26, 6);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
    cairo_fill(cr);
    Screen(cr, 21, 104, w - 42, 96, 10);
}

namespace {

// A round key with a handset: three frames (normal, lit, pressed), the handset turned by
// `turn` (a hang-up key shows it upside down).
void HandsetKey(cairo_t* cr, int width, int height, double red, double green, double blue,
                double turn) {
    const double frame = height / 3.0;
    const double r = width / 2.0 - 2;
    for (int f = 0; f < 3; ++f) {
        const double lit = FrameLight(f, 0.12, -0.08);
        const double cx = width / 2.0;
        const double cy = f * frame + frame / 2;
        ShadedDisc(cr, cx, cy, r, {red + 0.25 + lit, green + 0.25 + lit, blue + 0.25 + lit},
                   {red + lit, green + lit, blue + lit}, 0.40);
        cairo_save(cr);
        cairo_translate(cr, cx + (f == 2 ? 1 : 0), cy + (f == 2 ? 1 : 0));
        cairo_rotate(cr, turn);
        cairo_set_source_rgb(cr, 1, 1, 1);
        Handset(cr, 0, 0, r * 0.9);
        cairo_restore(cr);
    }
}

} // namespace

void DrawTalkButton(cairo_t* cr, int width, int height) {
    HandsetKey(cr, width, height, 0.10, 0.55, 0.20, 0);
}

void DrawHangUpButton(cairo_t* cr, int width, int height) {
    HandsetKey(cr, width, height, 0.65, 0.12, 0.10, 3 * M_PI / 4);
}

void DrawProgramIcon(cairo_t* cr, int width, int height) {
    const double r = (width < height ? width : height) / 2.0 - 1;
    Emblem(cr, width / 2.0, height / 2.0, r);
}
