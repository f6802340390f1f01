#include "platform/ui/Font.h"

#include <cmath>
#include <map>
#include <tuple>
#include <utility>

#include "platform/ui/TextLayout.h"

namespace plat {
namespace {

// The cell height in pixels of `description` at its current size.
int CellHeight(const PangoFontDescription* description) {
    PangoLayout* layout = NewLayout(MeasuringContext(), description, "Xg");
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return logical.height;
}

} // namespace

Font::~Font() {
    Reset();
}

Font::Font(Font&& other) noexcept
    : description_(std::exchange(other.description_, nullptr)),
      height_(std::exchange(other.height_, 0)), escapement_(std::exchange(other.escapement_, 0)) {}

Font& Font::operator=(Font&& other) noexcept {
    if (this != &other) {
        Reset();
        description_ = std::exchange(other.description_, nullptr);
        height_ = std::exchange(other.height_, 0);
        escapement_ = std::exchange(other.escapement_, 0);
    }
    return *this;
}

bool Font::Create(const std::string& face, int32_t height, int32_t weight, int32_t escapement) {
    Reset();
    if (height < 1 || height > kMaxHeight) {
        return false;
    }
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, face.c_str());
    pango_font_description_set_weight(d, static_cast<PangoWeight>(weight < 100   ? 400
                                                                  : weight > 900 ? 900
                                                                                 : weight));
    // The platform's height is the cell height, pango's size the em size. The cell grows
    // with the size in whole pixels: search for the largest size whose cell is the height.
    auto cellAt = [d](double size) {
        pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
        return CellHeight(d);
    };
    // The same face, weight and height always give the same size: search once per process.
    static std::map<std::tuple<std::string, int32_t, int32_t>, double> sizes;
    const auto key = std::make_tuple(face, weight, height);
    if (auto it = sizes.find(key); it != sizes.end()) {
        cellAt(it->second);
        description_ = d;
        height_ = height;
        escapement_ = escapement;
        return true;
    }
    double low = height / 4.0;
    double high = height * 2.0;
    for (int step = 0; step < 16; ++step) {
        const double middle = (low + high) / 2;
        if (cellAt(middle) <= height) {
            low = middle;
        } else {
            high = middle;
        }
    }
    cellAt(low);
    sizes[key] = low;
    description_ = d;
    height_ = height;
    escapement_ = escapement;
    return true;
}

void Font::Reset() {
    if (description_) {
        pango_font_description_free(description_);
    }
    description_ = nullptr;
    height_ = 0;
    escapement_ = 0;
}

Size Font::Measure(std::string_view text) const {
    if (!description_) {
        return {};
    }
    PangoLayout* layout = NewLayout(MeasuringContext(), description_, text);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return {logical.width, height_};
}

} // namespace plat
