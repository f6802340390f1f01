#include <gtest/gtest.h>

#include <memory>

#include "platform/core/testing/FakeClock.h"
#include "platform/ui/VirtualKeys.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "tests/skin/FormFixture.h"
#include "tests/skin/PanelForm.h"

namespace {

class SlideTest : public SkinnedFormTest<panels::Form> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Open(panels::Skin()));
        ASSERT_TRUE(form_.skinned);
        form_.ShowWindow(plat::kSwShow);
    }
    // Runs the animation timer every 60 ms for `ms`.
    void Run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 60) {
            clock_.Advance(60);
            window_->FireTimer(CForm::kTimerAnimation);
        }
    }
    bool Animating() const { return window_->Timers().count(CForm::kTimerAnimation) != 0; }

    plat::FakeClock clock_{1000};
    plat::ScopedClock scoped_{clock_};
};

TEST_F(SlideTest, PanelsRestPeekAndOpenAtTheirPlaces) {
    struct Case {
        zel_Slide* panel;
        int32_t closed, peek, open;
    } cases[] = {{&form_.right, 188, 168, 61}, {&form_.left, -285, -256, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.panel->X(), c.closed);
        EXPECT_EQ(c.panel->ClosedX(), c.closed);
        EXPECT_EQ(c.panel->PeekX(), c.peek);
        EXPECT_EQ(c.panel->OpenX(), c.open);
        c.panel->OnMouseEnter(0);
        Run(800);
        EXPECT_EQ(c.panel->X(), c.peek);
        c.panel->OnLButtonDown(plat::kMkLButton, {5, 5});
        Run(800);
        EXPECT_EQ(c.panel->X(), c.open);
        EXPECT_EQ(c.panel->m_nState, zel_Slide::kOpen);
    }
    EXPECT_EQ(form_.right.GetRect().Width(), 151);
    EXPECT_EQ(form_.right.GetRect().top, 50);
    // Panels of different groups are open together.
    EXPECT_EQ(g_OpenSlideRight, &form_.right);
    EXPECT_EQ(g_OpenSlideLeft, &form_.left);
}

TEST_F(SlideTest, TheMoveFollowsTheSineAndEndsExactlyOnTheTarget) {
    form_.right.OnLButtonDown(plat::kMkLButton, {5, 5}); // 188 -> 61
    struct Step {
        uint32_t at;
        int32_t x;
    } steps[] = {{0, 188}, {60, 171}, {350, 99}, {699, 62}, {700, 62}, {701, 61}, {900, 61}};
    const uint32_t start = clock_.NowMs();
    for (const Step& s : steps) {
        clock_.Set(start + s.at);
        window_->FireTimer(CForm::kTimerAnimation);
        EXPECT_EQ(form_.right.X(), s.x) << s.at << " ms";
    }
    EXPECT_FALSE(Animating());
}

TEST_F(SlideTest, OneOpenPanelPerGroupAndChildClicksKeepItOpen) {
    panels::Form second;
    ASSERT_TRUE(second.Create());
    form_.right.OnLButtonDown(plat::kMkLButton, {5, 5});
    EXPECT_EQ(g_OpenSlideRight, &form_.right);
    second.right.OnLButtonDown(plat::kMkLButton, {5, 5});
    EXPECT_EQ(g_OpenSlideRight, &second.right);
    EXPECT_EQ(form_.right.m_nState, zel_Slide::kClosed);
    Run(800);

    second.DestroyWindow();
    form_.right.OnLButtonDown(plat::kMkLButton, {5, 5});
    Run(800);
    ASSERT_EQ(form_.right.X(), 61);
    // The button inside takes the click; the panel stays open.
    window_->MoveMouse({61 + 45, 50 + 25});
    window_->Press({61 + 45, 50 + 25});
    EXPECT_EQ(form_.commands, (std::vector<uint16_t>{panels::kRightButton}));
    EXPECT_EQ(form_.right.m_nState, zel_Slide::kOpen);
    window_->Release({61 + 45, 50 + 25});
    // A click on its background closes it.
    clock_.Advance(1000);
    window_->Click({61 + 100, 50 + 200});
    EXPECT_EQ(form_.right.m_nState, zel_Slide::kClosed);
    EXPECT_EQ(g_OpenSlideRight, nullptr);
}

TEST_F(SlideTest, InterruptedMovesGiveTheirTimerReferenceBack) {
    zel_Slide& p = form_.right;
    p.OnMouseEnter(0); // peek
    Run(120);
    p.OnLButtonDown(plat::kMkLButton, {5, 5}); // open before the peek ended
    Run(120);
    p.OnLButtonDown(plat::kMkLButton, {5, 5}); // an empty part: close, midway
    EXPECT_EQ(form_.m_nTimerRefs, 1);
    Run(800);
    EXPECT_EQ(p.X(), 188);
    EXPECT_EQ(form_.m_nTimerRefs, 0);
    EXPECT_FALSE(Animating());

    // A rebuild during a move ends it and gives the reference back.
    p.OnMouseEnter(0);
    ASSERT_TRUE(Animating());
    ASSERT_TRUE(form_.ApplySkin());
    EXPECT_EQ(form_.m_nTimerRefs, 0);
    EXPECT_FALSE(Animating());
    EXPECT_EQ(p.X(), 188);

    // An open panel stays open through a rebuild, at its open place.
    p.OnLButtonDown(plat::kMkLButton, {5, 5});
    Run(800);
    ASSERT_TRUE(form_.ApplySkin());
    EXPECT_EQ(p.m_nState, zel_Slide::kOpen);
    EXPECT_EQ(p.X(), 61);
}

TEST_F(SlideTest, AClosedPanelAtRestDrawsOnlyItsBackground) {
    // The button's place with the panel moved into full view at x 100.
    auto button = [this] {
        form_.right.SetX(100);
        form_.Invalidate();
        form_.Compose();
        return PixelAt(window_->LastImage(), 100 + 45, 50 + 25);
    };
    EXPECT_EQ(button(), panels::kRightColour); // closed and at rest
    form_.right.OnMouseEnter(0);               // peeking: the button shows
    EXPECT_EQ(button(), panels::kButtonColour);
    form_.right.OnLButtonDown(plat::kMkLButton, {5, 5});
    Run(800);
    form_.right.Close(); // closed but still moving: the button shows
    ASSERT_EQ(form_.right.m_nState, zel_Slide::kClosed);
    EXPECT_EQ(button(), panels::kButtonColour);
    Run(800);
    EXPECT_EQ(button(), panels::kRightColour);
    // The form's clip rectangles bound what the panel draws.
    const std::vector<plat::Rect> clip{{0, 0, 120, 404}};
    form_.right.m_pClip = &clip;
    form_.Invalidate();
    form_.Compose();
    EXPECT_EQ(PixelAt(window_->LastImage(), 119, 60), panels::kRightColour);
    EXPECT_EQ(PixelAt(window_->LastImage(), 130, 60), 0xFF303030u);
    form_.right.m_pClip = nullptr;
}

TEST(SlideLifetimeTest, ADestroyedPanelIsNoLongerTheOpenOne) {
    plat::FakeWindowSystem windows;
    plat::ResourceModule module;
    ASSERT_TRUE(panels::Skin().Load(module));
    CurrentSkin skin(&module);
    {
        panels::Form form;
        ASSERT_TRUE(form.Create());
        form.right.OnLButtonDown(plat::kMkLButton, {1, 1});
        form.left.OnLButtonDown(plat::kMkLButton, {1, 1});
        ASSERT_EQ(g_OpenSlideRight, &form.right);
    }
    EXPECT_EQ(g_OpenSlideRight, nullptr);
    EXPECT_EQ(g_OpenSlideLeft, nullptr);
}

} // namespace
