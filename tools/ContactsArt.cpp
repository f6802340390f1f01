#include "tools/ContactsArt.h"

#include <cairo.h>

#include <cmath>

#include "tools/ArtKit.h"

namespace {

// The width of the tab along a panel's right edge (the skin's closed edge).
constexpr double kTab = kPanelTab;

// How much lighter (hover) or darker (pressed) a button's frame is.
double Light(int frame) {
    return FrameLight(frame, 0.12, -0.10);
}

// The body, the list's white frame (its area and scroll bar in the .rc) and the tab. The left
// kUnderFace columns lie under the call face and stay empty.
void DrawPanel(cairo_t* cr, int width, int height) {
    RoundedRect(cr, 0.5, 0.5, width - 1, height - 1, 8);
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, 0, width, 0);
    cairo_pattern_add_color_stop_rgb(shade, 0, 0.86, 0.89, 0.91);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.74, 0.79, 0.82);
    cairo_set_source(cr, shade);
    cairo_pattern_destroy(shade);
    FillAndOutline(cr, 0.45, 1);
    RoundedRect(cr, kUnderFace + 4.5, 30.5, width - kUnderFace - kTab - 9, height - 35, 4);
    cairo_set_source_rgb(cr, 0.97, 0.98, 0.98);
    FillAndOutline(cr, 0.25, 1);
    // The tab.
    cairo_rectangle(cr, width - kTab, 1, kTab - 1, height - 2);
    cairo_set_source_rgb(cr, 0.30, 0.40, 0.47);
    cairo_fill(cr);
}

// A person: head and shoulders.
void DrawPerson(cairo_t* cr, double cx, double cy, double size) {
    cairo_arc(cr, cx, cy - size * 0.25, size * 0.2, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy + size * 0.35, size * 0.35, M_PI, 2 * M_PI);
    cairo_fill(cr);
}

// A clock face with its hands.
void DrawClock(cairo_t* cr, double cx, double cy, double size) {
    cairo_set_line_width(cr, 1.6);
    cairo_arc(cr, cx, cy, size * 0.4, 0, 2 * M_PI);
    cairo_stroke(cr);
    cairo_move_to(cr, cx, cy - size * 0.28);
    cairo_line_to(cr, cx, cy);
    cairo_line_to(cr, cx + size * 0.2, cy);
    cairo_stroke(cr);
}

// A button of three frames with `label` on a rounded key.
void DrawTextButton(cairo_t* cr, int width, int height, const char* label) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = Light(f);
        RoundedRect(cr, 0.5, y + 0.5, width - 1, frame - 1, 4);
        cairo_set_source_rgb(cr, 0.36 + lit, 0.47 + lit, 0.55 + lit);
        FillAndOutline(cr, 0.45, 1);
        cairo_set_source_rgb(cr, 1, 1, 1);
        CentredText(cr, label, width / 2.0, y + frame / 2, frame * 0.6, true, width - 8);
    }
}

} // namespace

void DrawHistoryPanel(cairo_t* cr, int width, int height) {
    DrawPanel(cr, width, height);
    cairo_set_source_rgb(cr, 1, 1, 1);
    DrawClock(cr, width - kTab / 2, height / 2.0, kTab - 4);
}

void DrawContactsPanel(cairo_t* cr, int width, int height) {
    DrawPanel(cr, width, height);
    cairo_set_source_rgb(cr, 1, 1, 1);
    DrawPerson(cr, width - kTab / 2, height / 2.0, kTab - 4);
}

void DrawMissedButton(cairo_t* cr, int width, int height) {
    DrawTextButton(cr, width, height, "Missed");
}

void DrawReceivedButton(cairo_t* cr, int width, int height) {
    DrawTextButton(cr, width, height, "Recv");
}

void DrawDialedButton(cairo_t* cr, int width, int height) {
    DrawTextButton(cr, width, height, "Dialed");
}

void DrawNewContactButton(cairo_t* cr, int width, int height) {
    DrawTextButton(cr, width, height, "New");
}

void DrawEditContactButton(cairo_t* cr, int width, int height) {
    DrawTextButton(cr, width, height, "Edit");
}

void DrawDeleteContactButton(cairo_t* cr, int width, int height) {
    DrawTextButton(cr, width, height, "Delete");
}

void DrawEraseButton(cairo_t* cr, int width, int height) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = Light(f);
        RoundedRect(cr, 0.5, y + 0.5, width - 1, frame - 1, 4);
        cairo_set_source_rgb(cr, 0.70 + lit, 0.30 + lit, 0.28 + lit);
        cairo_fill(cr);
        Cross(cr, width / 2.0, y + frame / 2, frame * 0.22);
    }
}
