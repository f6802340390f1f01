#pragma once
#include <cstdint>
#include <span>

#include "platform/res/ResourceModule.h"
#include "platform/ui/Surface.h"

// A 32-bit bitmap with premultiplied alpha, the form into which all skin artwork is converted
// so that every frame is drawn with one alpha blend. Owned by value inside controls, forms and
// preview items; its pixels are a copy and outlive the module they came from. GUI thread.
//
// Resources are stored bottom-up; the surface is top-down, so rows are flipped on load.
class zel_Bitmap {
public:
    // The most pixels a loaded bitmap may have (64 MiB of image). A bitmap of unknown depth
    // carries no pixels to check its size against, so without a cap a few header bytes could
    // ask for gigabytes.
    static constexpr int64_t kMaxPixels = 16 * 1024 * 1024;

    // What a load makes of a bitmap resource: its size, and whether its depth converts into a
    // picture (16, 24 or 32 bits) or loads as a transparent image.
    struct Info {
        int32_t width = 0;
        int32_t height = 0;
        bool picture = false;
    };
    // False when a load of `resource` would fail (see LoadFromModule).
    static bool Inspect(std::span<const uint8_t> resource, Info* info);
    // The same for bitmap `id` of `module`: false when it is missing too.
    static bool Inspect(const plat::ResourceModule& module, int id, Info* info);

    zel_Bitmap() = default;
    ~zel_Bitmap() { Free(); }
    zel_Bitmap(zel_Bitmap&& other) noexcept;
    zel_Bitmap& operator=(zel_Bitmap&& other) noexcept;
    zel_Bitmap(const zel_Bitmap&) = delete;
    zel_Bitmap& operator=(const zel_Bitmap&) = delete;

    // A new width x height bitmap, every pixel transparent (new images are always cleared, so
    // `clear` changes nothing). False, leaving the bitmap unchanged, for a negative or
    // oversized side.
    bool Create(int32_t width, int32_t height, bool clear);

    // Bitmap `id` of the current skin module / of `module`, converted (16, 24 or 32 bits; any
    // other depth loads as a transparent image). False, without a message and leaving the
    // bitmap unchanged, when it is missing or damaged: a header size other than 40, a width or
    // height of 0 or less or above kMaxSkinSide, more than kMaxPixels, or rows that run past
    // the resource.
    bool LoadFromSkin(int id);
    bool LoadFromModule(const plat::ResourceModule* module, int id);

    // Makes the pixels of [left, right) x [top, bottom) (top-down coordinates) transparent;
    // the parts outside the bitmap are ignored.
    void ClearRect(int32_t left, int32_t top, int32_t right, int32_t bottom);

    void Free();

    // Read directly by the controls.
    plat::Surface surface;
    int32_t width = 0;
    int32_t height = 0;
};
