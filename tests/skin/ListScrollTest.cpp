#include <gtest/gtest.h>

#include "platform/ui/VirtualKeys.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "skin/CForm.h"
#include "skin/zel_List.h"
#include "skin/zel_ScrollSlide.h"
#include "tests/skin/FormFixture.h"
#include "tests/skin/TestSkin.h"

namespace {

constexpr int kList = 400;
constexpr int kSlider = 500;
constexpr uint32_t kHoverBack = 0x00FFC080;  // red 0x80, green 0xC0, blue 0xFF
constexpr uint32_t kSelectBack = 0x000000FF; // red

// A list (area 150 x 115, 16-pixel rows) with a vertical bar whose thumb moves 100 pixels, and
// a vertical slider 100 pixels long, on a plain form.
TestSkin ListSkin() {
    TestSkin s;
    s.Solid(1, 300, 300, 0xFF404040u);
    s.Area(kList, 10, 10, 150, 115)
        .Color(kList + 1, 0x00000000)
        .Color(kList + 2, kHoverBack)
        .Color(kList + 3, kSelectBack);
    s.Pos(kList + 4, 165, 10).Frames(kList + 4, 12, 12, {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u});
    s.Pos(kList + 5, 165, 132).Frames(kList + 5, 12, 12, {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u});
    s.Frames(kList + 6, 12, 10, {0xFFFFFFFFu, 0xFFEEEEEEu, 0xFFDDDDDDu});
    s.Pos(kList + 7, 165, 22).Solid(kList + 7, 12, 110, 0xFF808080u);
    s.Frames(kSlider, 20, 10, {0xFFFFFF00u, 0xFFFFFF00u, 0xFFFFFF00u});
    s.Pos(kSlider + 1, 200, 110).Pos(kSlider + 2, 200, 10);
    return s;
}

class ListForm : public CForm {
public:
    ListForm() : CForm(1) { font.Create("DejaVu Sans", 16, 400); }
    bool Load(bool sticky = false, bool onDoubleClick = false) {
        bool ok = list.CreateFromSkin(this, kList, &font, sticky, onDoubleClick);
        ok = slider.CreateFromSkin(this, kSlider) && ok;
        ok = background.CreateFromSkin(this, 1) && ok;
        return ok && CreateBackBuffer(300, 300);
    }
    void OnCommand(uint16_t id, int32_t value) override { commands.push_back({id, value}); }

    plat::Font font;
    zel_List list;
    zel_ScrollSlide slider;
    zel_Image background;
    std::vector<std::pair<uint16_t, int32_t>> commands;
};

class ListScrollTest : public SkinnedFormTest<ListForm> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Open(ListSkin()));
        ASSERT_TRUE(form_.Load());
        form_.ShowWindow(plat::kSwShow);
    }
    void Fill(int rows) {
        for (int i = 0; i < rows; ++i) {
            form_.list.AddItem("Row " + std::to_string(i), 100 + i);
        }
    }
    zel_Scroll& Bar() { return form_.list.m_Scroll; }
};

TEST_F(ListScrollTest, TheRangeIsRowsTimesRowHeightMinusTheAreaAndShortListsHideTheBar) {
    ASSERT_EQ(form_.list.m_Rows.m_nRowHeight, 16);
    EXPECT_FALSE(Bar().m_bVisible);
    struct Case {
        int rows;
        bool visible;
        float max;
    } cases[] = {{7, false, 0}, {8, true, 13}, {10, true, 45}};
    for (const Case& c : cases) {
        form_.list.RemoveAll();
        Fill(c.rows);
        EXPECT_EQ(Bar().m_bVisible != 0, c.visible) << c.rows;
        EXPECT_EQ(Bar().m_fMin, 0.0f);
        EXPECT_EQ(Bar().m_fMax, c.max);
        EXPECT_EQ(form_.list.GetCount(), c.rows);
    }
    // Thumb limits in bar coordinates: below the first arrow, above the second.
    EXPECT_EQ(Bar().m_Thumb.m_nMin, 12);
    EXPECT_EQ(Bar().m_Thumb.m_nMax, 112);
    EXPECT_EQ(form_.list.GetRect(), (plat::Rect{10, 10, 177, 144}));
}

TEST_F(ListScrollTest, ArrowsStepATenthOfTheRangeAndStopAtTheEnds) {
    Fill(10);
    zel_TrackButton& thumb = Bar().m_Thumb;
    struct Case {
        int start; // thumb y
        bool second;
        int end;
    } cases[] = {{17, false, 12},  {17, true, 27},   {12, false, 12},
                 {112, true, 112}, {107, true, 112}, {62, false, 52}};
    for (const Case& c : cases) {
        thumb.m_OwnPos.y = c.start;
        form_.list.m_Rows.m_nScroll = -1;
        Bar().Notify(static_cast<uint16_t>(c.second ? kList + 6 : kList + 5), 0);
        EXPECT_EQ(thumb.m_OwnPos.y, c.end) << c.start << (c.second ? " down" : " up");
        // A step notifies the list, which scrolls its rows; at an end nothing happens.
        EXPECT_EQ(form_.list.m_Rows.m_nScroll,
                  c.start == c.end ? -1 : static_cast<int32_t>(Bar().GetPos()));
    }
    thumb.m_OwnPos.y = 112;
    EXPECT_FLOAT_EQ(Bar().GetPos(), 45.0f);
    Bar().SetRange(5, 5);
    EXPECT_FALSE(Bar().m_bVisible);
    EXPECT_EQ(Bar().GetPos(), 0.0f);
}

TEST_F(ListScrollTest, RemoveAllScrollsBackSoAShortListShowsFromTheTop) {
    Fill(10);
    Bar().m_Thumb.m_OwnPos.y = 112;
    Bar().Notify(kList + 4, 0); // the thumb's drag
    ASSERT_EQ(form_.list.m_Rows.m_nScroll, 45);
    form_.list.RemoveAll();
    Fill(3);
    EXPECT_EQ(form_.list.m_Rows.m_nScroll, 0);
    EXPECT_EQ(Bar().m_Thumb.m_OwnPos.y, 12);
    EXPECT_FALSE(Bar().m_bVisible);
    form_.Compose();
    // The first row is drawn at the top of the area: ink in its first rows.
    bool ink = false;
    for (int y = 10; y < 26 && !ink; ++y) {
        for (int x = 10; x < 40; ++x) {
            ink = ink || PixelAt(window_->LastImage(), x, y) != 0xFF404040u;
        }
    }
    EXPECT_TRUE(ink);
}

TEST_F(ListScrollTest, RowsRenderWithTheColourKeyTransparentAndTheirOwnBackgrounds) {
    Fill(3);
    form_.list.m_Rows.m_nHover = 1;
    form_.list.m_Rows.m_nSelected = 2;
    form_.list.m_Rows.Invalidate();
    form_.Compose();
    const plat::Surface& s = form_.list.m_Rows.m_Bitmap.surface;
    EXPECT_EQ(PixelAt(s, 149, 2), 0u);         // white: transparent
    EXPECT_EQ(PixelAt(s, 0, 17), 0xFF80C0FFu); // hover row's cell: the hover colour, opaque
    EXPECT_EQ(PixelAt(s, 0, 33), 0xFFFF0000u); // selected row's cell
    EXPECT_EQ(PixelAt(s, 149, 17), 0u);        // right of the row's text: transparent again
    int opaque = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 60; ++x) {
            const uint32_t p = PixelAt(s, x, y);
            EXPECT_TRUE(p == 0 || (p >> 24) == 0xFF) << std::hex << p;
            opaque += p != 0;
        }
    }
    EXPECT_GT(opaque, 10); // the first row's text
}

TEST_F(ListScrollTest, PressesSelectRowsAndOnlyHitRowsNotify) {
    Fill(3);
    const int cw = form_.list.m_Rows.m_nCharWidth;
    // "Row 1" is 5 characters: x up to 5 x cw hits it, beyond does not.
    struct Case {
        int x, y;
        int32_t selected;
        size_t notifies;
    } cases[] = {
        {1, 20, 1, 1}, {5 * cw, 20, 1, 2}, {5 * cw + 1, 20, -1, 2}, {3, 40, 2, 3}, {3, 60, -1, 3}};
    for (const Case& c : cases) {
        form_.list.m_Rows.OnLButtonDown(plat::kMkLButton, {c.x, c.y});
        EXPECT_EQ(form_.list.m_Rows.m_nSelected, c.selected) << c.x << "," << c.y;
        EXPECT_EQ(form_.commands.size(), c.notifies);
    }
    EXPECT_EQ(form_.commands.back(), (std::pair<uint16_t, int32_t>{kList, 102}));
    // Without sticky selection the row returns to hover on release.
    form_.list.m_Rows.OnLButtonDown(plat::kMkLButton, {3, 40});
    EXPECT_EQ(form_.list.GetSelectedData(), 102);
    form_.list.m_Rows.OnLButtonUp(0, {3, 40});
    EXPECT_EQ(form_.list.m_Rows.m_nHover, 2);
    EXPECT_EQ(form_.list.GetSelectedData(), -1);
}

TEST_F(ListScrollTest, DoubleClickListsNotifyOnlyForAHitRow) {
    ASSERT_TRUE(form_.Load(true, true));
    Fill(3);
    auto& rows = form_.list.m_Rows;
    rows.OnLButtonDown(plat::kMkLButton, {3, 20});
    EXPECT_TRUE(form_.commands.empty()); // a press selects without notifying
    rows.OnLButtonUp(0, {3, 20});
    EXPECT_EQ(rows.m_nSelected, 1); // sticky
    rows.OnMouseMove(0, {3, 20});
    EXPECT_EQ(rows.m_nHover, -1); // no hover over the selected row
    rows.OnLButtonDblClk(plat::kMkLButton, {3, 20});
    ASSERT_EQ(form_.commands.size(), 1u);
    EXPECT_EQ(form_.commands.back().second, 101);
    for (plat::Point miss : {plat::Point{3, 60}, plat::Point{140, 20}, plat::Point{3, 40}}) {
        rows.OnLButtonDblClk(plat::kMkLButton, miss);
    }
    EXPECT_EQ(form_.commands.size(), 1u);
}

TEST_F(ListScrollTest, ASliderMapsItsEndsToTheRangeAndClampsSetPos) {
    zel_ScrollSlide& s = form_.slider;
    EXPECT_FALSE(s.m_Thumb.m_bHorizontal);
    EXPECT_EQ(s.GetRect(), (plat::Rect{200, 10, 220, 120}));
    EXPECT_EQ(s.m_Thumb.m_nMax, 100);
    EXPECT_EQ(s.GetPos(), 0.0f); // no range yet
    s.SetPos(50);
    EXPECT_EQ(s.m_Thumb.m_OwnPos.y, 0); // nothing without a range
    s.SetRange(0, 100);
    struct Case {
        float value;
        int thumb;
        float pos;
    } cases[] = {{150, 0, 100}, {100, 0, 100}, {99.5f, 0, 100},
                 {75, 25, 75},  {0, 100, 0},   {-20, 100, 0}};
    for (const Case& c : cases) {
        s.SetPos(c.value);
        EXPECT_EQ(s.m_Thumb.m_OwnPos.y, c.thumb) << c.value;
        EXPECT_FLOAT_EQ(s.GetPos(), c.pos) << c.value;
    }
    s.SetRange(3, 3);
    EXPECT_EQ(s.GetPos(), 0.0f);
}

TEST(ListScrollSkinTest, MissingPositionsOrAreaLeaveControlsHiddenAndFailTheLoad) {
    plat::FakeWindowSystem windows;
    plat::ResourceModule module;
    ASSERT_TRUE(TestSkin().Area(kList, 0, 0, 100, 50).Load(module));
    CurrentSkin skin(&module);
    ListForm form;
    ASSERT_TRUE(form.Create());
    EXPECT_FALSE(form.list.CreateFromSkin(&form, kList, &form.font, false, false));
    EXPECT_FALSE(form.list.m_Scroll.m_bVisible);
    EXPECT_FALSE(form.slider.CreateFromSkin(&form, kSlider));
    EXPECT_FALSE(form.slider.m_bVisible);
    form.slider.SetRange(0, 10);
    EXPECT_EQ(form.slider.GetPos(), 10.0f); // a thumb without track: no division
    // The rows work without their bar.
    form.list.AddItem("one", 1);
    form.list.m_Rows.OnLButtonDown(plat::kMkLButton, {2, 2});
    EXPECT_EQ(form.list.GetSelectedData(), 1);

    // Without a font the rows have no height: nothing is hit, nothing divides.
    ListForm bare;
    bare.font.Reset();
    ASSERT_TRUE(bare.Create());
    bare.list.CreateFromSkin(&bare, kList, &bare.font, false, false);
    bare.list.AddItem("x", 1);
    EXPECT_FALSE(bare.list.m_Rows.OnLButtonDown(plat::kMkLButton, {1, 1}));
    EXPECT_EQ(bare.list.m_Rows.RowAt({1, 1}), -1);
}

} // namespace
