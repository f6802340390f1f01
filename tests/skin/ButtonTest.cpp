#include <gtest/gtest.h>

#include "platform/core/testing/FakeClock.h"
#include "platform/ui/VirtualKeys.h"
#include "skin/zel_TrackButton.h"
#include "tests/skin/ControlProbe.h"
#include "tests/skin/FormFixture.h"

namespace {

class ButtonTest : public FormFixture {
protected:
    // The colour shown over every row of the command button (10, 10)-(50, 25); 0 if mixed.
    uint32_t CommandFrame() {
        const uint32_t first = Shown(10, 10);
        for (int y = 10; y < 25; ++y) {
            for (int x : {10, 30, 49}) {
                if (Shown(x, y) != first) {
                    return 0;
                }
            }
        }
        return first;
    }
};

TEST_F(ButtonTest, AFortyFivePixelThreeFrameBitmapDrawsRowsFifteenToTwentyNineForHover) {
    EXPECT_EQ(form_.command.m_nFrameHeight, 15);
    EXPECT_EQ(form_.command.GetRect(), (plat::Rect{10, 10, 50, 25}));
    EXPECT_EQ(CommandFrame(), demo::kFrame0);
    EXPECT_EQ(Shown(20, 25), demo::kBackgroundColour); // the next frame is not shown
    window_->MoveMouse({20, 15});
    EXPECT_EQ(CommandFrame(), demo::kFrame1);
    window_->Press({20, 15});
    EXPECT_EQ(CommandFrame(), demo::kFrame2);

    // A frame count below 1 counts as 1: the whole bitmap is one frame.
    form_.command.CreateFromSkin(&form_, demo::kCommand, 0);
    EXPECT_EQ(form_.command.m_nFrames, 1);
    EXPECT_EQ(form_.command.GetRect(), (plat::Rect{10, 10, 50, 55}));
}

TEST_F(ButtonTest, ACommandNotifiesOncePerPressOnAHoveredButton) {
    struct Step {
        const char* action;
        int state;
        size_t notifies;
    } steps[] = {
        {"enter", 1, 0},
        {"press", 2, 1},
        {"release", 1, 1},
        {"leave", 0, 1},
        // Pressed outside, moved on with the button held: pressed frame, no notify.
        {"press outside", 0, 1},
        {"drag on", 2, 1},
        {"release", 1, 1},
        {"press", 2, 2},
        {"release", 1, 2},
        // The second press of a double-click is a press too.
        {"press", 2, 3},
        {"release", 1, 3},
    };
    for (const Step& s : steps) {
        const std::string a = s.action;
        if (a == "enter") {
            window_->MoveMouse({20, 15});
        } else if (a == "press") {
            window_->Press({21, 15});
        } else if (a == "release") {
            window_->Release({21, 15});
        } else if (a == "leave") {
            window_->MoveMouse({5, 140});
        } else if (a == "press outside") {
            window_->Press({150, 100});
            form_.OnMsgLButtonUp(0, {150, 100}); // end the window drag, keep the button "held"
        } else if (a == "drag on") {
            form_.OnMsgMouseMove(plat::kMkLButton, {22, 16});
        }
        EXPECT_EQ(form_.command.m_nState, s.state) << a;
        EXPECT_EQ(form_.commands.size(), s.notifies) << a;
    }
    EXPECT_EQ(form_.commands.front(), (std::pair<uint16_t, int32_t>{demo::kCommand, 0}));
}

TEST_F(ButtonTest, APushButtonLatchesUntilTheProgramReleasesIt) {
    window_->MoveMouse({70, 15});
    EXPECT_EQ(form_.push.m_nState, 1);
    window_->Press({70, 15});
    EXPECT_EQ(form_.push.m_nState, 2);
    EXPECT_EQ(form_.commands.size(), 1u);
    window_->Release({70, 15});
    window_->MoveMouse({150, 100});
    window_->Press({71, 15}); // ignored while latched
    EXPECT_EQ(form_.push.m_nState, 2);
    EXPECT_EQ(form_.commands.size(), 1u);
    form_.push.Release();
    EXPECT_EQ(form_.push.m_nState, 0);
    form_.push.Press(); // latched by the program: no notify
    EXPECT_EQ(form_.push.m_nState, 2);
    EXPECT_EQ(form_.commands.size(), 1u);
    form_.push.Release();
    // Entering with the button held latches and notifies.
    form_.push.OnMouseEnter(plat::kMkLButton);
    EXPECT_EQ(form_.push.m_nState, 2);
    EXPECT_EQ(form_.commands.size(), 2u);
}

TEST_F(ButtonTest, AFlashShowsTheHoverFrameForOneHundredFiftyMillisecondsWithoutWaiting) {
    plat::FakeClock clock(1000);
    plat::ScopedClock scoped(clock);
    // (ms after the first flash, what happens then, the state after it). A second flash of
    // the lit button starts its 150 ms afresh; the pointer that comes onto it keeps its hover
    // after the flash; a pressed button stays pressed.
    struct Step {
        uint32_t at;
        const char* action;
        int state;
    } steps[] = {
        {0, "flash", 1},      {149, "", 1},       {150, "", 0},      {200, "flash", 1},
        {300, "flash", 1},    {449, "", 1},       {450, "", 0},      {500, "flash", 1},
        {560, "hover", 1},    {650, "", 1},       {700, "leave", 0}, {800, "pressed", 2},
        {800, "flash", 2},    {1000, "", 2},      {1000, "rest", 0}, {1100, "flash", 1},
        {1120, "pressed", 2}, {1130, "flash", 2}, {1300, "", 2},
    };
    for (const Step& s : steps) {
        clock.Set(1000 + s.at);
        windows_.RunDueTimers();
        const std::string a = s.action;
        if (a == "flash") {
            form_.command.Flash();
        } else if (a == "hover") {
            window_->MoveMouse({20, 15});
        } else if (a == "leave") {
            window_->MoveMouse({150, 100});
        } else if (a == "pressed" || a == "rest") {
            form_.command.m_nState = a == "pressed" ? 2 : 0;
            form_.command.Invalidate();
        }
        EXPECT_EQ(form_.command.m_nState, s.state) << s.at << " " << a;
        form_.Compose();
        const uint32_t frames[] = {demo::kFrame0, demo::kFrame1, demo::kFrame2};
        EXPECT_EQ(CommandFrame(), frames[s.state]) << s.at;
    }
    EXPECT_TRUE(clock.Sleeps().empty());
    EXPECT_EQ(window_->Timers().count(CForm::kTimerFlash), 0u);
    // Without a window nothing would end a flash: there is none.
    form_.DestroyWindow();
    form_.command.m_nState = 0;
    form_.command.Flash();
    EXPECT_EQ(form_.command.m_nState, 0);
}

TEST_F(ButtonTest, AThumbStopsAtItsLimitsAndMovesBackOnlyPastTheStop) {
    zel_TrackButton thumb;
    thumb.CreateFromSkin(&form_, demo::kCommand);
    thumb.m_nId = 77;
    thumb.m_nMin = 20;
    thumb.m_nMax = 120;
    thumb.m_OwnPos = {150, 100};
    // Cursor on screen at (455, 305): the thumb's (5, 5). The limit is reached with the
    // cursor at 325; the thumb comes back once the cursor is above that.
    windows_.SetCursorPos({455, 305});
    EXPECT_TRUE(thumb.OnLButtonDown(plat::kMkLButton, {5, 5}));
    EXPECT_EQ(form_.CapturingChild(), &thumb);
    struct Step {
        int cursorY, thumbY;
    } steps[] = {{325, 120}, {355, 120}, {345, 120}, {326, 120}, {325, 120}, {324, 119}, {285, 80},
                 {200, 20},  {190, 20},  {284, 20},  {285, 20},  {286, 21},  {300, 35}};
    for (const Step& s : steps) {
        windows_.SetCursorPos({455, s.cursorY});
        thumb.OnMouseMove(plat::kMkLButton, {5, 5});
        EXPECT_EQ(thumb.m_OwnPos.y, s.thumbY) << "cursor at " << s.cursorY;
    }
    EXPECT_EQ(thumb.m_OwnPos.x, 150);
    EXPECT_FALSE(form_.commands.empty());
    EXPECT_EQ(form_.commands.back(), (std::pair<uint16_t, int32_t>{77, 0}));

    // A drag that ends without the button held releases the capture.
    thumb.OnMouseMove(0, {5, 5});
    EXPECT_EQ(thumb.m_bDragging, 0);
    EXPECT_EQ(form_.CapturingChild(), nullptr);
    EXPECT_EQ(windows_.CaptureHolder(), nullptr);

    // The usual end: the button comes up.
    thumb.OnLButtonDown(plat::kMkLButton, {5, 5});
    thumb.OnLButtonUp(0, {5, 5});
    EXPECT_EQ(windows_.CaptureHolder(), nullptr);
    EXPECT_EQ(form_.CapturingChild(), nullptr);
}

} // namespace
