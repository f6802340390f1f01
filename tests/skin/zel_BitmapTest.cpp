#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"
#include "tests/res/FixturePattern.h"
#include "tests/support/CurrentSkin.h"

namespace {

std::string Fixture(const char* name) {
    return std::string(QUORVEX_FIXTURE_DIR) + "/" + name;
}

struct Px {
    int b, g, r, a;
    bool operator==(const Px&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Px& p) {
    return os << "(b" << p.b << " g" << p.g << " r" << p.r << " a" << p.a << ")";
}

// The pixel that a stored (bottom-up) row shows: surface rows are top-down.
Px StoredPixel(const zel_Bitmap& bmp, int x, int storedRow) {
    const uint8_t* p = bmp.surface.Row(bmp.height - 1 - storedRow) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

class ZelBitmap : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(skin_.LoadFromFile(Fixture("skin77.zsk"))) << skin_.Error();
    }
    plat::ResourceModule skin_;
};

TEST_F(ZelBitmap, EachDepthConvertsEveryPixelToPremultipliedBgraWithoutShear) {
    // Whole images: any shear between rows (a stride without padding) would move pixels.
    using Expected = std::function<std::optional<Px>(int x, int row)>;
    const struct {
        int id, width, height;
        Expected pixel; // nothing: not checked
    } cases[] = {
        {12, fixture::kWidth32, fixture::kHeight32,
         [](int x, int row) -> std::optional<Px> {
             if (row == 0 && x < 2) { // premultiplied alpha; alpha 0 clears the colour
                 return x == 0 ? Px{100, 50, 25, 128} : Px{0, 0, 0, 0};
             }
             fixture::Bgra s = fixture::Pixel32(x, row);
             return s.a == 255 ? std::optional<Px>(Px{s.b, s.g, s.r, 255}) : std::nullopt;
         }},
        {10, fixture::kWidth16, fixture::kHeight16,
         [](int x, int row) {
             if (row == 0 && x < 2) { // 0xF8C4; 0x0FFF: black, alpha 15
                 return x == 0 ? Px{64, 192, 128, 255} : Px{0, 0, 0, 15};
             }
             // Opaque: each nibble n shows as n x 16.
             uint16_t w = fixture::Word16(x, row);
             return Px{(w & 15) * 16, ((w >> 4) & 15) * 16, ((w >> 8) & 15) * 16, 255};
         }},
        {11, fixture::kWidth24, fixture::kHeight24,
         [](int x, int row) {
             return Px{fixture::Blue24(x, row), fixture::Green24(x, row), fixture::Red24(x, row),
                       255};
         }},
        {13, fixture::kWidthBmp24, fixture::kHeightBmp24, // came from a BMP file
         [](int x, int row) {
             return Px{fixture::Blue24(x, row), fixture::Green24(x, row), fixture::Red24(x, row),
                       255};
         }},
        {14, 4, 2,
         [](int, int) {
             return Px{0, 0, 0, 0};
         }}, // unknown depth: transparent
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        zel_Bitmap bmp;
        ASSERT_TRUE(bmp.LoadFromModule(&skin_, c.id));
        ASSERT_EQ(bmp.width, c.width);
        ASSERT_EQ(bmp.height, c.height);
        EXPECT_EQ(bmp.surface.Width(), bmp.width);
        for (int row = 0; row < c.height; ++row) {
            for (int x = 0; x < c.width; ++x) {
                if (std::optional<Px> expected = c.pixel(x, row)) {
                    EXPECT_EQ(StoredPixel(bmp, x, row), *expected) << x << "," << row;
                }
            }
        }
    }
}

TEST_F(ZelBitmap, MissingOrDamagedBitmapsFailAndLeaveTheBitmapAsItWas) {
    zel_Bitmap bmp;
    ASSERT_TRUE(bmp.LoadFromModule(&skin_, 12));
    const Px before = StoredPixel(bmp, 0, 0);
    // 20 header size 12, 21 width 0, 22 height -2, 23 last row one byte short,
    // 24 header cut short, 25 unknown depth but 8000 x 8000 (too many pixels), 999 missing.
    for (int id : {20, 21, 22, 23, 24, 25, 999}) {
        EXPECT_FALSE(bmp.LoadFromModule(&skin_, id)) << id;
        EXPECT_EQ(bmp.width, fixture::kWidth32) << id;
        EXPECT_EQ(bmp.height, fixture::kHeight32) << id;
        EXPECT_EQ(StoredPixel(bmp, 0, 0), before) << id;
    }
    EXPECT_FALSE(bmp.LoadFromModule(nullptr, 12));
    EXPECT_FALSE(bmp.LoadFromModule(&skin_, -1));
}

TEST_F(ZelBitmap, LoadsFromTheCurrentSkinAndOutlivesTheModule) {
    zel_Bitmap bmp;
    {
        CurrentSkin current(&skin_);
        EXPECT_TRUE(bmp.LoadFromSkin(kSkinPreviewId));
    }
    skin_.Free();
    ASSERT_EQ(bmp.width, fixture::kWidth32);
    EXPECT_EQ(StoredPixel(bmp, 0, 0), (Px{100, 50, 25, 128}));
}

TEST(ZelBitmapCreate, CreatesClearedImagesAndClearsRectanglesTopDown) {
    zel_Bitmap bmp;
    ASSERT_TRUE(bmp.Create(5, 4, true));
    EXPECT_EQ(bmp.width, 5);
    EXPECT_EQ(bmp.height, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(bmp.surface.Row(y)[x], 0);
        }
        std::memset(bmp.surface.Row(y), 0xFF, 20);
    }
    bmp.ClearRect(1, 0, 3, 2); // columns 1-2 of the top two rows
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            bool cleared = y < 2 && x >= 1 && x < 3;
            EXPECT_EQ(bmp.surface.Row(y)[4 * x + 3], cleared ? 0 : 0xFF) << x << "," << y;
        }
    }
    bmp.ClearRect(-10, 3, 100, 100); // clipped to the bottom row
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(bmp.surface.Row(3)[4 * x + 3], 0);
    }
    EXPECT_EQ(bmp.surface.Row(2)[3], 0xFF);
    bmp.ClearRect(4, 3, 2, 1); // empty

    EXPECT_FALSE(bmp.Create(-1, 3, true));
    EXPECT_FALSE(bmp.Create(3, 40000, true));
    EXPECT_EQ(bmp.width, 5); // unchanged
    bmp.Free();
    EXPECT_EQ(bmp.width, 0);
    EXPECT_FALSE(bmp.surface.IsValid());
    bmp.ClearRect(0, 0, 1, 1); // nothing to clear
}

} // namespace
