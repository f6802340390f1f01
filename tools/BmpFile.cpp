#include "tools/BmpFile.h"

#include <cairo.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void Put16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Premultiplied channel back to straight alpha, rounded.
uint8_t Unpremultiply(uint8_t c, uint8_t a) {
    if (a == 0) {
        return 0;
    }
    uint32_t v = (uint32_t{c} * 255 + a / 2) / a;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

static_assert(std::endian::native == std::endian::little,
              "BMP pixels are written from cairo's little-endian ARGB");

} // namespace

bool WriteBmp32(cairo_surface_t* surface, const std::string& path) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
        return false;
    }
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* pixels = cairo_image_surface_get_data(surface);
    const uint32_t imageSize = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4;

    std::vector<uint8_t> out;
    out.reserve(54 + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(&out, 54 + imageSize);
    Put32(&out, 0);
    Put32(&out, 54);
    Put32(&out, 40);
    Put32(&out, static_cast<uint32_t>(width));
    Put32(&out, static_cast<uint32_t>(height));
    Put16(&out, 1);
    Put16(&out, 32);
    Put32(&out, 0); // BI_RGB
    Put32(&out, imageSize);
    Put32(&out, 2835); // 72 dpi
    Put32(&out, 2835);
    Put32(&out, 0);
    Put32(&out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) {
            // cairo's native-endian ARGB is blue, green, red, alpha in memory on this target.
            const uint8_t* p = row + 4 * x;
            uint8_t a = p[3];
            out.push_back(Unpremultiply(p[0], a));
            out.push_back(Unpremultiply(p[1], a));
            out.push_back(Unpremultiply(p[2], a));
            out.push_back(a);
        }
    }

    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        return false;
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}
