// The call window's settings panels: building the skins, audio and menu panels, and their
// commands: installing and switching skins, and the menu.
#include <algorithm>
#include <memory>
#include <string>

#include "app/call/CMakeCall.h"
#include "app/dialogs/CAbout2.h"
#include "app/dialogs/CAreaCodes.h"
#include "app/panels/SkinSwitcher.h"
#include "app/panels/zel_SldAudioSettings.h"
#include "app/panels/zel_SldMenu.h"
#include "app/panels/zel_SldSkins.h"
#include "app/phone/PhoneState.h"
#include "app/settings/SetupDlg.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/ui/dialog/Dialog.h"

namespace {

constexpr int kStrSelectSkin = 47;
constexpr int kMenuCountryCodes = 49;
constexpr int kMenuOptions = 50;
constexpr int kMenuHelp = 53;
constexpr int kMenuAbout = 54;
constexpr int kMenuBalance = 55;

// The panel held in `slot`, made the first time.
template <class Panel> Panel& PanelIn(std::unique_ptr<zel_Slide>& slot) {
    if (!slot) {
        slot = std::make_unique<Panel>();
    }
    return static_cast<Panel&>(*slot);
}

} // namespace

CMakeCall::zel_SldSkins* CMakeCall::SkinsPanel() const {
    return static_cast<zel_SldSkins*>(m_pSkinsPanel.get());
}

CMakeCall::zel_SldAudioSettings* CMakeCall::AudioPanel() const {
    return static_cast<zel_SldAudioSettings*>(m_pAudioPanel.get());
}

CMakeCall::zel_SldMenu* CMakeCall::MenuPanel() const {
    return static_cast<zel_SldMenu*>(m_pMenuPanel.get());
}

bool CMakeCall::BuildSettingsPanels() {
    if (!PanelIn<zel_SldSkins>(m_pSkinsPanel).Create(&m_LeftPanels)) {
        AppTrace("CMakeCall::ApplySkin: falta el panel ", zel_SldSkins::kPanel);
        return false;
    }
    if (!PanelIn<zel_SldAudioSettings>(m_pAudioPanel).Create(&m_LeftPanels, g_FormAlpha)) {
        AppTrace("CMakeCall::ApplySkin: falta el panel ", zel_SldAudioSettings::kPanel);
        return false;
    }
    if (!PanelIn<zel_SldMenu>(m_pMenuPanel).Create(&m_RightPanels)) {
        AppTrace("CMakeCall::ApplySkin: falta el panel ", zel_SldMenu::kPanel);
        return false;
    }
    return true;
}

bool CMakeCall::OnSettingsCommand(uint16_t id, int32_t value) {
    switch (id) {
    case kCmdInstallSkin:
        OnInstallSkin();
        return true;
    case kCmdUseSkin:
        // The selected preview: the built-in skin, another one, or none (nothing happens).
        value = SkinsPanel() ? SkinsPanel()->m_Strip.GetSelectedId() : -1;
        [[fallthrough]];
    case kCmdSkinStrip:
        if (value == 0) {
            RevertToBuiltInSkin();
        } else if (value > 0) {
            SwitchSkin(static_cast<uint32_t>(value));
        }
        return true;
    case kCmdMenu:
        OnMenuCommand(value);
        return true;
    default:
        return false;
    }
}

void CMakeCall::OnInstallSkin() {
    std::string title;
    LoadCString(kStrSelectSkin, title);
    const std::string file = plat::CurrentDialogFactory().GetOpenFileName(
        {title, "Quorvex Skins (*.zsk)", "*.zsk"}, MessageBoxParent());
    if (file.empty() || !SkinsPanel()) {
        return;
    }
    // The result is not shown: the strip shows the new skin when it took it.
    SkinsPanel()->InstallSkin(file);
    Compose();
}

namespace {

// The window and, behind it, the login form (it draws from the skin module too).
std::vector<SkinControl*> SkinnedForms(CMakeCall& window, CForm& owner) {
    std::vector<SkinControl*> forms = {&window};
    if (auto* login = dynamic_cast<SkinControl*>(&owner)) {
        forms.push_back(login);
    }
    return forms;
}

} // namespace

void CMakeCall::SwitchSkin(uint32_t id) {
    SkinSwitcher switcher(
        {SkinnedForms(*this, m_Owner),
         [this](bool shown) { ShowWindow(shown ? plat::kSwShow : plat::kSwHide); },
         [this](int stringId) { ShowMessage(stringId, plat::kMbOk); }});
    switcher.SwitchSkin(id);
    UpdateStatus();
}

void CMakeCall::RevertToBuiltInSkin() {
    SkinSwitcher switcher(
        {SkinnedForms(*this, m_Owner),
         [this](bool shown) { ShowWindow(shown ? plat::kSwShow : plat::kSwHide); },
         {}});
    switcher.RevertToBuiltInSkin();
    UpdateStatus();
}

void CMakeCall::OnMenuCommand(int32_t id) {
    switch (id) {
    case kMenuCountryCodes: {
        CAreaCodes codes;
        codes.DoModal(MessageBoxParent());
        break;
    }
    case kMenuOptions: {
        // The password field and the update client belong to the login form behind us.
        auto* source = dynamic_cast<SettingsLinkSource*>(&m_Owner);
        RunSettingsDialog(MessageBoxParent(), source ? source->SettingsLinks() : SetupDlg::Links{},
                          MessageTarget());
        break;
    }
    case kMenuHelp:
        ShowHelp();
        break;
    case kMenuAbout: {
        CAbout2 about(m_pCall->GetDialedNumber());
        about.DoModal(MessageBoxParent());
        break;
    }
    case kMenuBalance: {
        {
            plat::CriticalSectionLock guard(g_Balance.m_Lock);
            g_Balance.m_Text.clear();
        }
        m_pCall->ShowBalanceView(true);
        UpdateStatus();
        break;
    }
    default:
        break;
    }
}
