// The call window on a real display (a private Xvfb) over a one-colour backdrop: switching to
// the plum skin shipped beside the program and back, the screen shows each skin as the window
// composed it; a panel that slid closed leaves nothing of itself behind. Screenshots of the
// steps are left in the test's folder (skin-*.png, panel-closed.png). Without a compositor the
// screen shows the window's premultiplied pixels where their alpha is above 0.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/call/CMakeCall.h"
#include "app/panels/zel_SldSkins.h"
#include "platform/core/Paths.h"
#include "tests/app-panels/PanelsSupport.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/ui/GtkScreen.h"

namespace {

constexpr plat::Point kAt{20, 20};          // the window's place on the screen
constexpr uint32_t kBackdrop = 0x00306090u; // RGB of the window behind it

const auto* g_env = ::testing::AddGlobalTestEnvironment(new XvfbGtkEnvironment("1024x768x24"));

// Whether two colours are equal within 2 on each channel.
bool Near(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16}) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > 2) {
            return false;
        }
    }
    return true;
}

// Pixels of the window (every other one) that differ on the screen from its back buffer:
// where it is transparent the backdrop must show.
int Mismatches(const Screenshot& shot, const plat::Surface& image) {
    int bad = 0;
    for (int y = 0; y < image.Height(); y += 2) {
        for (int x = 0; x < image.Width(); x += 2) {
            const uint8_t* p = image.Row(y) + 4 * x;
            const uint32_t want =
                p[3] == 0 ? kBackdrop : (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
            bad += Near(want, shot.At(kAt.x + x, kAt.y + y)) ? 0 : 1;
        }
    }
    return bad;
}

// The plum skin's colours: red from blue, green from red, blue from green.
uint32_t Plum(uint32_t rgb) {
    const uint32_t red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
    return (blue << 16) | (red << 8) | green;
}

class SkinSwitchGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DisplayReady("no Xvfb")) {
            return;
        }
        backdrop_ = std::make_unique<BackdropWindow>(kBackdrop);
        ASSERT_TRUE(PumpUntil([this] { return backdrop_->Shown(); }));
        panelstest::StartProgramState(sandbox_.Dir());
        ASSERT_TRUE(owner_.Create());
        call_ = new CMakeCall(owner_, {}, login_, nullptr);
        ASSERT_TRUE(call_->Make());
        call_->MoveWindow(kAt.x, kAt.y);
        call_->Show();
    }
    void TearDown() override {
        if (call_) {
            call_->Destroy();
        }
        owner_.DestroyWindow();
        backdrop_.reset();
        PumpUntil([] { return false; }, 50);
        panelstest::EndProgramState();
    }

    // The screen shows the window as composed; `name` keeps the screenshot.
    void ExpectShown(const char* name) {
        ASSERT_TRUE(PumpUntil(
            [this] { return Mismatches(Screenshot(), call_->BackBuffer().surface) == 0; }, 5000))
            << Mismatches(Screenshot(), call_->BackBuffer().surface) << " pixels differ";
        Screenshot().Save(name);
    }
    // A pixel of the face's body, left of the keypad, on the screen.
    uint32_t FacePixel() const {
        return Screenshot().At(kAt.x + call_->FaceOrigin().x + 10, kAt.y + 300);
    }

    // Clicks at (x, y) of the window.
    static void ClickAt(int x, int y) {
        const std::string at = std::to_string(kAt.x + x) + " " + std::to_string(kAt.y + y);
        ASSERT_EQ(0, std::system(("xdotool mousemove " + at + " click 1").c_str()));
    }

    std::unique_ptr<BackdropWindow> backdrop_;
    RegistrySandbox sandbox_;
    panelstest::OwnerForm owner_;
    panelstest::Login login_;
    CMakeCall* call_ = nullptr;
};

TEST_F(SkinSwitchGuiTest, TheShippedPlumSkinShowsAndTheBuiltInOneComesBack) {
    ExpectShown("skin-builtin.png");
    const uint32_t builtIn = FacePixel();

    // A click on the skins panel's tab opens it: the strip shows the two skins.
    const CMakeCall::zel_SldSkins& panel = *call_->SkinsPanel();
    const plat::Rect tab = panel.OwnRect();
    ClickAt(tab.left + 8, (tab.top + tab.bottom) / 2);
    ASSERT_TRUE(PumpUntil(
        [&panel] { return panel.m_nState == zel_Slide::kOpen && !panel.m_bAnimating; }, 5000));
    EXPECT_EQ(2, panel.m_Strip.Count());
    ExpectShown("skin-panel.png");
    ASSERT_NE(Plum(builtIn), builtIn) << "the sample pixel is grey";

    // Double-clicking the plum preview in the strip sends 912 with its skin id.
    call_->OnCommand(CMakeCall::kCmdSkinStrip, 0x2b);
    ASSERT_EQ(0x2b, GetModuleSkinValue(g_SkinModule, kSkinIdValueId));
    EXPECT_EQ(0x2b, call_->SkinsPanel()->m_Strip.GetSelectedId());
    ExpectShown("skin-plum.png");
    EXPECT_TRUE(Near(Plum(builtIn), FacePixel()))
        << std::hex << FacePixel() << " for " << Plum(builtIn);

    call_->OnCommand(CMakeCall::kCmdSkinStrip, 0);
    ASSERT_EQ(ProgramModule(), g_SkinModule);
    ExpectShown("skin-back.png");
    EXPECT_EQ(builtIn, FacePixel());

    // A skin whose header is refused: its message shows (and is answered), the skin stays.
    const std::string bad = plat::JoinPath(plat::JoinPath(plat::DataDir(), SkinFolder::kName),
                                           SkinFolder::FileName(0x4d));
    ASSERT_TRUE(plat::MakeDirs(bad.substr(0, bad.rfind('/'))));
    ASSERT_TRUE(panelstest::WriteBytes(bad, panelstest::Identity(0x4d, 8).Bytes()));
    static std::string shown;
    g_timeout_add(
        50,
        [](gpointer) -> gboolean {
            GList* windows = gtk_window_list_toplevels();
            for (GList* w = windows; w; w = w->next) {
                if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
                    gchar* text = nullptr;
                    g_object_get(w->data, "text", &text, nullptr);
                    shown = text ? text : "";
                    g_free(text);
                    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
                }
            }
            g_list_free(windows);
            return shown.empty() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        nullptr);
    call_->OnCommand(CMakeCall::kCmdSkinStrip, 0x4d);
    EXPECT_EQ("Sorry, skin can not be loaded", shown);
    EXPECT_EQ(ProgramModule(), g_SkinModule);
    ExpectShown("skin-refused.png");
    EXPECT_EQ(builtIn, FacePixel());
}

TEST_F(SkinSwitchGuiTest, APanelThatSlidClosedLeavesNothingOfItselfOnTheScreen) {
    ExpectShown("skin-builtin.png");
    const CMakeCall::zel_SldSkins& panel = *call_->SkinsPanel();
    // Opened and closed again by its tab: on its way back it crosses a part of the window that
    // becomes transparent.
    for (int32_t state : {zel_Slide::kOpen, zel_Slide::kClosed}) {
        const plat::Rect tab = panel.OwnRect();
        ClickAt(tab.left + 8, (tab.top + tab.bottom) / 2);
        ASSERT_TRUE(PumpUntil(
            [&panel, state] { return panel.m_nState == state && !panel.m_bAnimating; }, 5000));
    }
    // The screen against a fresh draw of the same state.
    call_->Invalidate();
    call_->Compose();
    ExpectShown("panel-closed.png");
}

} // namespace
