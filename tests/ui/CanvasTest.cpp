#include <gtest/gtest.h>

#include <cstring>

#include "platform/ui/Canvas.h"
#include "platform/ui/InputShape.h"

namespace {

void Put(plat::Surface& s, int x, int y, uint32_t bgra) {
    std::memcpy(s.Row(y) + 4 * x, &bgra, 4);
}
uint32_t Get(const plat::Surface& s, int x, int y) {
    uint32_t v;
    std::memcpy(&v, s.Row(y) + 4 * x, 4);
    return v;
}

TEST(InputShapeTest, PixelsWithAnyAlphaTakeInputAndEqualRowsShareABand) {
    plat::Surface s;
    ASSERT_TRUE(s.Create(6, 5));
    // Rows 0-1: columns 1-2; row 2: nothing; rows 3-4: columns 0 and 4-5 (alpha 1 counts).
    for (int y : {0, 1}) {
        Put(s, 1, y, 0xFF000000u);
        Put(s, 2, y, 0x80000000u);
    }
    for (int y : {3, 4}) {
        Put(s, 0, y, 0x01000000u);
        Put(s, 4, y, 0xFF123456u);
        Put(s, 5, y, 0xFF123456u);
    }
    Put(s, 3, 2, 0x00FFFFFFu); // colour without alpha: no input
    EXPECT_EQ(plat::OpaqueRects(s),
              (std::vector<plat::Rect>{{1, 0, 3, 2}, {0, 3, 1, 5}, {4, 3, 6, 5}}));
    plat::Surface empty;
    EXPECT_TRUE(plat::OpaqueRects(empty).empty());
}

TEST(CanvasTest, BlendsStayInsideBothImagesAndTheGivenRectangle) {
    plat::Surface src;
    ASSERT_TRUE(src.Create(4, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            Put(src, x, y, 0xFF0000FFu); // opaque blue
        }
    }
    src.MarkDirty();
    struct Case {
        plat::Rect dst;
        int srcX, srcY;
        plat::Point origin;
        plat::Rect painted; // target pixels that become blue
    } cases[] = {
        {{2, 2, 6, 6}, 0, 0, {0, 0}, {2, 2, 6, 6}},
        // Source rectangle hanging off the source's right and bottom: only its inside shows.
        {{0, 0, 8, 8}, 2, 3, {0, 0}, {0, 0, 2, 1}},
        // Negative source start: the part before the source is transparent.
        {{0, 0, 4, 4}, -2, 0, {0, 0}, {2, 0, 4, 4}},
        // Destination off the target's edges.
        {{-2, 6, 2, 10}, 0, 0, {0, 0}, {0, 6, 2, 8}},
        // The origin moves the destination.
        {{0, 0, 2, 2}, 0, 0, {5, 1}, {5, 1, 7, 3}},
    };
    for (const Case& c : cases) {
        plat::Surface t;
        ASSERT_TRUE(t.Create(8, 8));
        {
            plat::Canvas canvas(t);
            canvas.SetOrigin(c.origin);
            canvas.AlphaBlend(c.dst, src, c.srcX, c.srcY);
        }
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                EXPECT_EQ(Get(t, x, y), c.painted.Contains({x, y}) ? 0xFF0000FFu : 0u)
                    << "case dst " << c.dst.left << "," << c.dst.top << " at " << x << "," << y;
            }
        }
    }
}

TEST(CanvasTest, ConstantAlphaScalesThePremultipliedSourceOverTheTarget) {
    plat::Surface src;
    plat::Surface t;
    ASSERT_TRUE(src.Create(1, 1));
    ASSERT_TRUE(t.Create(2, 1));
    Put(src, 0, 0, 0x80400000u); // half-transparent red, premultiplied
    src.MarkDirty();
    Put(t, 0, 0, 0xFF00FF00u); // opaque green
    t.MarkDirty();
    {
        plat::Canvas canvas(t);
        canvas.AlphaBlend({0, 0, 1, 1}, src, 0, 0, 128);
        // Clip rectangles keep the second pixel untouched.
        const std::vector<plat::Rect> clip{{0, 0, 1, 1}};
        canvas.SetClipRects(&clip);
        canvas.FillRect({0, 0, 2, 1}, plat::Rgb(0, 0, 255));
    }
    EXPECT_EQ(Get(t, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(Get(t, 1, 0), 0u);

    plat::Surface t2;
    ASSERT_TRUE(t2.Create(1, 1));
    Put(t2, 0, 0, 0xFF00FF00u);
    t2.MarkDirty();
    {
        plat::Canvas canvas(t2);
        canvas.AlphaBlend({0, 0, 1, 1}, src, 0, 0, 128);
    }
    // src x 128/255: alpha 64, red 32; green keeps (1 - 64/255) of 255.
    const uint32_t p = Get(t2, 0, 0);
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 32, 1);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 191, 1);
}

TEST(FontTest, TheHeightIsTheCellHeightInPixels) {
    for (int height : {8, 11, 13, 16, 20, 27, 40, 54}) {
        plat::Font font;
        ASSERT_TRUE(font.Create("Arial", height, 400));
        EXPECT_EQ(font.Measure("Xg").cy, height);
        EXPECT_EQ(font.Measure("").cx, 0);
        EXPECT_GT(font.Measure("88").cx, font.Measure("8").cx);
    }
    plat::Font bad;
    EXPECT_FALSE(bad.Create("Arial", 0, 400));
    EXPECT_FALSE(bad.Create("Arial", plat::Font::kMaxHeight + 1, 400));
    EXPECT_EQ(bad.Measure("x"), plat::Size{});
}

// The rows that hold ink (any pixel not white) in a white surface after drawing.
std::pair<int, int> InkRows(const plat::Surface& s) {
    int first = -1;
    int last = -1;
    for (int y = 0; y < s.Height(); ++y) {
        for (int x = 0; x < s.Width(); ++x) {
            if ((Get(s, x, y) & 0xFFFFFF) != 0xFFFFFF) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

TEST(CanvasTest, TextFormatsPlaceTheTextAndOpaqueFillsItsCells) {
    plat::Font font;
    ASSERT_TRUE(font.Create("Arial", 16, 400));
    auto draw = [&](uint32_t format, bool opaque) {
        plat::Surface s;
        s.Create(80, 60);
        plat::Canvas canvas(s);
        canvas.FillRect({0, 0, 80, 60}, plat::Rgb(255, 255, 255));
        canvas.DrawText(font, "Hg", {0, 0, 80, 60}, format, plat::Rgb(0, 0, 0), opaque,
                        plat::Rgb(0, 0, 255));
        s.Flush();
        return s;
    };
    const auto top = InkRows(draw(plat::kDtSingleLine, false));
    const auto centred = InkRows(draw(plat::kDtSingleLine | plat::kDtVCenter, false));
    const auto bottom = InkRows(draw(plat::kDtSingleLine | plat::kDtBottom, false));
    ASSERT_GE(top.first, 0);
    EXPECT_LT(top.second, 16);
    EXPECT_EQ(centred.first - top.first, (60 - 16) / 2);
    EXPECT_EQ(bottom.first - top.first, 60 - 16);

    plat::Surface filled = draw(plat::kDtSingleLine, true);
    EXPECT_EQ(Get(filled, 0, 0) & 0xFFFFFF, 0x0000FFu);  // the cell's corner: background
    EXPECT_EQ(Get(filled, 0, 16) & 0xFFFFFF, 0xFFFFFFu); // below the cell: untouched
    EXPECT_EQ(Get(filled, 79, 0) & 0xFFFFFF, 0xFFFFFFu); // right of the text: untouched
}

} // namespace
