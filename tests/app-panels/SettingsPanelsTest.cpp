// The call window's skins, audio and menu panels on the fake window system, built from the
// built-in skin, and their commands: sliders, skin installs and switches, the menu; and what
// the skins we ship show there.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/call/CMakeCall.h"
#include "app/call/ContactsPanel.h"
#include "app/call/HistoryPanel.h"
#include "app/panels/zel_SldAudioSettings.h"
#include "app/panels/zel_SldMenu.h"
#include "app/panels/zel_SldSkins.h"
#include "app/phone/PhoneState.h"
#include "app/resources/BuiltInModule.h"
#include "app/skinfiles/SkinFiles.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/store/IniFile.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "skin/zel_Label.h"
#include "tests/app-panels/PanelsSupport.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

namespace {

using panelstest::Login;
using panelstest::OwnerForm;

class SettingsPanelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        panelstest::StartProgramState(sandbox_.Dir());
        previousTrace_ = g_pTrace.exchange(&trace_);
        g_FormAlpha = 200;
        installed_ = plat::JoinPath(plat::DataDir(), SkinFolder::kName);
        ASSERT_TRUE(plat::MakeDirs(installed_));
        plat::IniFile volumes(plat::JoinPath(plat::ConfigDir(), "quorvix.ini"));
        volumes.WriteString("vol", "mic", "30");
        volumes.WriteString("vol", "spk", "80");
    }
    void TearDown() override {
        if (call_) {
            call_->Destroy();
        }
        owner_.DestroyWindow();
        panelstest::EndProgramState();
        g_pTrace = previousTrace_;
    }

    void Make() {
        ASSERT_TRUE(owner_.Create());
        call_ = new CMakeCall(owner_, {}, login_, nullptr);
        ASSERT_TRUE(call_->Make());
        call_->Show();
        ASSERT_NE(nullptr, call_->SkinsPanel());
        ASSERT_NE(nullptr, call_->AudioPanel());
        ASSERT_NE(nullptr, call_->MenuPanel());
    }
    std::string Installed(uint32_t id) const {
        return plat::JoinPath(installed_, SkinFolder::FileName(id));
    }
    int64_t SkinSetting() { return panelstest::SkinSetting(sandbox_.Registry()); }
    // Runs `check` on the window in each skin we ship: the built-in one, then plum.
    void InEachShippedSkin(const std::function<void()>& check) {
        ASSERT_TRUE(
            panelstest::WriteBytes(Installed(0x2b), panelstest::ReadBytes(QUORVEX_PLUM_ZSK)));
        Make();
        check();
        call_->OnCommand(CMakeCall::kCmdSkinStrip, 0x2b);
        ASSERT_EQ(0x2b, InUse());
        SCOPED_TRACE("plum");
        check();
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (const auto& r : windows_.MessageBoxes().Requests()) {
            texts.push_back(r.text);
        }
        return texts;
    }
    static int32_t InUse() { return GetModuleSkinValue(g_SkinModule, kSkinIdValueId); }
    // The strip's skin ids, in order.
    std::vector<int32_t> Strip() const {
        std::vector<int32_t> ids;
        for (const zel_ImageItem* item = call_->SkinsPanel()->m_Strip.First(); item;
             item = item->m_pNext.get()) {
            ids.push_back(item->m_nSkinId);
        }
        return ids;
    }

    RegistrySandbox sandbox_;
    RecordingTraceLog trace_;
    iTraceFile* previousTrace_ = nullptr;
    plat::FakeClock clock_{1000};
    plat::ScopedClock scopedClock_{clock_};
    plat::FakeWindowSystem windows_;
    plat::FakeDialogFactory dialogs_;
    RecordingShell shell_;
    std::string installed_;
    OwnerForm owner_;
    Login login_;
    CMakeCall* call_ = nullptr;
};

TEST_F(SettingsPanelsTest, ThePanelsStartFromTheStoredSettingsAndTheSkinsOnDisk) {
    // An installed skin, one whose name is not its id (never listed), and a file that is no
    // skin at all.
    ASSERT_TRUE(panelstest::WriteBytes(Installed(0x3c), panelstest::Identity(0x3c).Bytes()));
    ASSERT_TRUE(panelstest::WriteBytes(Installed(0x3d), panelstest::Identity(0x3e).Bytes()));
    ASSERT_TRUE(panelstest::WriteBytes(Installed(0x3f), {'n', 'o'}));
    // And a skin past the byte budget, which is not even read.
    ASSERT_TRUE(panelstest::WriteBytes(Installed(0x40), panelstest::AtTheByteBudget(0x40, 512)));
    Make();
    const CMakeCall::zel_SldAudioSettings& audio = *call_->AudioPanel();
    const struct {
        const zel_ScrollSlide* slider;
        float min, max, pos;
    } sliders[] = {{&audio.m_Opacity, 120, 255, 200},
                   {&audio.m_Microphone, 0, 100, 30},
                   {&audio.m_Speaker, 0, 100, 80}};
    for (const auto& s : sliders) {
        EXPECT_EQ(s.min, s.slider->m_fMin);
        EXPECT_EQ(s.max, s.slider->m_fMax);
        // The thumb's pixel steps are coarser than the values.
        EXPECT_NEAR(s.pos, s.slider->GetPos(), 2.0f);
    }

    const zel_List& menu = call_->MenuPanel()->m_List;
    EXPECT_EQ(
        (std::vector<std::string>{"Country codes...", "Options...", "Help...", "About QUORvex..."}),
        menu.m_Rows.m_Texts);
    EXPECT_EQ((std::vector<int32_t>{49, 50, 53, 54}), menu.m_Rows.m_Data);

    // The built-in skin (in use, so selected) and the installed one, newest first in their
    // language.
    const CMakeCall::zel_SldSkins& skins = *call_->SkinsPanel();
    EXPECT_EQ((std::vector<int32_t>{0x3c, 0}), Strip());
    EXPECT_EQ(0, skins.m_Strip.GetSelectedId());
    EXPECT_EQ(1, trace_.CountPrefix("CMakeCall::zel_SldSkins: no se pudo cargar " +
                                    Installed(0x40) + ": file too large"));
    // The scroll bar spans the strip's scroll width (not the number of previews), or hides
    // when everything fits.
    const int32_t width = skins.m_Strip.GetScrollWidth();
    EXPECT_EQ(width > 0 ? static_cast<float>(width) : 0.0f, skins.m_Scroll.m_fMax);
    EXPECT_EQ(width > 0, skins.m_Scroll.m_bVisible != 0);
}

TEST_F(SettingsPanelsTest, ASliderSendsItsValueAndTheWindowKeepsItInItsRange) {
    Make();
    CMakeCall::zel_SldAudioSettings& audio = *call_->AudioPanel();
    const struct {
        zel_ScrollSlide* slider; // null: command 510 with `to`, as no slider would send it
        float to;
        int alpha;       // g_FormAlpha and the one byte of `Alpha` afterwards
        const char* key; // [vol] key written, or null
        const char* value;
    } cases[] = {
        {&audio.m_Opacity, 255, 255, nullptr, nullptr},
        {&audio.m_Opacity, 120, 120, nullptr, nullptr},
        {&audio.m_Opacity, 20, 120, nullptr, nullptr}, // the slider stops at 120
        {&audio.m_Microphone, 100, 120, "mic", "100"},
        {&audio.m_Microphone, 0, 120, "mic", "0"},
        {&audio.m_Speaker, 150, 120, "spk", "100"},
        // The window keeps the opacity in 120-255 itself (each from a value it must change).
        {nullptr, 121, 121, nullptr, nullptr},
        {nullptr, 119, 120, nullptr, nullptr},
        {nullptr, 256, 255, nullptr, nullptr},
        {nullptr, 120, 120, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.slider ? c.slider->m_nId : 0) + " to " +
                     std::to_string(c.to));
        if (c.slider) {
            c.slider->SetPos(c.to);
            // A drag step of the thumb, as the slider passes it up.
            c.slider->Notify(c.slider->m_nId, 0);
        } else {
            call_->OnCommand(CMakeCall::kCmdOpacity, static_cast<int32_t>(c.to));
        }
        EXPECT_EQ(c.alpha, g_FormAlpha);
        plat::Registry::Key key;
        uint32_t type = 0, size = 4;
        uint8_t stored[4] = {};
        ASSERT_EQ(plat::kErrorSuccess, sandbox_.Registry().OpenKey("Software\\Quorvex", &key));
        ASSERT_EQ(plat::kErrorSuccess,
                  sandbox_.Registry().QueryValue(key, "Alpha", &type, stored, &size));
        EXPECT_EQ(plat::kRegBinary, type);
        EXPECT_EQ(1u, size);
        EXPECT_EQ(c.alpha, stored[0]);
        if (c.key) {
            plat::IniFile volumes(plat::JoinPath(plat::ConfigDir(), "quorvix.ini"));
            EXPECT_EQ(c.value, volumes.GetString("vol", c.key, ""));
        }
    }
}

TEST_F(SettingsPanelsTest, SkinsAreInstalledOnceAndSwitchedOnlyWhenEveryFormRebuilds) {
    const std::string chosen = plat::JoinPath(sandbox_.Dir(), "chosen.zsk");
    ASSERT_TRUE(panelstest::WriteBytes(chosen, panelstest::Identity(0x3c).Bytes()));
    // A skin the strip cannot show: it has no preview.
    const std::string unshown = plat::JoinPath(sandbox_.Dir(), "unshown.zsk");
    ASSERT_TRUE(panelstest::WriteBytes(
        unshown, panelstest::Identity(0x5e).Remove(plat::kResourceBitmap, kSkinPreviewId).Bytes()));
    ASSERT_TRUE(panelstest::WriteBytes(Installed(0x2b), panelstest::ReadBytes(QUORVEX_PLUM_ZSK)));
    ASSERT_TRUE(panelstest::WriteBytes(Installed(0x4d), panelstest::Identity(0x4d, 8).Bytes()));
    Make();
    enum Step { InstallChosen, InstallUnshown, Cancel, UseSelected, SelectNone, Strip912 };
    const struct {
        const char* what;
        Step step;
        int32_t value;
        std::set<int32_t> ownerFails;
        int32_t inUse;
        int64_t setting;
        std::vector<int32_t> strip; // newest first: an install goes first, a refill adds by name
        int32_t selected;
        bool message;
    } steps[] = {
        {"install", InstallChosen, 0, {}, 0, -1, {0x3c, 0x4d, 0x2b, 0}, 0x3c, false},
        {"the same again", InstallChosen, 0, {}, 0, -1, {0x3c, 0x4d, 0x2b, 0}, 0x3c, false},
        {"refused by the strip", InstallUnshown, 0, {}, 0, -1, {0x3c, 0x4d, 0x2b, 0}, 0x3c, false},
        {"cancelled", Cancel, 0, {}, 0, -1, {0x3c, 0x4d, 0x2b, 0}, 0x3c, false},
        {"use a skin without the window's controls",
         UseSelected,
         0,
         {},
         0,
         -1,
         {0x4d, 0x3c, 0x2b, 0},
         0,
         true},
        {"use with nothing selected", SelectNone, 0, {}, 0, -1, {0x4d, 0x3c, 0x2b, 0}, -1, false},
        {"plum, but the login form fails",
         Strip912,
         0x2b,
         {0x2b},
         0,
         -1,
         {0x4d, 0x3c, 0x2b, 0},
         0,
         true},
        {"plum", Strip912, 0x2b, {}, 0x2b, 0x2b, {0x4d, 0x3c, 0x2b, 0}, 0x2b, false},
        {"plum again", Strip912, 0x2b, {}, 0x2b, 0x2b, {0x4d, 0x3c, 0x2b, 0}, 0x2b, false},
        {"a bad header", Strip912, 0x4d, {}, 0x2b, 0x2b, {0x4d, 0x3c, 0x2b, 0}, 0x2b, true},
        {"none selected, plum", SelectNone, 0, {}, 0x2b, 0x2b, {0x4d, 0x3c, 0x2b, 0}, -1, false},
        {"back to the built-in skin", Strip912, 0, {}, 0, -1, {0x4d, 0x3c, 0x2b, 0}, 0, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        owner_.failFor = s.ownerFails;
        owner_.rebuilds.clear();
        const size_t boxes = Boxes().size();
        switch (s.step) {
        case InstallChosen:
            dialogs_.QueueOpenFile(chosen);
            call_->OnCommand(CMakeCall::kCmdInstallSkin, 0);
            break;
        case InstallUnshown:
            dialogs_.QueueOpenFile(unshown);
            call_->OnCommand(CMakeCall::kCmdInstallSkin, 0);
            // Copied, then refused by the strip: the copy goes again.
            EXPECT_EQ((std::vector<std::string>{"2b.zsk", "3c.zsk", "4d.zsk"}),
                      panelstest::Names(installed_));
            break;
        case Cancel:
            call_->OnCommand(CMakeCall::kCmdInstallSkin, 0);
            break;
        case UseSelected:
            call_->OnCommand(CMakeCall::kCmdUseSkin, 0);
            break;
        case SelectNone:
            call_->SkinsPanel()->m_Strip.m_pSelected = nullptr;
            call_->OnCommand(CMakeCall::kCmdUseSkin, 0);
            break;
        case Strip912:
            call_->OnCommand(CMakeCall::kCmdSkinStrip, s.value);
            break;
        }
        EXPECT_EQ(s.inUse, InUse());
        EXPECT_EQ(s.setting, SkinSetting());
        EXPECT_EQ(s.strip, Strip());
        EXPECT_EQ(s.selected, call_->SkinsPanel()->m_Strip.GetSelectedId());
        // A failed switch ends with message 38 (after the loader's own report of a missing
        // resource, when that was the failure).
        if (s.message) {
            ASSERT_GT(Boxes().size(), boxes);
            EXPECT_EQ("Sorry, skin can not be loaded", Boxes().back());
        } else {
            EXPECT_EQ(boxes, Boxes().size());
        }
        // Whatever happened, the login form was last rebuilt from the skin in use.
        if (!owner_.rebuilds.empty()) {
            EXPECT_EQ(s.inUse, owner_.rebuilds.back());
        }
        // The window is whole and shown.
        EXPECT_TRUE(call_->IsWindowVisible());
        EXPECT_GT(call_->Layout().width, 0);
    }
    EXPECT_EQ((std::vector<std::string>{"2b.zsk", "3c.zsk", "4d.zsk"}),
              panelstest::Names(installed_));
    ASSERT_FALSE(dialogs_.OpenFileRequests().empty());
    const plat::OpenFileRequest& request = dialogs_.OpenFileRequests().front();
    EXPECT_EQ("Select a skin file", request.title);
    EXPECT_EQ("Quorvex Skins (*.zsk)", request.filterName);
    EXPECT_EQ("*.zsk", request.pattern);
}

TEST_F(SettingsPanelsTest, TheMenuRunsItsDialogsHelpAndTheBalanceView) {
    Make();
    const struct {
        int32_t item;
        int dialogs; // modal dialogs run
        int shell;   // programs started (the help page)
        bool balanceView;
    } cases[] = {
        {49, 1, 0, false}, {50, 1, 0, false}, {53, 0, 1, false},
        {54, 1, 0, false}, {55, 0, 0, true},  {56, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        const size_t ran = dialogs_.Ran().size();
        const size_t runs = shell_.runs.size();
        call_->Call().ShowBalanceView(false);
        call_->OnCommand(CMakeCall::kCmdMenu, c.item);
        EXPECT_EQ(ran + static_cast<size_t>(c.dialogs), dialogs_.Ran().size());
        EXPECT_EQ(runs + static_cast<size_t>(c.shell), shell_.runs.size());
        EXPECT_EQ(c.balanceView, call_->Call().IsBalanceViewShown());
    }
    EXPECT_NE(std::string::npos, shell_.runs.back().back().find("help/english/index.htm"));
    EXPECT_EQ("(Loading...)", call_->Number().GetText());

    // Options reach the login form behind the window: "Update Now" starts its forced check.
    dialogs_.QueueScript([](plat::FakeDialog& d) { d.Click(1029); });
    call_->OnCommand(CMakeCall::kCmdMenu, 50);
    EXPECT_EQ(1, owner_.forcedUpdates);
}

TEST_F(SettingsPanelsTest, AMenuDialogLeavesThePanelOpenAndTheNextClickActsAgain) {
    // The dialog takes the pointer (the leave poll runs while it is open); the user closes it
    // and clicks the same row again without moving.
    Make();
    plat::FakeWindow& window = *windows_.Windows().back();
    CMakeCall::zel_SldMenu& menu = *call_->MenuPanel();
    menu.m_nState = zel_Slide::kOpen;
    menu.SetX(menu.OpenX());
    const plat::Rect rows = menu.m_List.m_Rows.GetRect().Offset(
        call_->Layout().rightX + menu.X() + menu.m_List.GetRect().left,
        menu.OwnRect().top + menu.m_List.GetRect().top);
    for (int row : {1, 3}) { // options, about
        SCOPED_TRACE(row);
        const plat::Point at{rows.left + 4, rows.top + menu.m_List.m_Rows.m_nRowHeight * row + 2};
        const size_t before = dialogs_.Ran().size();
        for (size_t click = 1; click <= 2; ++click) {
            dialogs_.QueueScript([&](plat::FakeDialog& d) {
                windows_.SetForeignWindowUnderCursor(true); // the pointer is over the dialog
                EXPECT_TRUE(window.FireTimer(CForm::kTimerMouseLeave));
                windows_.SetForeignWindowUnderCursor(false);
                d.Close();
            });
            clock_.Advance(1000);
            window.Click(at);
            EXPECT_EQ(dialogs_.Ran().size(), before + click);
            EXPECT_EQ(menu.m_nState, zel_Slide::kOpen);
        }
    }
}

TEST_F(SettingsPanelsTest, InOurSkinsFifteenOfTheWidestDigitsFitTheNumberDisplay) {
    InEachShippedSkin([this] {
        const zel_Label& number = call_->Number();
        int32_t widest = 0;
        for (char digit = '0'; digit <= '9'; ++digit) {
            widest = std::max(widest, number.m_pFont->Measure(std::string(15, digit)).cx);
        }
        EXPECT_LE(widest, number.m_nAreaWidth);
        EXPECT_LE(number.m_pFont->Height(), number.m_nAreaHeight);
    });
}

TEST_F(SettingsPanelsTest, InOurSkinsTheStripsCaptionsStandOutFromItsPanel) {
    // Brightness 0-1 of blue, green and red premultiplied by `alpha` (0-255).
    auto brightness = [](double b, double g, double r, double alpha) {
        return (0.114 * b + 0.587 * g + 0.299 * r) / alpha;
    };
    InEachShippedSkin([this, &brightness] {
        const CMakeCall::zel_SldSkins& panel = *call_->SkinsPanel();
        const zel_ImageList& strip = panel.m_Strip;
        const uint32_t c = strip.m_CaptionColor; // red in the low byte
        const uint8_t* behind =
            panel.m_Background.m_Bitmap.surface.Row(strip.m_AreaPos.y + strip.m_nAreaHeight / 2) +
            4 * (strip.m_AreaPos.x + 10);
        EXPECT_GE(brightness(c >> 16, (c >> 8) & 0xFF, c & 0xFF, 255) -
                      brightness(behind[0], behind[1], behind[2], behind[3]),
                  0.5);
    });
}

// The window's pixels, row by row, as composed now.
std::vector<uint32_t> Drawn(CMakeCall& call) {
    call.Invalidate();
    call.Compose();
    const plat::Surface& image = call.BackBuffer().surface;
    std::vector<uint32_t> pixels;
    for (int i = 0; i < image.Width() * image.Height(); ++i) {
        pixels.push_back(PixelAt(image, i % image.Width(), i / image.Width()));
    }
    return pixels;
}

TEST_F(SettingsPanelsTest, InOurSkinsAClosedPanelShowsOnlyItsTabBesideTheFaceAndTheTabsAreAlike) {
    InEachShippedSkin([this] {
        const struct {
            zel_Slide* panel;
            bool leftColumn; // its tab at its left edge
        } panels[] = {{call_->SkinsPanel(), true},
                      {call_->AudioPanel(), true},
                      {call_->ContactsPanel(), false},
                      {call_->HistoryPanel(), false},
                      {call_->MenuPanel(), false}};
        const std::vector<uint32_t> with = Drawn(*call_);
        for (const auto& p : panels) {
            p.panel->SetVisible(false);
        }
        const std::vector<uint32_t> without = Drawn(*call_);
        for (const auto& p : panels) {
            p.panel->SetVisible(true);
        }
        const CallLayout& layout = call_->Layout();
        auto differs = [&](int x, int y) {
            const size_t i = static_cast<size_t>(y * layout.width + x);
            return with[i] != without[i];
        };
        // Over the face, its corners and its edge columns included, the panels add nothing.
        int shown = 0;
        for (int y = 0; y < layout.height; ++y) {
            for (int x = layout.face.left; x < layout.face.right; ++x) {
                shown += differs(x, y) ? 1 : 0;
            }
        }
        EXPECT_EQ(0, shown);
        // Each tab starts in the first column beside the face, half-way down its panel; it is
        // rounded at its outer corner and as dark as the skins panel's below it.
        const uint32_t dark = PixelAt(panels[0].panel->m_Background.m_Bitmap.surface, 12, 16);
        for (const auto& p : panels) {
            const plat::Rect r = p.panel->GetRect();
            SCOPED_TRACE(r.top);
            EXPECT_TRUE(differs(p.leftColumn ? layout.face.left - 1 : layout.face.right,
                                (r.top + r.bottom) / 2));
            const plat::Surface& art = p.panel->m_Background.m_Bitmap.surface;
            EXPECT_EQ(0u, PixelAt(art, p.leftColumn ? 1 : art.Width() - 2, 1) >> 24);
            const uint32_t strip = PixelAt(art, p.leftColumn ? 12 : art.Width() - 12, 16);
            for (int shift : {0, 8, 16, 24}) {
                EXPECT_NEAR((dark >> shift) & 0xFF, (strip >> shift) & 0xFF, 2) << shift;
            }
        }
    });
}

} // namespace
