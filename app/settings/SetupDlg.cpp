#include "app/settings/SetupDlg.h"

#include "app/dialogs/AudioWizard.h"
#include "app/phone/PhoneState.h"
#include "app/settings/StoreLastPass.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/core/ModuleVersion.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"
#include "platform/store/Registry.h"

namespace {

constexpr char kQuorvexKey[] = "SOFTWARE\\Quorvex";
constexpr char kUseOutboundValue[] = "use_outbound";
constexpr char kFrameSizeValue[] = "frame_size";
constexpr uint32_t kDefaultFrameSize = 1;
constexpr uint32_t kMaxFrameSize = 2;

constexpr int kTitleString = 147;
constexpr int kOkString = 1;
constexpr int kCancelString = 2;
// The frame sizes, in index order: 20, 40 and 80 ms.
constexpr int kFrameSizeStrings[] = {159, 160, 161}; // "LOW", "MEDIUM", "HIGH"

struct ControlText {
    int control;
    int string;
};
constexpr ControlText kTexts[] = {
    {SetupDlg::kStartWithDesktop, 144}, {SetupDlg::kRememberPassword, 143},
    {SetupDlg::kUseOutbound, 153},      {SetupDlg::kBandwidthLabel, 158},
    {SetupDlg::kRunAudioWizard, 142},   {SetupDlg::kUpdateNow, 156},
    {plat::kIdOk, kOkString},           {plat::kIdCancel, kCancelString},
};

plat::DialogTemplate Template() {
    using plat::ControlKind;
    plat::DialogTemplate t;
    t.width = 380;
    t.height = 236;
    t.controls = {
        {ControlKind::CheckBox, SetupDlg::kStartWithDesktop, "", 12, 12, 356, 24},
        {ControlKind::CheckBox, SetupDlg::kRememberPassword, "", 12, 40, 356, 24},
        {ControlKind::CheckBox, SetupDlg::kUseOutbound, "", 12, 68, 356, 24},
        {ControlKind::Label, SetupDlg::kBandwidthLabel, "", 12, 108, 170, 24},
        {ControlKind::ComboBox, SetupDlg::kFrameSize, "", 188, 102, 180, 30},
        {ControlKind::Button, SetupDlg::kRunAudioWizard, "", 12, 146, 170, 28},
        {ControlKind::Button, SetupDlg::kUpdateNow, "", 198, 146, 170, 28},
        {ControlKind::Button, plat::kIdOk, "", 198, 196, 80, 28, 0, true},
        {ControlKind::Button, plat::kIdCancel, "", 288, 196, 80, 28},
    };
    return t;
}

std::string LoadText(int id) {
    std::string text;
    LoadCString(id, text);
    return text;
}

// A DWORD value of the program's key; false when it is missing or of another type or size.
bool ReadDword(plat::Registry& registry, plat::Registry::Key key, const char* name,
               uint32_t* value) {
    uint32_t type = 0;
    uint32_t size = sizeof(*value);
    return registry.QueryValue(key, name, &type, value, &size) == plat::kErrorSuccess &&
           type == plat::kRegDword && size == sizeof(*value);
}

// The frame size can change only while no call and no log-in is under way.
bool FrameSizeMayChange() {
    return g_PhoneState == PS_IDLE || g_PhoneState == PS_ENTERING_NUMBER;
}

bool WizardMayRun() {
    return g_PhoneState == PS_LOGGED_OUT || g_PhoneState == PS_IDLE ||
           g_PhoneState == PS_ENTERING_NUMBER;
}

} // namespace

SetupDlg::SetupDlg(Links links, plat::AutostartEntry autostart, std::string programPath)
    : CMsgBox(this), links_(std::move(links)), autostart_(std::move(autostart)),
      programPath_(programPath.empty() ? plat::ExecutablePath() : std::move(programPath)),
      settingsIni_(plat::JoinPath(plat::ConfigDir(), "quorvex.ini")) {}

SetupDlg::~SetupDlg() {
    if (port_) {
        port_->Close();
    }
}

int SetupDlg::DoModal(plat::NativeWindow owner) {
    return plat::CurrentDialogFactory().RunModal(Template(), *this, owner);
}

plat::NativeWindow SetupDlg::MessageBoxParent() const {
    return dialog_ != nullptr ? dialog_->Native() : nullptr;
}

void SetupDlg::OnInitDialog(plat::Dialog& dialog) {
    dialog_ = &dialog;
    dialog.SetTitle(LoadText(kTitleString));
    for (const ControlText& t : kTexts) {
        dialog.SetText(t.control, LoadText(t.string));
    }

    dialog.SetCheck(kStartWithDesktop, autostart_.StartsProgram(programPath_));

    plat::IniFile ini(settingsIni_);
    dialog.SetCheck(kRememberPassword, ini.GetInt("General", "remember_last_password", 1) != 0);

    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    uint32_t useOutbound = 1;
    frameSize_ = kDefaultFrameSize;
    if (registry.CreateKey(kQuorvexKey, &key) == plat::kErrorSuccess) {
        if (!ReadDword(registry, key, kUseOutboundValue, &useOutbound)) {
            useOutbound = 1;
        }
        if (!ReadDword(registry, key, kFrameSizeValue, &frameSize_) || frameSize_ > kMaxFrameSize) {
            frameSize_ = kDefaultFrameSize;
        }
    } else {
        AppTrace("SetupDlg::OnInitDialog: no se pudo abrir SOFTWARE\\Quorvex");
    }
    dialog.SetCheck(kUseOutbound, useOutbound != 0);

    dialog.Enable(kFrameSize, FrameSizeMayChange());
    for (int string : kFrameSizeStrings) {
        dialog.AddItem(kFrameSize, LoadText(string));
    }
    dialog.SetSelection(kFrameSize, static_cast<int>(frameSize_));

    port_ = plat::MessagePort::Open([this](const plat::WindowMessage& message) {
        if (message.message == WM_USB_EVENT && dialog_ != nullptr) {
            OnUsbEvent(*dialog_, static_cast<uint32_t>(message.wParam & 0xFF),
                       static_cast<uint32_t>(message.lParam & 0xFF));
        }
    });
    TakeHandset();
}

void SetupDlg::TakeHandset() {
    SetTargetWindow(plat::PostTarget(port_));
}

void SetupDlg::OnCommand(plat::Dialog& dialog, int id, int notification) {
    if (notification == plat::kBnClicked) {
        switch (id) {
        case kRunAudioWizard:
            OnRunAudioWizard(dialog);
            return;
        case kUseOutbound:
            OnNeedsRestart();
            return;
        case kUpdateNow:
            OnUpdateNow(dialog);
            return;
        default:
            break;
        }
    }
    DialogHandler::OnCommand(dialog, id, notification);
}

void SetupDlg::OnOK(plat::Dialog& dialog) {
    if (dialog.GetCheck(kStartWithDesktop)) {
        if (!autostart_.Write(programPath_)) {
            AppTrace(("SetupDlg::OnOK: no se pudo escribir " + autostart_.Path()).c_str());
        }
    } else if (!autostart_.Remove()) { // whatever copy of the program it starts
        AppTrace(("SetupDlg::OnOK: no se pudo borrar " + autostart_.Path()).c_str());
    }

    plat::IniFile ini(settingsIni_);
    bool remember = dialog.GetCheck(kRememberPassword);
    bool ok = ini.WriteString("General", "remember_last_password", remember ? "1" : "0");
    if (!remember) {
        ok = ForgetLastPass(ini) && ok;
    } else if (links_.typedPassword) {
        ok = StoreLastPass(ini, links_.typedPassword()) && ok;
    }
    if (!ok) {
        AppTrace("SetupDlg::OnOK: no se pudo escribir quorvex.ini");
    }

    int selected = dialog.Selection(kFrameSize);
    uint32_t frameSize = selected >= 0 ? static_cast<uint32_t>(selected) : frameSize_;
    uint32_t useOutbound = dialog.GetCheck(kUseOutbound) ? 1 : 0;
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    long result = registry.CreateKey(kQuorvexKey, &key);
    if (result == plat::kErrorSuccess) {
        // Both values or neither.
        plat::Registry::Transaction transaction(registry);
        result = registry.SetValue(key, kUseOutboundValue, plat::kRegDword, &useOutbound,
                                   sizeof(useOutbound));
        if (result == plat::kErrorSuccess) {
            result = registry.SetValue(key, kFrameSizeValue, plat::kRegDword, &frameSize,
                                       sizeof(frameSize));
        }
        if (result == plat::kErrorSuccess) {
            result = transaction.Commit();
        }
    }
    if (result != plat::kErrorSuccess) {
        AppTrace("SetupDlg::OnOK: no se pudo escribir SOFTWARE\\Quorvex, error=", result);
    }
    dialog.EndDialog(plat::kIdOk);
}

void SetupDlg::OnDestroy(plat::Dialog&) {
    if (port_) {
        port_->Close();
        port_.reset();
    }
    dialog_ = nullptr;
}

void SetupDlg::OnRunAudioWizard(plat::Dialog& dialog) {
    if (!WizardMayRun()) {
        ShowMessage(kMsgNoWizardNow, plat::kMbOk);
        return;
    }
    AudioWizard wizard;
    wizard.DoModal(dialog.Native());
    TakeHandset(); // the wizard closed and reopened the handset, which forgets the target
}

void SetupDlg::OnNeedsRestart() {
    ShowMessage(kMsgNeedsRestart, plat::kMbOk);
}

void SetupDlg::OnUpdateNow(plat::Dialog& dialog) {
    if (links_.isUpdateRunning && links_.isUpdateRunning()) {
        ShowMessage(kMsgDownloadRunning, plat::kMbIconStop);
        return;
    }
    if (links_.startForcedUpdate) {
        links_.startForcedUpdate();
    } else {
        AppTrace("SetupDlg: no hay cliente de actualizaciones");
    }
    dialog.EndDialog(plat::kIdCancel);
}

void SetupDlg::OnUsbEvent(plat::Dialog& dialog, uint32_t type, uint32_t key) {
    dialog.Present();
    dialog.SetTopmost(true);
    if (type == kEventKeyDown && key == 4) {
        OnCancel(dialog);
    }
}

int RunSettingsDialog(plat::NativeWindow owner, const SetupDlg::Links& links,
                      const plat::PostTarget& handsetTarget) {
    int result;
    {
        SetupDlg dialog(links);
        result = dialog.DoModal(owner);
    }
    CUsbEventsDest::SetTargetWindow(handsetTarget);
    return result;
}
