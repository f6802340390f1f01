// libFuzzer target: a skin module's bytes as the program's skin. What the program's skin load
// accepts (the header rule and the contents check) becomes the current skin, and the login form,
// the call window and its five panels are built from it on the fake window system, drawn, the
// panels slid open and shut, the mouse moved over every part, and everything destroyed. Any read
// outside a buffer, any use after free and any undefined behaviour (an overflowing sum of skin
// values) is a finding.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/call/CMakeCall.h"
#include "app/call/ContactsPanel.h"
#include "app/call/HistoryPanel.h"
#include "app/login/LoginForm.h"
#include "app/panels/zel_SldAudioSettings.h"
#include "app/panels/zel_SldMenu.h"
#include "app/panels/zel_SldSkins.h"
#include "app/phone/PhoneState.h"
#include "app/skinfiles/SkinFolder.h"
#include "app/strings/StringTable.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/res/ResourceModule.h"
#include "platform/store/Registry.h"
#include "platform/ui/VirtualKeys.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "skin/SkinResources.h"
#include "skin/zel_Label.h"

namespace {

// What the forms need around them for the whole run: a home and a registry of their own in a
// temporary directory, the fake window system and dialogs, a clock the harness moves.
struct Sandbox {
    std::string dir;
    std::unique_ptr<plat::Registry> registry;
    plat::FakeWindowSystem windows;
    plat::FakeDialogFactory dialogs;
    plat::FakeClock clock{1000};
    plat::ScopedClock scopedClock{clock};
    LoginForm::Services services;

    Sandbox() {
        char tmpl[] = "/tmp/qvskinfuzzXXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        setenv("QUORVEX_HOME", dir.c_str(), 1);
        registry = std::make_unique<plat::Registry>(dir + "/registry.sqlite3");
        plat::Registry::SetCurrentUserForTests(registry.get());
        g_FormAlpha = 255;
        g_PhoneState = PS_IDLE;
        zel_Label::SetStringLoader(LoadCString);
        services.update.downloadDir = dir;
        services.callWindow = [](LoginForm&, CallWindow**) { return nullptr; };
    }
};

// Slides a panel open and shut again, drawing the window midway through each move.
void SlidePanel(zel_Slide* panel, CMakeCall& window, Sandbox& box) {
    if (!panel) {
        return;
    }
    plat::FakeWindow* fake = box.windows.Windows().back();
    panel->OnMouseEnter(0);
    panel->OnLButtonDown(plat::kMkLButton, {1, 1});
    for (uint32_t step : {350u, 400u}) {
        box.clock.Advance(step);
        fake->FireTimer(CForm::kTimerAnimation);
        window.Compose();
    }
    panel->Close();
    box.clock.Advance(350);
    fake->FireTimer(CForm::kTimerAnimation);
    window.Compose();
    box.clock.Advance(400);
    fake->FireTimer(CForm::kTimerAnimation);
}

void BuildTheForms(const plat::ResourceModule& module, Sandbox& box) {
    LoginForm login(box.services);
    if (login.ApplySkin()) {
        login.Invalidate();
        login.Compose();
    }
    CMakeCall* window = new CMakeCall(login, login.PortTarget(), login.Sip(), nullptr);
    if (window->Make()) {
        window->Show();
        if (CMakeCall::zel_SldSkins* skins = window->SkinsPanel()) {
            zel_ImageList& strip = skins->m_Strip;
            strip.AddSkin(&module, true, g_UiFontFace);
            strip.OnMouseEnter(0);
            for (int x : {0, 40, 120, 300}) {
                strip.OnMouseMove(0, {x, 10});
            }
            strip.OnLButtonDown(plat::kMkLButton, {40, 10});
        }
        const std::vector<zel_Slide*> panels = {window->SkinsPanel(), window->AudioPanel(),
                                                window->MenuPanel(), window->HistoryPanel(),
                                                window->ContactsPanel()};
        for (zel_Slide* panel : panels) {
            SlidePanel(panel, *window, box);
        }
        // The pointer over the whole window, every part of it hit-tested and hovered.
        plat::FakeWindow* fake = box.windows.Windows().back();
        const CallLayout& layout = window->Layout();
        for (int y = 0; y < layout.height; y += 37) {
            for (int x = 0; x < layout.width; x += 41) {
                fake->MoveMouse({x, y});
            }
        }
        window->Invalidate();
        window->Compose();
    }
    window->Destroy();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Sandbox* box = new Sandbox; // the whole run; never torn down

    // The input's bytes stay as they are for the whole call: no copy is needed.
    plat::ResourceModule module;
    if (!module.LoadFromStaticBytes(data, size) ||
        CheckSkinHeader(&module) != SkinHeaderCheck::Accepted ||
        SkinFolder::CheckContents(module).verdict != SkinContents::Verdict::Accepted) {
        return 0;
    }
    g_SkinModule = &module;
    GetUiFontFace();
    BuildTheForms(module, *box);
    g_SkinModule = nullptr;
    g_UiFontFace = kFallbackFontFace;
    box->windows.MessageBoxes().Clear();
    return 0;
}
