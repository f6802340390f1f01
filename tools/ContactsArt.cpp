#include "tools/ContactsArt.h"

#include <cairo.h>

#include "tools/ArtKit.h"

namespace {

// The width of the tab along a panel's right edge (the skin's closed edge).
constexpr double kTab = kPanelTab;

// How much lighter (hover) or darker (pressed) a button's frame is.
double Light(int frame) {
    return FrameLight(frame, 0.12, -0.10);
}

// The frame with its tab, and the list's white frame (its area and scroll bar in the .rc).
// The left kUnderFace columns lie under the call face and stay empty.
void DrawPanel(cairo_t* cr, int width, int height, const char* title) {
    PanelFrame(cr, width, height, TabSide::Right, title, true);
    RoundedRect(cr, kUnderFace + 4.5, 30.5, width - kUnderFace - kTab - 9, height - 35, 4);
    cairo_set_source_rgb(cr, 0.97, 0.98, 0.98);
    FillAndOutline(cr, 0.25, 1);
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
    DrawPanel(cr, width, height, "History");
}

void DrawContactsPanel(cairo_t* cr, int width, int height) {
    DrawPanel(cr, width, height, "Contacts");
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
