#include <gtest/gtest.h>

#include <thread>

#include "platform/store/Registry.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/VirtualKeys.h"
#include "tests/skin/ControlProbe.h"
#include "tests/skin/FormFixture.h"
#include "tests/support/RegistrySandbox.h"

namespace {

TEST(FormAlphaTest, TheStoredOpacityIsReadOnceAndKeptBetween120And255) {
    struct Case {
        int bytes; // 0: no value; -1: no key
        uint32_t stored;
        uint8_t expected;
    } cases[] = {
        {-1, 0, 255},  {0, 0, 255},   {1, 100, 120}, {1, 119, 120}, {1, 120, 120},
        {1, 121, 121}, {1, 200, 200}, {1, 255, 255}, {4, 200, 255}, {2, 200, 255},
    };
    for (const Case& c : cases) {
        RegistrySandbox sandbox;
        if (c.bytes >= 0) {
            plat::Registry::Key key;
            ASSERT_EQ(sandbox.Registry().CreateKey("Software\\Quorvex", &key), plat::kErrorSuccess);
            if (c.bytes > 0) {
                sandbox.Registry().SetValue(key, "Alpha",
                                            c.bytes == 4 ? plat::kRegDword : plat::kRegBinary,
                                            &c.stored, static_cast<uint32_t>(c.bytes));
            }
        }
        g_FormAlpha = 0;
        LoadFormAlpha();
        EXPECT_EQ(g_FormAlpha, c.expected) << c.bytes << " bytes of " << c.stored;
        // Read once: a later change of the stored value is not seen.
        plat::Registry::Key key;
        sandbox.Registry().CreateKey("Software\\Quorvex", &key);
        const uint8_t other = 130;
        sandbox.Registry().SetValue(key, "Alpha", plat::kRegBinary, &other, 1);
        LoadFormAlpha();
        EXPECT_EQ(g_FormAlpha, c.expected);
    }
    g_FormAlpha = 255;
}

class CFormTest : public FormFixture {};

TEST_F(CFormTest, TabWalksTheFocusableFieldsInHitOrderAndWraps) {
    EXPECT_EQ(form_.m_pFocus, &form_.digits); // the first focusable child added
    form_.text.SetFocus();
    window_->TypeKey(plat::kVkTab);
    EXPECT_EQ(form_.m_pFocus, &form_.password);
    EXPECT_TRUE(form_.password.IsCaretShown());
    EXPECT_FALSE(form_.text.IsCaretShown());
    window_->TypeKey(plat::kVkTab);
    EXPECT_EQ(form_.m_pFocus, &form_.digits);
    window_->TypeKey(plat::kVkTab);
    EXPECT_EQ(form_.m_pFocus, &form_.text);

    // Only one focusable field: Tab keeps it and shows its caret again.
    form_.digits.SetEnabled(false);
    form_.password.SetVisible(false);
    form_.text.HideCaret();
    window_->TypeKey(plat::kVkTab);
    EXPECT_EQ(form_.m_pFocus, &form_.text);
    EXPECT_TRUE(form_.text.IsCaretShown());
    // Tab never types a character, Return and Escape are the dialog's OK and Cancel.
    EXPECT_EQ(form_.text.GetText(), "");
    window_->TypeKey(plat::kVkReturn, 13);
    window_->TypeKey(plat::kVkEscape, 27);
    window_->RequestClose();
    EXPECT_EQ(form_.oks, 1);
    EXPECT_EQ(form_.cancels, 2);
    EXPECT_EQ(form_.text.GetText(), "");
}

TEST(FormTabTest, NoFocusableChildAndNoFocusChangesNothing) {
    plat::FakeWindowSystem windows;
    std::vector<std::string> log;
    CForm form(1);
    ControlProbe a("A", {0, 0, 5, 5}, &log);
    form.AddChild(&a);
    ASSERT_TRUE(form.Create());
    windows.Windows().back()->TypeKey(plat::kVkTab);
    EXPECT_EQ(form.m_pFocus, nullptr);
    EXPECT_TRUE(log.empty());
}

TEST_F(CFormTest, OnePresentPerKeyThatChangesAFieldAndNoneForOneThatDoesNot) {
    ASSERT_EQ(form_.m_pFocus, &form_.digits);
    NewPresents();
    struct Case {
        uint32_t vk, ch;
        int presents;
        const char* text;
    } cases[] = {
        {'7', '7', 1, "7"},           {'A', 'a', 0, "7"},         // digits only
        {plat::kVkLeft, 0, 1, "7"},   {plat::kVkLeft, 0, 0, "7"}, // already at the start
        {'3', '3', 1, "37"},          {plat::kVkDelete, 0, 1, "3"},
        {plat::kVkDelete, 0, 0, "3"}, // at the end
        {plat::kVkBack, 8, 1, ""},    {plat::kVkBack, 8, 0, ""},
        {plat::kVkShift, 0, 0, ""},
    };
    for (const Case& c : cases) {
        window_->TypeKey(c.vk, c.ch);
        EXPECT_EQ(NewPresents(), c.presents) << "key " << c.vk;
        EXPECT_EQ(form_.digits.GetText(), c.text);
    }
    // A disabled focused field drops the keys.
    form_.digits.SetEnabled(false);
    window_->TypeKey('5', '5');
    EXPECT_EQ(form_.digits.GetText(), "");
    EXPECT_EQ(form_.m_pFocus, &form_.digits);
}

TEST_F(CFormTest, APressNoControlTakesDragsTheWindowByTheCursorsMovement) {
    // Start on the background (no control there) at screen (400, 330).
    window_->PressScreen({400, 330});
    EXPECT_TRUE(form_.IsDragging());
    EXPECT_EQ(windows_.CaptureHolder(), window_);
    struct Step {
        plat::Point cursor;
        plat::Point window;
    } path[] = {
        {{425, 340}, {325, 210}},
        {{425, 340}, {325, 210}},
        {{380, 300}, {280, 170}},
        {{381, 300}, {281, 170}},
    };
    for (const Step& s : path) {
        window_->MoveMouseScreen(s.cursor);
        const plat::Rect r = window_->GetWindowRect();
        EXPECT_EQ((plat::Point{r.left, r.top}), s.window);
        EXPECT_EQ(r.Width(), demo::kWidth);
    }
    window_->ReleaseScreen({381, 300});
    EXPECT_FALSE(form_.IsDragging());
    EXPECT_EQ(windows_.CaptureHolder(), nullptr);

    // A move that finds the button released ends the drag and its capture. (A second press
    // at the same place would be a double-click.)
    window_->Press({150, 130});
    ASSERT_TRUE(form_.IsDragging());
    form_.OnMsgMouseMove(0, {160, 130});
    EXPECT_FALSE(form_.IsDragging());
    EXPECT_EQ(windows_.CaptureHolder(), nullptr);
    EXPECT_EQ((plat::Point{window_->GetWindowRect().left, window_->GetWindowRect().top}),
              (plat::Point{281, 170}));
}

TEST_F(CFormTest, TheLeavePollResetsHoverOnceTheCursorIsOverAnotherWindow) {
    window_->MoveMouse({20, 15}); // over the command button
    EXPECT_EQ(form_.command.m_nState, 1);
    ASSERT_EQ(window_->Timers().count(CForm::kTimerMouseLeave), 1u);
    EXPECT_EQ(window_->Timers().at(CForm::kTimerMouseLeave), 100u);
    NewPresents();
    EXPECT_TRUE(window_->FireTimer(CForm::kTimerMouseLeave)); // still over the form
    EXPECT_EQ(form_.command.m_nState, 1);
    EXPECT_EQ(NewPresents(), 0);

    windows_.SetForeignWindowUnderCursor(true);
    EXPECT_TRUE(window_->FireTimer(CForm::kTimerMouseLeave));
    EXPECT_EQ(form_.command.m_nState, 0);
    EXPECT_EQ(NewPresents(), 1);
    EXPECT_EQ(Shown(20, 15), demo::kFrame0);
    EXPECT_EQ(window_->Timers().count(CForm::kTimerMouseLeave), 0u);
    EXPECT_FALSE(form_.IsPolling());
    // Back at the very pixel it left from, in one step: hovered again.
    windows_.SetForeignWindowUnderCursor(false);
    window_->MoveMouse({20, 15});
    EXPECT_EQ(form_.command.m_nState, 1);
    EXPECT_TRUE(form_.IsPolling());

    // A drag that the poll ends gives the capture back.
    window_->Press({100, 130});
    window_->MoveMouse({101, 130});
    windows_.SetForeignWindowUnderCursor(true);
    window_->FireTimer(CForm::kTimerMouseLeave);
    EXPECT_FALSE(form_.IsDragging());
    EXPECT_EQ(windows_.CaptureHolder(), nullptr);
}

TEST_F(CFormTest, InvalidationsOfOneMessageMergeAndPixelsOutsideStayAsTheyWere) {
    // A mark outside anything that will be redrawn.
    auto& buffer = const_cast<zel_Bitmap&>(form_.BackBuffer());
    uint8_t* mark = buffer.surface.Row(140) + 4 * 190;
    mark[0] = mark[1] = mark[2] = mark[3] = 0x55;
    NewPresents();
    form_.label.SetText("changed");
    form_.command.OnMouseEnter(0);
    EXPECT_EQ(form_.DirtyRect(), (plat::Rect{10, 10, 190, 53})); // label and button merged
    form_.Compose();
    EXPECT_EQ(NewPresents(), 1);
    EXPECT_EQ(Shown(190, 140), 0x55555555u);
    EXPECT_EQ(Shown(20, 15), demo::kFrame1);
    form_.Compose(); // nothing dirty: no present
    EXPECT_EQ(NewPresents(), 0);
    // A rectangle reaching outside the window is cut to it.
    plat::Rect outside{-50, -50, 500, 20};
    form_.InvalidateRect(&outside);
    form_.Compose();
    EXPECT_EQ(Shown(190, 140), 0x55555555u);
}

TEST_F(CFormTest, TimersArePerIdAndDieWithTheWindow) {
    form_.SetTimer(CForm::kTimerCaret, CForm::kCaretPeriodMs);
    form_.SetTimer(CForm::kTimerCaret, 250); // setting an id again replaces it
    EXPECT_EQ(window_->Timers().at(CForm::kTimerCaret), 250u);
    form_.AcquireTimer();
    form_.AcquireTimer();
    EXPECT_EQ(window_->Timers().at(CForm::kTimerAnimation), 60u);
    form_.ReleaseTimer();
    EXPECT_EQ(window_->Timers().count(CForm::kTimerAnimation), 1u);
    form_.ReleaseTimer();
    EXPECT_EQ(window_->Timers().count(CForm::kTimerAnimation), 0u);
    form_.ReleaseTimer(); // no reference left: nothing goes negative
    form_.AcquireTimer();
    EXPECT_EQ(window_->Timers().count(CForm::kTimerAnimation), 1u);

    // The caret blinks on the focused field.
    EXPECT_TRUE(window_->FireTimer(CForm::kTimerCaret));
    EXPECT_TRUE(form_.digits.IsCaretShown());
    EXPECT_TRUE(window_->FireTimer(CForm::kTimerCaret));
    EXPECT_FALSE(form_.digits.IsCaretShown());

    EXPECT_EQ(windows_.TimerCount(), 2u);
    form_.DestroyWindow();
    EXPECT_EQ(windows_.TimerCount(), 0u);
    EXPECT_TRUE(windows_.Windows().empty());
}

TEST_F(CFormTest, PostedMessagesArriveOnTheGuiThreadAndAreComposed) {
    plat::ManualGuiDispatcher gui;
    plat::PostTarget target = form_.GetPostTarget();
    std::thread sender([target] { target.PostMessage(0x800A, 1, 2); });
    sender.join();
    EXPECT_TRUE(form_.posted.empty());
    NewPresents();
    gui.RunPending();
    EXPECT_EQ(form_.posted, (std::vector<uint32_t>{0x800A}));
    EXPECT_EQ(NewPresents(), 1);
    // Once the window is gone, posting is refused and nothing arrives.
    target.PostMessage(0x800B);
    form_.DestroyWindow();
    gui.RunPending();
    EXPECT_FALSE(target.PostMessage(0x800C));
    EXPECT_EQ(form_.posted.size(), 1u);
}

TEST_F(CFormTest, AModalLoopRunsUntilEndDialogAndTakesItsWindowAlong) {
    demo::Form modal;
    modal.onCommand = [&modal](uint16_t id) {
        if (id == demo::kCommand) {
            modal.EndDialog(42);
        }
    };
    windows_.SetModalScript([&](plat::FakeWindow& w) {
        EXPECT_TRUE(w.IsVisible());
        EXPECT_EQ(w.Owner(), window_);
        w.SetTimer(7, 100);
        w.MoveMouse({20, 15});
        w.Click({20, 15});
    });
    EXPECT_EQ(modal.DoModal(&form_), 42);
    EXPECT_EQ(modal.GetWindow(), nullptr);
    EXPECT_EQ(windows_.Windows().size(), 1u);
    EXPECT_TRUE(modal.skinned);
    EXPECT_EQ(windows_.TimerCount(), 0u); // the modal window's timers went with it
}

TEST_F(CFormTest, AChildCaptureTakesEveryMouseEventUntilTheCaptureChanges) {
    std::vector<std::string> log;
    ControlProbe thumb("T", {150, 60, 170, 80}, &log);
    form_.AddChild(&thumb);
    window_->Press({100, 130}); // a drag holds the capture
    ASSERT_TRUE(form_.IsDragging());
    form_.CaptureChild(&thumb, {150, 60});
    EXPECT_FALSE(form_.IsDragging()); // the drag ends, the form keeps the capture
    EXPECT_EQ(windows_.CaptureHolder(), window_);
    log.clear();
    window_->MoveMouse({10, 10});
    window_->Release({12, 10});
    EXPECT_EQ(log,
              (std::vector<std::string>{"T:move -140,-50", "T:move -138,-50", "T:up -138,-50"}));
    window_->BreakCapture();
    EXPECT_EQ(form_.CapturingChild(), nullptr);
    log.clear();
    window_->MoveMouse({155, 65});
    EXPECT_EQ(log.front(), "T:move 5,5");
}

TEST(FormSkinSizeTest, SizesOutsideOneTo8192FailTheLoad) {
    plat::FakeWindowSystem windows;
    struct Case {
        int32_t labelWidth, labelHeight;
        bool ok;
    } cases[] = {{180, 18, true},  {1, 1, true},      {8192, 18, true},  {0, 18, false},
                 {180, -1, false}, {8193, 18, false}, {180, 8193, false}};
    for (const Case& c : cases) {
        plat::ResourceModule module;
        ASSERT_TRUE(
            demo::Skin().Area(demo::kLabel, 10, 35, c.labelWidth, c.labelHeight).Load(module));
        CurrentSkin skin(&module);
        demo::Form form;
        EXPECT_EQ(form.ApplySkin(), c.ok) << c.labelWidth << " x " << c.labelHeight;
    }
    demo::Form form;
    EXPECT_FALSE(form.CreateBackBuffer(0, 10));
    EXPECT_FALSE(form.CreateBackBuffer(10, kMaxSkinSide + 1));
    EXPECT_TRUE(form.CreateBackBuffer(kMaxSkinSide, 1));
}

} // namespace
