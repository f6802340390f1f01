#pragma once
#include <cstdint>

typedef struct _cairo_surface cairo_surface_t;

namespace plat {

// A 32-bit image in memory: premultiplied ARGB32 (bytes blue, green, red, alpha; the same
// bytes as a premultiplied 32-bit DIB), rows top-down, on a cairo image surface so the
// toolkit can draw it and draw on it.
//
// Threads: one thread at a time (the GUI thread); no locks.
class Surface {
public:
    // The largest width or height an image may have.
    static constexpr int kMaxSide = 32767;

    Surface() = default;
    ~Surface();
    Surface(Surface&& other) noexcept;
    Surface& operator=(Surface&& other) noexcept;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Replaces the image with a new width x height one whose bytes are all 0 (transparent).
    // False, leaving the surface empty, when a side is negative or above kMaxSide or the
    // memory cannot be had.
    bool Create(int width, int height);
    void Reset();

    bool IsValid() const { return surface_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes from one row to the next.
    int Stride() const { return stride_; }
    // Row y (0 is the top row); null when y is outside the image.
    uint8_t* Row(int y);
    const uint8_t* Row(int y) const;

    // After writing pixels through Row(): tells cairo that they changed.
    void MarkDirty();
    // Before reading pixels through Row() after drawing with cairo.
    void Flush();

    cairo_surface_t* CairoSurface() const { return surface_; }

private:
    cairo_surface_t* surface_ = nullptr;
    uint8_t* data_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
};

} // namespace plat
