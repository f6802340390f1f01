#include "platform/ui/Surface.h"

#include <cairo.h>

#include <bit>
#include <cstring>
#include <utility>

namespace plat {

static_assert(std::endian::native == std::endian::little,
              "cairo ARGB32 matches DIB byte order only on little-endian targets");

Surface::~Surface() {
    Reset();
}

Surface::Surface(Surface&& other) noexcept
    : surface_(std::exchange(other.surface_, nullptr)), data_(std::exchange(other.data_, nullptr)),
      width_(std::exchange(other.width_, 0)), height_(std::exchange(other.height_, 0)),
      stride_(std::exchange(other.stride_, 0)) {}

Surface& Surface::operator=(Surface&& other) noexcept {
    if (this != &other) {
        Reset();
        surface_ = std::exchange(other.surface_, nullptr);
        data_ = std::exchange(other.data_, nullptr);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        stride_ = std::exchange(other.stride_, 0);
    }
    return *this;
}

bool Surface::Create(int width, int height) {
    Reset();
    if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) {
        return false;
    }
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return false;
    }
    surface_ = s;
    data_ = cairo_image_surface_get_data(s);
    width_ = width;
    height_ = height;
    stride_ = cairo_image_surface_get_stride(s);
    if (data_) {
        // cairo clears new image surfaces; say so explicitly, the contract depends on it.
        std::memset(data_, 0, static_cast<size_t>(stride_) * static_cast<size_t>(height_));
    }
    return true;
}

void Surface::Reset() {
    if (surface_) {
        cairo_surface_destroy(surface_);
    }
    surface_ = nullptr;
    data_ = nullptr;
    width_ = height_ = stride_ = 0;
}

uint8_t* Surface::Row(int y) {
    if (!data_ || y < 0 || y >= height_) {
        return nullptr;
    }
    return data_ + static_cast<size_t>(y) * static_cast<size_t>(stride_);
}

const uint8_t* Surface::Row(int y) const {
    return const_cast<Surface*>(this)->Row(y);
}

void Surface::MarkDirty() {
    if (surface_) {
        cairo_surface_mark_dirty(surface_);
    }
}

void Surface::Flush() {
    if (surface_) {
        cairo_surface_flush(surface_);
    }
}

} // namespace plat
