#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Surface.h"

typedef struct _cairo cairo_t;

namespace plat {

// Text format flags, numbered as the original platform's.
constexpr uint32_t kDtLeft = 0x0;
constexpr uint32_t kDtCenter = 0x1;
constexpr uint32_t kDtRight = 0x2;
constexpr uint32_t kDtVCenter = 0x4;
constexpr uint32_t kDtBottom = 0x8;
constexpr uint32_t kDtWordBreak = 0x10;
constexpr uint32_t kDtSingleLine = 0x20;
constexpr uint32_t kDtNoClip = 0x100;
constexpr uint32_t kDtNoPrefix = 0x800;
constexpr uint32_t kDtEndEllipsis = 0x8000;

// A colour as the original platform stores one: red in the low byte, then green, blue, 0.
constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return r | (uint32_t{g} << 8) | (uint32_t{b} << 16);
}

// Draws on a Surface: premultiplied alpha blending of other surfaces, solid fills and text.
// Coordinates are logical: the origin (the viewport origin of the original platform) is added
// to each. Everything is clipped to the surface, to the clip rectangles when some are set, and
// reads from a source only inside its image (outside counts as transparent), so no rectangle a
// caller passes can touch memory outside either image.
//
// After drawing, call Surface::Flush before reading pixels directly; after writing pixels
// directly, Surface::MarkDirty before drawing again.
//
// Threads: the GUI thread.
class Canvas {
public:
    explicit Canvas(Surface& target);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Surface& Target() { return target_; }

    Point Origin() const { return origin_; }
    void SetOrigin(Point origin) { origin_ = origin; }

    // Restricts drawing to these rectangles (target pixels, not moved by the origin); null or
    // an empty list lifts the restriction.
    void SetClipRects(const std::vector<Rect>* rects);

    // Blends the source pixels at (srcX, srcY) and the size of `dst` onto `dst`: premultiplied
    // "over", each source pixel's alpha scaled by `alpha` / 255 first.
    void AlphaBlend(const Rect& dst, const Surface& src, int32_t srcX, int32_t srcY,
                    uint8_t alpha = 255);
    // The same from a source rectangle of another size, stretched to `dst` (smoothly).
    void AlphaBlendScaled(const Rect& dst, const Surface& src, double srcX, double srcY,
                          double srcWidth, double srcHeight, uint8_t alpha = 255);

    // Fills with an opaque colour (Rgb).
    void FillRect(const Rect& r, uint32_t color);

    // Text in `r` with the platform's format flags (kDt*): '&' marks the next character as a
    // mnemonic (underlined; "&&" is one '&') unless kDtNoPrefix; line breaks start new lines
    // unless kDtSingleLine; vertical centring and bottom alignment apply to single lines.
    // With `opaque` the text's cells are first filled with `background`.
    void DrawText(const Font& font, std::string_view text, const Rect& r, uint32_t format,
                  uint32_t color, bool opaque = false, uint32_t background = 0);
    // One line with its cell's top-left corner at `p`, turned by the font's escapement about
    // that point.
    void TextOut(const Font& font, Point p, std::string_view text, uint32_t color);

private:
    cairo_t* Begin();
    void End();

    Surface& target_;
    cairo_t* cr_ = nullptr;
    Point origin_;
    std::vector<Rect> clip_;
};

} // namespace plat
