#include "skin/zel_Bitmap.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "skin/SkinResources.h"

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr size_t kMasksSize = 16; // four 32-bit colour masks after a 16-bit header, not read

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Converts one stored row into premultiplied blue, green, red, alpha.
void ConvertRow16(const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
        uint32_t word =
            static_cast<uint32_t>(src[2 * x]) | (static_cast<uint32_t>(src[2 * x + 1]) << 8);
        uint32_t a = (word >> 12) & 0xF;
        uint32_t r = (word >> 8) & 0xF;
        uint32_t g = (word >> 4) & 0xF;
        uint32_t b = word & 0xF;
        dst[4 * x + 0] = static_cast<uint8_t>((b * a / 15) * 16);
        dst[4 * x + 1] = static_cast<uint8_t>((g * a / 15) * 16);
        dst[4 * x + 2] = static_cast<uint8_t>((r * a / 15) * 16);
        dst[4 * x + 3] = static_cast<uint8_t>(a * 16 + 15);
    }
}

void ConvertRow24(const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
        dst[4 * x + 0] = src[3 * x + 0];
        dst[4 * x + 1] = src[3 * x + 1];
        dst[4 * x + 2] = src[3 * x + 2];
        dst[4 * x + 3] = 255;
    }
}

void ConvertRow32(const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
        uint32_t a = src[4 * x + 3];
        dst[4 * x + 0] = static_cast<uint8_t>(src[4 * x + 0] * a / 255);
        dst[4 * x + 1] = static_cast<uint8_t>(src[4 * x + 1] * a / 255);
        dst[4 * x + 2] = static_cast<uint8_t>(src[4 * x + 2] * a / 255);
        dst[4 * x + 3] = static_cast<uint8_t>(a);
    }
}

using ConvertRow = void (*)(const uint8_t*, uint8_t*, int32_t);

// Where a bitmap resource's pixels lie and how they convert; convert is null for a depth that
// loads as a transparent image.
struct Layout {
    int32_t width = 0;
    int32_t height = 0;
    ConvertRow convert = nullptr;
    size_t start = kInfoHeaderSize;
    size_t stride = 0;
};

bool ReadLayout(std::span<const uint8_t> res, Layout* layout) {
    if (res.size() < kInfoHeaderSize || Read32(res.data()) != kInfoHeaderSize) {
        return false;
    }
    const auto w = static_cast<int32_t>(Read32(res.data() + 4));
    const auto h = static_cast<int32_t>(Read32(res.data() + 8));
    const uint32_t bits = static_cast<uint32_t>(res[14]) | (static_cast<uint32_t>(res[15]) << 8);
    if (w <= 0 || h <= 0 || w > kMaxSkinSide || h > kMaxSkinSide ||
        int64_t{w} * h > zel_Bitmap::kMaxPixels) {
        return false;
    }
    layout->width = w;
    layout->height = h;
    size_t rowBytes = 0;
    switch (bits) {
    case 16:
        layout->convert = ConvertRow16;
        layout->start = kInfoHeaderSize + kMasksSize;
        rowBytes = static_cast<size_t>(w) * 2;
        break;
    case 24:
        layout->convert = ConvertRow24;
        rowBytes = static_cast<size_t>(w) * 3;
        break;
    case 32:
        layout->convert = ConvertRow32;
        rowBytes = static_cast<size_t>(w) * 4;
        break;
    default:
        return true; // an unknown depth loads as a transparent image
    }
    layout->stride = (rowBytes + 3) & ~size_t{3};
    // The last row needs only its pixels, not its padding.
    return res.size() >= layout->start + layout->stride * static_cast<size_t>(h - 1) + rowBytes;
}

} // namespace

bool zel_Bitmap::Inspect(const plat::ResourceModule& module, int id, Info* info) {
    std::span<const uint8_t> resource;
    return id >= 0 &&
           module.Find(plat::kResourceBitmap, static_cast<uint32_t>(id), &resource) ==
               plat::ResourceModule::Lookup::Found &&
           Inspect(resource, info);
}

bool zel_Bitmap::Inspect(std::span<const uint8_t> resource, Info* info) {
    Layout layout;
    if (!ReadLayout(resource, &layout)) {
        return false;
    }
    *info = {layout.width, layout.height, layout.convert != nullptr};
    return true;
}

zel_Bitmap::zel_Bitmap(zel_Bitmap&& other) noexcept
    : surface(std::move(other.surface)), width(std::exchange(other.width, 0)),
      height(std::exchange(other.height, 0)) {}

zel_Bitmap& zel_Bitmap::operator=(zel_Bitmap&& other) noexcept {
    if (this != &other) {
        surface = std::move(other.surface);
        width = std::exchange(other.width, 0);
        height = std::exchange(other.height, 0);
    }
    return *this;
}

bool zel_Bitmap::Create(int32_t newWidth, int32_t newHeight, bool /*clear*/) {
    plat::Surface fresh;
    if (!fresh.Create(newWidth, newHeight)) {
        return false;
    }
    surface = std::move(fresh);
    width = newWidth;
    height = newHeight;
    return true;
}

bool zel_Bitmap::LoadFromSkin(int id) {
    return LoadFromModule(g_SkinModule, id);
}

bool zel_Bitmap::LoadFromModule(const plat::ResourceModule* module, int id) {
    if (!module || id < 0 || id > 0xFFFF) {
        return false;
    }
    std::span<const uint8_t> res;
    Layout layout;
    if (module->Find(plat::kResourceBitmap, static_cast<uint32_t>(id), &res) !=
            plat::ResourceModule::Lookup::Found ||
        !ReadLayout(res, &layout)) {
        return false;
    }
    const int32_t w = layout.width;
    const int32_t h = layout.height;
    plat::Surface image;
    if (!image.Create(w, h)) {
        return false;
    }
    if (layout.convert) {
        for (int32_t row = 0; row < h; ++row) {
            // Stored row 0 is the bottom row of the picture.
            layout.convert(res.data() + layout.start + layout.stride * static_cast<size_t>(row),
                           image.Row(h - 1 - row), w);
        }
        image.MarkDirty();
    }
    surface = std::move(image);
    width = w;
    height = h;
    return true;
}

void zel_Bitmap::ClearRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (!surface.IsValid()) {
        return;
    }
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (left >= right || top >= bottom) {
        return;
    }
    surface.Flush();
    for (int32_t y = top; y < bottom; ++y) {
        std::memset(surface.Row(y) + 4 * static_cast<size_t>(left), 0,
                    4 * static_cast<size_t>(right - left));
    }
    surface.MarkDirty();
}

void zel_Bitmap::Free() {
    surface.Reset();
    width = 0;
    height = 0;
}
