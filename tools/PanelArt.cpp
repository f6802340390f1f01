#include "tools/PanelArt.h"

#include <cairo.h>

#include <cmath>

#include "tools/ArtKit.h"

namespace {

constexpr double kTab = kPanelTab;

// The panel's title above its controls, in the part that shows beside the face.
void Title(cairo_t* cr, const char* title, double x, double y) {
    cairo_set_source_rgb(cr, 0.92, 0.96, 0.96);
    Text(cr, title, x, y, 13, true);
}

void Label(cairo_t* cr, const char* text, double cx, double cy) {
    cairo_set_source_rgb(cr, 0.85, 0.91, 0.92);
    CentredText(cr, text, cx, cy, 10, false);
}

// Three frames of a rounded key with `text`, or of a plain knob without.
void KeyFrames(cairo_t* cr, int width, int height, const char* text, double red, double green,
               double blue) {
    const double frame = height / 3.0;
    for (int f = 0; f < 3; ++f) {
        const double y = f * frame;
        const double lit = FrameLight(f, 0.12, -0.08);
        GradientKey(cr, width, y, frame, 0.5, std::fmin(6, frame / 2 - 0.5),
                    {red + 0.15 + lit, green + 0.15 + lit, blue + 0.15 + lit},
                    {red + lit, green + lit, blue + lit}, 0.5);
        if (text) {
            const double shift = f == 2 ? 1 : 0;
            cairo_set_source_rgb(cr, 0.97, 0.98, 0.98);
            CentredText(cr, text, width / 2.0 + shift, y + frame / 2 + shift, frame * 0.55, true);
        }
    }
}

// Three frames of a small square button with a triangle pointing at `angle` (0: right).
void ArrowFrames(cairo_t* cr, int width, int height, double angle) {
    const double frame = height / 3.0;
    KeyFrames(cr, width, height, nullptr, 0.30, 0.40, 0.46);
    for (int f = 0; f < 3; ++f) {
        cairo_save(cr);
        cairo_translate(cr, width / 2.0, f * frame + frame / 2);
        cairo_rotate(cr, angle);
        const double s = std::fmin(width, frame) * 0.28;
        cairo_move_to(cr, s, 0);
        cairo_line_to(cr, -s * 0.7, -s);
        cairo_line_to(cr, -s * 0.7, s);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, 0.95, 0.97, 0.97);
        cairo_fill(cr);
        cairo_restore(cr);
    }
}

// A slider's groove from (x, top) to (x, bottom).
void Groove(cairo_t* cr, double x, double top, double bottom) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 5);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_move_to(cr, x, top);
    cairo_line_to(cr, x, bottom);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
    cairo_move_to(cr, x + 2.5, top);
    cairo_line_to(cr, x + 2.5, bottom);
    cairo_stroke(cr);
}

} // namespace

void DrawSkinsPanel(cairo_t* cr, int width, int height) {
    PanelFrame(cr, width, height, TabSide::Left, "Skins", false);
    Title(cr, "Skins", kTab + 8, 22);
    // The strip's place (area 912): a darker well behind the previews.
    RoundedRect(cr, 28, 30, width - kTab - kUnderFace - 10, 134, 8);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.25);
    cairo_fill(cr);
}

void DrawAudioPanel(cairo_t* cr, int width, int height) {
    PanelFrame(cr, width, height, TabSide::Left, "Audio", false);
    Title(cr, "Audio", kTab + 8, 22);
    // Three grooves under the sliders' thumbs (24 x 12, from y 40 to 130), with their labels.
    const struct {
        double x;
        const char* label;
    } columns[] = {{50, "Opacity"}, {110, "Mic"}, {170, "Speaker"}};
    for (const auto& column : columns) {
        Groove(cr, column.x, 44, 138);
        Label(cr, column.label, column.x, 156);
    }
}

void DrawMenuPanel(cairo_t* cr, int width, int height) {
    PanelFrame(cr, width, height, TabSide::Right, "Menu", false);
    Title(cr, "Menu", kUnderFace + 8, 22);
}

void DrawInstallButton(cairo_t* cr, int width, int height) {
    KeyFrames(cr, width, height, "Install...", 0.20, 0.36, 0.44);
}

void DrawUseSkinButton(cairo_t* cr, int width, int height) {
    KeyFrames(cr, width, height, "Use skin", 0.12, 0.45, 0.30);
}

void DrawArrowLeft(cairo_t* cr, int width, int height) {
    ArrowFrames(cr, width, height, M_PI);
}

void DrawArrowRight(cairo_t* cr, int width, int height) {
    ArrowFrames(cr, width, height, 0);
}

void DrawArrowUp(cairo_t* cr, int width, int height) {
    ArrowFrames(cr, width, height, -M_PI / 2);
}

void DrawArrowDown(cairo_t* cr, int width, int height) {
    ArrowFrames(cr, width, height, M_PI / 2);
}

void DrawScrollThumb(cairo_t* cr, int width, int height) {
    KeyFrames(cr, width, height, nullptr, 0.50, 0.60, 0.66);
}

void DrawScrollTrack(cairo_t* cr, int width, int height) {
    RoundedRect(cr, 0.5, 0.5, width - 1, height - 1, std::fmin(width, height) / 2 - 0.5);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_fill(cr);
}

void DrawSliderThumb(cairo_t* cr, int width, int height) {
    KeyFrames(cr, width, height, nullptr, 0.62, 0.70, 0.74);
}
