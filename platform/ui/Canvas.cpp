#include "platform/ui/Canvas.h"

#include <cairo.h>

#include <cmath>
#include <string>

#include "platform/ui/TextLayout.h"

namespace plat {
namespace {

void SetColor(cairo_t* cr, uint32_t color) {
    cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                         ((color >> 16) & 0xFF) / 255.0);
}

// The text without its mnemonic marks, and where the underlined characters start (bytes).
std::string StripPrefixes(std::string_view text, std::vector<int>* underlined) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&') {
                underlined->push_back(static_cast<int>(out.size()));
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

// The length in bytes of the UTF-8 sequence that starts with `lead`.
int SequenceLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

} // namespace

Canvas::Canvas(Surface& target) : target_(target) {}

Canvas::~Canvas() {
    if (cr_) {
        cairo_destroy(cr_);
        target_.Flush();
    }
}

void Canvas::SetClipRects(const std::vector<Rect>* rects) {
    clip_.clear();
    if (rects) {
        clip_ = *rects;
    }
}

cairo_t* Canvas::Begin() {
    if (!target_.IsValid()) {
        return nullptr;
    }
    if (!cr_) {
        cr_ = cairo_create(target_.CairoSurface());
    }
    cairo_save(cr_);
    if (!clip_.empty()) {
        for (const Rect& r : clip_) {
            cairo_rectangle(cr_, r.left, r.top, r.Width(), r.Height());
        }
        cairo_clip(cr_);
    }
    cairo_translate(cr_, origin_.x, origin_.y);
    return cr_;
}

void Canvas::End() {
    cairo_restore(cr_);
}

void Canvas::AlphaBlend(const Rect& dst, const Surface& src, int32_t srcX, int32_t srcY,
                        uint8_t alpha) {
    if (dst.IsEmpty() || !src.IsValid() || alpha == 0) {
        return;
    }
    cairo_t* cr = Begin();
    if (!cr) {
        return;
    }
    cairo_rectangle(cr, dst.left, dst.top, dst.Width(), dst.Height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, src.CairoSurface(), dst.left - srcX, dst.top - srcY);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    if (alpha == 255) {
        cairo_paint(cr);
    } else {
        cairo_paint_with_alpha(cr, alpha / 255.0);
    }
    End();
}

void Canvas::AlphaBlendScaled(const Rect& dst, const Surface& src, double srcX, double srcY,
                              double srcWidth, double srcHeight, uint8_t alpha) {
    if (dst.IsEmpty() || !src.IsValid() || alpha == 0 || srcWidth <= 0 || srcHeight <= 0) {
        return;
    }
    cairo_t* cr = Begin();
    if (!cr) {
        return;
    }
    cairo_rectangle(cr, dst.left, dst.top, dst.Width(), dst.Height());
    cairo_clip(cr);
    cairo_translate(cr, dst.left, dst.top);
    cairo_scale(cr, dst.Width() / srcWidth, dst.Height() / srcHeight);
    cairo_set_source_surface(cr, src.CairoSurface(), -srcX, -srcY);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint_with_alpha(cr, alpha / 255.0);
    End();
}

void Canvas::FillRect(const Rect& r, uint32_t color) {
    if (r.IsEmpty()) {
        return;
    }
    cairo_t* cr = Begin();
    if (!cr) {
        return;
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    SetColor(cr, color);
    cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
    cairo_fill(cr);
    End();
}

void Canvas::DrawText(const Font& font, std::string_view text, const Rect& r, uint32_t format,
                      uint32_t color, bool opaque, uint32_t background) {
    if (!font.IsValid() || text.empty()) {
        return;
    }
    cairo_t* cr = Begin();
    if (!cr) {
        return;
    }
    std::vector<int> underlined;
    std::string shown =
        (format & kDtNoPrefix) ? std::string(text) : StripPrefixes(text, &underlined);
    PangoLayout* layout = NewLayout(MeasuringContext(), font.Description(), shown);
    if (!underlined.empty()) {
        PangoAttrList* attrs = pango_attr_list_new();
        for (int at : underlined) {
            PangoAttribute* a = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
            a->start_index = static_cast<guint>(at);
            a->end_index =
                static_cast<guint>(at + SequenceLength(static_cast<unsigned char>(shown[at])));
            pango_attr_list_insert(attrs, a);
        }
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    const bool single = (format & kDtSingleLine) != 0;
    pango_layout_set_single_paragraph_mode(layout, single);
    if ((format & kDtWordBreak) && !single) {
        pango_layout_set_width(layout, r.Width() * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    } else if (format & kDtEndEllipsis) {
        pango_layout_set_width(layout, r.Width() * PANGO_SCALE);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_alignment(layout, (format & kDtCenter)  ? PANGO_ALIGN_CENTER
                                       : (format & kDtRight) ? PANGO_ALIGN_RIGHT
                                                             : PANGO_ALIGN_LEFT);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    const bool wrapped = pango_layout_get_width(layout) >= 0;
    int32_t x = r.left;
    if (!wrapped) {
        if (format & kDtCenter) {
            x = r.left + (r.Width() - logical.width) / 2;
        } else if (format & kDtRight) {
            x = r.right - logical.width;
        }
    }
    int32_t y = r.top;
    if (single && (format & kDtVCenter)) {
        y = r.top + (r.Height() - logical.height) / 2;
    } else if (single && (format & kDtBottom)) {
        y = r.bottom - logical.height;
    }
    if (!(format & kDtNoClip)) {
        cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
        cairo_clip(cr);
    }
    if (opaque) {
        SetColor(cr, background);
        cairo_rectangle(cr, x + logical.x, y + logical.y, logical.width, logical.height);
        cairo_fill(cr);
    }
    SetColor(cr, color);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    End();
}

void Canvas::TextOut(const Font& font, Point p, std::string_view text, uint32_t color) {
    if (!font.IsValid() || text.empty()) {
        return;
    }
    cairo_t* cr = Begin();
    if (!cr) {
        return;
    }
    cairo_translate(cr, p.x, p.y);
    cairo_rotate(cr, -font.Escapement() * M_PI / 1800.0);
    cairo_set_font_options(cr, UiFontOptions());
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), UiFontOptions());
    pango_layout_set_font_description(layout, font.Description());
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    PangoLayout* checked = NewLayout(MeasuringContext(), font.Description(), text);
    pango_layout_set_text(layout, pango_layout_get_text(checked), -1);
    g_object_unref(checked);
    SetColor(cr, color);
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    End();
}

} // namespace plat
