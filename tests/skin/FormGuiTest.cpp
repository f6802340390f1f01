// The demo form on a real display (a private Xvfb), driven with xdotool like a user: the
// screen must show the composed form, its hover frame and its new place after a drag. Without
// a compositor the screen shows the form's premultiplied pixels where their alpha is above 0
// (the window's shape) and the backdrop elsewhere.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "tests/skin/DemoForm.h"
#include "tests/skin/PanelForm.h"
#include "tests/ui/GtkScreen.h"

namespace {

constexpr uint32_t kBackdrop = 0x00306090u; // RGB of the window behind the form

const auto* g_env = ::testing::AddGlobalTestEnvironment(new XvfbGtkEnvironment("640x480x24", true));

void Xdotool(const std::string& args) {
    const std::string cmd = "xdotool " + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// What the screen should show at screen pixel (x, y) for a form whose back buffer is `image`
// at `at`, presented with `alpha`.
uint32_t Expected(const plat::Surface& image, plat::Point at, uint8_t alpha, int x, int y) {
    const int fx = x - at.x;
    const int fy = y - at.y;
    if (fx < 0 || fy < 0 || fx >= image.Width() || fy >= image.Height()) {
        return kBackdrop;
    }
    const uint8_t* p = image.Row(fy) + 4 * fx;
    if (p[3] == 0) {
        return kBackdrop;
    }
    auto scale = [alpha](uint8_t c) { return static_cast<uint32_t>((c * alpha + 127) / 255); };
    return (scale(p[2]) << 16) | (scale(p[1]) << 8) | scale(p[0]);
}

// Pixels of the rectangle around the form (with a margin) that differ from the expected
// image by more than `tolerance` on some channel.
int Mismatches(const Screenshot& shot, const plat::Surface& image, plat::Point at, uint8_t alpha,
               int tolerance = 2) {
    int bad = 0;
    for (int y = std::max(0, at.y - 10); y < at.y + image.Height() + 10; ++y) {
        for (int x = std::max(0, at.x - 10); x < at.x + image.Width() + 10; ++x) {
            const uint32_t want = Expected(image, at, alpha, x, y);
            const uint32_t got = shot.At(x, y);
            for (int shift : {0, 8, 16}) {
                if (std::abs(static_cast<int>((want >> shift) & 0xFF) -
                             static_cast<int>((got >> shift) & 0xFF)) > tolerance) {
                    ++bad;
                    break;
                }
            }
        }
    }
    return bad;
}

class FormGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DisplayReady("no Xvfb or xdotool")) {
            return;
        }
        backdrop_ = std::make_unique<BackdropWindow>(kBackdrop);
        ASSERT_TRUE(PumpUntil([this] { return backdrop_->Shown(); }));

        ASSERT_TRUE(demo::Skin().Load(module_));
        skin_ = std::make_unique<CurrentSkin>(&module_);
        ASSERT_TRUE(form_.Create());
        ASSERT_TRUE(form_.skinned);
        form_.MoveWindow(100, 80);
        form_.ShowWindow(plat::kSwShow);
        ASSERT_TRUE(PumpUntil([this] {
            return OnScreen({100, 80}) == 0;
        })) << OnScreen({100, 80})
            << " pixels differ";
    }
    void TearDown() override {
        form_.DestroyWindow();
        backdrop_.reset();
        Pump(50);
    }

    int OnScreen(plat::Point at) {
        return Mismatches(Screenshot(), form_.BackBuffer().surface, at, g_FormAlpha);
    }

    std::unique_ptr<BackdropWindow> backdrop_;
    plat::ResourceModule module_;
    std::unique_ptr<CurrentSkin> skin_;
    demo::Form form_;
};

TEST_F(FormGuiTest, HoveringTheButtonShowsItsHoverFrameOnScreen) {
    Xdotool("mousemove 120 95");
    ASSERT_TRUE(PumpUntil([this] { return form_.command.m_nState == 1; }));
    ASSERT_TRUE(PumpUntil([this] { return OnScreen({100, 80}) == 0; }));
    Screenshot shot;
    EXPECT_EQ(shot.At(115, 92), demo::kFrame1 & 0xFFFFFF);
    EXPECT_EQ(shot.At(101, 81), kBackdrop); // a transparent corner lets the backdrop through

    // Leaving for the backdrop: the leave poll puts the button back within 100 ms or so.
    Xdotool("mousemove 500 400");
    ASSERT_TRUE(PumpUntil([this] { return form_.command.m_nState == 0; }, 1000));
    ASSERT_TRUE(PumpUntil([this] { return OnScreen({100, 80}) == 0; }));
}

TEST_F(FormGuiTest, APointerThatComesBackToThePixelItLeftFromHoversAndClicksAgain) {
    // A pen or a touch screen lands where it left: no move inside the window tells of it.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Xdotool("mousemove 120 95");
        ASSERT_TRUE(PumpUntil([this] { return form_.command.m_nState == 1; }));
        Xdotool("click 1");
        ASSERT_TRUE(PumpUntil([this, round] {
            return form_.commands.size() == static_cast<size_t>(round + 1);
        })) << form_.commands.size();
        Xdotool("mousemove 500 400");
        ASSERT_TRUE(PumpUntil([this] { return !form_.IsPolling(); }, 1000));
        EXPECT_EQ(form_.command.m_nState, 0);
        Pump(500); // the next click is no double-click
    }
}

TEST_F(FormGuiTest, DraggingTheBackgroundMovesTheWindowByTheDragDistance) {
    Xdotool("mousemove 250 210 mousedown 1");
    ASSERT_TRUE(PumpUntil([this] { return form_.IsDragging(); }));
    for (int step = 1; step <= 5; ++step) {
        Xdotool("mousemove " + std::to_string(250 + 8 * step) + " " +
                std::to_string(210 + 5 * step));
        Pump(20);
    }
    Xdotool("mouseup 1");
    ASSERT_TRUE(PumpUntil([this] { return !form_.IsDragging(); }));
    const plat::Rect r = form_.GetWindowRect();
    EXPECT_EQ(r.left, 140);
    EXPECT_EQ(r.top, 105);
    ASSERT_TRUE(PumpUntil([this] {
        return OnScreen({140, 105}) == 0;
    })) << OnScreen({140, 105})
        << " pixels differ";
}

TEST_F(FormGuiTest, TypedKeysReachTheFocusedFieldAndTheAlphaDimsTheForm) {
    Xdotool("mousemove 150 150");
    Xdotool("type --delay 20 '4a2'");
    ASSERT_TRUE(PumpUntil([this] { return form_.digits.GetText() == "42"; }))
        << form_.digits.GetText();
    form_.label.SetText("typed");
    g_FormAlpha = 160;
    form_.Invalidate();
    form_.Compose();
    ASSERT_TRUE(PumpUntil([this] {
        return OnScreen({100, 80}) == 0;
    })) << OnScreen({100, 80})
        << " pixels differ";
    g_FormAlpha = 255;
}

TEST_F(FormGuiTest, ADestroyedFormsTimersNeverFire) {
    int fired = 0;
    {
        demo::Form doomed;
        ASSERT_TRUE(doomed.Create());
        doomed.onTimer = [&fired](uint32_t) { ++fired; };
        doomed.SetTimer(CForm::kTimerCaret, 10);
        doomed.SetTimer(CForm::kTimerMouseLeave, 10);
        ASSERT_TRUE(PumpUntil([&fired] { return fired >= 4; })); // they run while it lives
    }
    const int before = fired;
    Pump(100); // a timer left behind would call into the freed form here
    EXPECT_EQ(fired, before);
}

TEST_F(FormGuiTest, APanelSlidesOpenInAboutTwelvePresentsAndRestsWhereItShould) {
    form_.DestroyWindow();
    plat::ResourceModule module;
    ASSERT_TRUE(panels::Skin().Load(module));
    CurrentSkin skin(&module);
    panels::Form form;
    ASSERT_TRUE(form.Create());
    ASSERT_TRUE(form.skinned);
    form.MoveWindow(300, 40);
    form.ShowWindow(plat::kSwShow);
    auto onScreen = [&form] {
        return Mismatches(Screenshot(), form.BackBuffer().surface, {300, 40}, g_FormAlpha);
    };
    ASSERT_TRUE(PumpUntil([&] { return onScreen() == 0; }));

    // Onto the panel's strip (x 188-211 of the form): it peeks; a click opens it.
    Xdotool("mousemove 505 200");
    ASSERT_TRUE(PumpUntil([&] { return form.right.m_nState == zel_Slide::kPeeking; }));
    ASSERT_TRUE(PumpUntil([&] { return !form.right.m_bAnimating; }, 2000));
    const int before = form.PresentCount();
    Xdotool("click 1");
    ASSERT_TRUE(PumpUntil([&] { return form.right.m_nState == zel_Slide::kOpen; }));
    ASSERT_TRUE(PumpUntil([&] { return !form.right.m_bAnimating; }, 2000));
    const int presents = form.PresentCount() - before;
    std::printf("presents per slide: %d\n", presents);
    EXPECT_GE(presents, 10); // 700 ms on a 60 ms timer, plus the press itself
    EXPECT_LE(presents, 16);
    EXPECT_EQ(form.right.X(), 61);
    ASSERT_TRUE(PumpUntil([&] { return onScreen() == 0; })) << onScreen() << " pixels differ";
    Screenshot shot;
    EXPECT_EQ(shot.At(300 + 61 + 45, 40 + 50 + 25), panels::kButtonColour & 0xFFFFFF);
    form.DestroyWindow();
}

} // namespace
