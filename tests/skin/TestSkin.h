#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/res/ResourceModule.h"
#include "platform/ui/Surface.h"
#include "skin/SkinResources.h"
#include "tests/res/TestPe.h"
#include "tests/support/CurrentSkin.h"

// Builds a skin module in memory, resource by resource, for the toolkit's tests and
// benchmarks. Bitmaps are 32-bit with straight alpha, given top-down as 0xAARRGGBB.
class TestSkin {
public:
    using Pixels = std::function<uint32_t(int x, int y)>;

    TestSkin() { Header(7, 7).Value(kSkinLanguageId, 0).Value(kSkinIdValueId, 0); }

    // Every resource of `module` of the types a skin holds (its pictures, strings, header and
    // skin resources), to be changed and built into another module.
    static TestSkin CopyOf(const plat::ResourceModule& module) {
        TestSkin copy;
        copy.resources_.clear();
        for (uint32_t type : {plat::kResourceBitmap, plat::kResourceString, plat::kResourceRcdata,
                              kSkinTypeFontFace, kSkinTypeArea, kSkinTypeColor, kSkinTypeValue,
                              kSkinTypePosition}) {
            module.ForEach(type, [&copy, type](uint32_t id, std::span<const uint8_t> data) {
                copy.Put(type, static_cast<int>(id), {data.begin(), data.end()});
            });
        }
        return copy;
    }

    TestSkin& Header(int32_t first, int32_t second) {
        return Put(plat::kResourceRcdata, kSkinHeaderId, Ints({first, second}));
    }
    TestSkin& Pos(int id, int32_t x, int32_t y) { return Put(kSkinTypePosition, id, Ints({x, y})); }
    TestSkin& Area(int id, int32_t x, int32_t y, int32_t w, int32_t h) {
        return Put(kSkinTypeArea, id, Ints({x, y, w, h}));
    }
    TestSkin& Value(int id, int32_t v) { return Put(kSkinTypeValue, id, Ints({v})); }
    TestSkin& Color(int id, uint32_t colorref) {
        return Put(kSkinTypeColor, id, Ints({static_cast<int32_t>(colorref)}));
    }
    TestSkin& Face(const std::string& face) {
        std::vector<uint8_t> bytes(face.begin(), face.end());
        bytes.push_back(0);
        return Put(kSkinTypeFontFace, kSkinFontFaceId, bytes);
    }
    TestSkin& Bitmap(int id, int w, int h, const Pixels& argb) {
        std::vector<uint8_t> d;
        auto put32 = [&d](uint32_t v) {
            for (int i = 0; i < 4; ++i) {
                d.push_back(static_cast<uint8_t>(v >> (8 * i)));
            }
        };
        put32(40);
        put32(static_cast<uint32_t>(w));
        put32(static_cast<uint32_t>(h));
        put32(1 | (32u << 16)); // planes, bit count
        for (int i = 0; i < 6; ++i) {
            put32(0);
        }
        for (int row = h - 1; row >= 0; --row) { // stored bottom-up
            for (int x = 0; x < w; ++x) {
                put32(argb(x, row));
            }
        }
        return Put(plat::kResourceBitmap, id, d);
    }
    // Only the header of a w x h bitmap of `bits` per pixel: a depth that cannot be converted
    // loads as a transparent image without needing any pixels.
    TestSkin& Depth(int id, int w, int h, uint16_t bits) {
        std::vector<uint8_t> d =
            Ints({40, w, h, static_cast<int32_t>(1u | (uint32_t{bits} << 16)), 0, 0, 0, 0, 0, 0});
        return Put(plat::kResourceBitmap, id, d);
    }
    TestSkin& Solid(int id, int w, int h, uint32_t argb) {
        return Bitmap(id, w, h, [argb](int, int) { return argb; });
    }
    // `frames` frames of `frameHeight` rows, frame k all of colour colours[k].
    TestSkin& Frames(int id, int w, int frameHeight, const std::vector<uint32_t>& colours) {
        return Bitmap(id, w, frameHeight * static_cast<int>(colours.size()),
                      [=](int, int y) { return colours[static_cast<size_t>(y / frameHeight)]; });
    }

    // Resource (type, id)'s data starts `bytes` bytes past a place aligned for its integers.
    TestSkin& Misalign(uint32_t type, int id, uint32_t bytes) {
        for (auto& r : resources_) {
            if (r.type == type && r.id == static_cast<uint32_t>(id)) {
                r.misalign = bytes;
            }
        }
        return *this;
    }

    // An RCDATA resource that nothing reads, sized so that the module's file is `bytes` long
    // (a multiple of 512, as its section is).
    TestSkin& PadTo(size_t bytes) {
        constexpr int kPaddingId = 999;
        Put(plat::kResourceRcdata, kPaddingId, {});
        for (size_t size = Bytes().size(); size != bytes; size = Bytes().size()) {
            for (auto& r : resources_) {
                if (r.type == plat::kResourceRcdata && r.id == kPaddingId) {
                    r.data.resize(r.data.size() + bytes - size); // wraps back when too long
                }
            }
        }
        return *this;
    }

    TestSkin& Remove(uint32_t type, int id) {
        std::erase_if(resources_, [&](const testpe::Resource& r) {
            return r.type == type && r.id == static_cast<uint32_t>(id);
        });
        return *this;
    }

    // The module's bytes, as a skin file holds them.
    std::vector<uint8_t> Bytes() const { return testpe::Build(resources_).bytes; }

    bool Load(plat::ResourceModule& module) const {
        testpe::Image image = testpe::Build(resources_);
        return module.LoadFromBytes(image.bytes.data(), image.bytes.size());
    }

private:
    static std::vector<uint8_t> Ints(std::initializer_list<int32_t> values) {
        std::vector<uint8_t> out;
        for (int32_t v : values) {
            for (int i = 0; i < 4; ++i) {
                out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
            }
        }
        return out;
    }
    TestSkin& Put(uint32_t type, int id, std::vector<uint8_t> data) {
        for (auto& r : resources_) {
            if (r.type == type && r.id == static_cast<uint32_t>(id)) {
                r.data = std::move(data);
                return *this;
            }
        }
        resources_.push_back({type, static_cast<uint32_t>(id), 0x409, std::move(data)});
        return *this;
    }

    std::vector<testpe::Resource> resources_;
};

// The premultiplied pixel (0xAARRGGBB) at (x, y) of a surface.
inline uint32_t PixelAt(const plat::Surface& s, int x, int y) {
    const uint8_t* p = s.Row(y) + 4 * x;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
