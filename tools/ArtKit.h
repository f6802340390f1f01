#pragma once

#include <limits>

typedef struct _cairo cairo_t;

// Drawing pieces the built-in skin's artwork shares: rounded shapes, texts, the faces of keys
// and the three-frame lighting of buttons.

// How far the call face covers a side panel's inner edge (skin value 226, and 232 - value 227):
// nothing a panel shows may lie there.
constexpr double kUnderFace = 24;
// The width of the tab that shows beside the face while a panel is closed.
constexpr double kPanelTab = 22;

struct Rgb {
    double red;
    double green;
    double blue;
};

// Adds a closed rectangle with rounded corners of radius `r` as a new sub-path.
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r);

// Fills the current path keeping it, then outlines it in black of the given opacity.
void FillAndOutline(cairo_t* cr, double outlineAlpha, double lineWidth);

// Selects the sans font in the given size and weight.
void SelectFont(cairo_t* cr, double size, bool bold);
// `text` with its baseline starting at (x, y).
void Text(cairo_t* cr, const char* text, double x, double y, double size, bool bold);
// `text` centred on (cx, cy), made smaller when it would be wider than `maxWidth`.
void CentredText(cairo_t* cr, const char* text, double cx, double cy, double size, bool bold,
                 double maxWidth = std::numeric_limits<double>::infinity());

// How much lighter (frame 1, hover) or darker (frame 2, pressed) a button's frame is drawn.
double FrameLight(int frame, double hover, double pressed);

// A rounded key inset by `inset` in the frame at `y`, `frameHeight` rows high: a vertical
// gradient from `top` to `bottom` over the whole frame and a black outline.
void GradientKey(cairo_t* cr, double width, double y, double frameHeight, double inset,
                 double radius, Rgb top, Rgb bottom, double outlineAlpha);

// A round key centred on (cx, cy): lit from its upper left, from `light` to `dark`, outlined.
void ShadedDisc(cairo_t* cr, double cx, double cy, double r, Rgb light, Rgb dark,
                double outlineAlpha);

// A form's body filling w x h: a soft shadow below and right of a rounded slate-to-teal panel
// set in by `margin`, with a light rim.
void FormBody(cairo_t* cr, double w, double h, double margin, double radius, double alpha);

// The call face's body: the same panel, opaque and filling w x h to its edges, without a
// shadow. The side panels hang behind the face, so nothing of them shows through it or
// between it and their tabs; only its corners, rounded by `radius`, are clear.
void FaceBody(cairo_t* cr, double w, double h, double radius);

// Which edge of a side panel its tab runs along: the left column's panels show theirs at
// their left edge, the right column's at their right edge.
enum class TabSide { Left, Right };

// A side panel's frame filling w x h: a rounded body, dark or light, with a light rim, and
// the tab that shows beside the face while the panel is closed: kPanelTab wide, dark, with
// `title` running upwards. The tab is drawn the same on every panel, whatever its body.
void PanelFrame(cairo_t* cr, double w, double h, TabSide side, const char* title, bool lightBody);

// The pale display of a phone face.
void Screen(cairo_t* cr, double x, double y, double w, double h, double radius);

// A white cross of half-size `r` centred on (cx, cy).
void Cross(cairo_t* cr, double cx, double cy, double r);
