#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/handset/CUsbEventsDest.h"
#include "app/strings/CMsgBox.h"
#include "platform/desktop/AutostartEntry.h"
#include "platform/ui/MessagePort.h"
#include "platform/ui/dialog/Dialog.h"

// The options dialog: start with the desktop (the autostart entry: checked when it starts this
// copy of the program; OK unchecked removes it, whatever copy it starts), remember the last
// password (quorvex.ini), use the outbound proxy and the transmit frame size (the program's
// registry key), and two buttons that run the audio wizard or an update check at once. Nothing
// is written before OK; Cancel, the handset's key 4 and "Update Now" keep every setting.
// While it runs the dialog is the handset's target window; its caller takes the handset back
// afterwards (RunSettingsDialog does).
// GUI thread only.
class SetupDlg final : public plat::DialogHandler,
                       public CUsbEventsDest,
                       public CMsgBox,
                       private plat::MessageBoxOwner {
public:
    static constexpr int kBandwidthLabel = 1020;
    static constexpr int kStartWithDesktop = 1022;
    static constexpr int kRememberPassword = 1023;
    static constexpr int kRunAudioWizard = 1025;
    static constexpr int kUseOutbound = 1028;
    static constexpr int kUpdateNow = 1029;
    static constexpr int kFrameSize = 1034;

    static constexpr int kMsgNeedsRestart = 154;
    static constexpr int kMsgNoWizardNow = 155;
    static constexpr int kMsgDownloadRunning = 157;

    // What the dialog needs of the login form; an empty function stands for a missing part.
    struct Links {
        // The text of the login form's password field as it is now (read at OK).
        std::function<std::string()> typedPassword;
        // The login form's update client: whether a check or download is under way, and a
        // forced check.
        std::function<bool()> isUpdateRunning;
        std::function<void()> startForcedUpdate;
    };

    // `autostart`: the entry to edit (the desktop's own by default); `programPath`: this program
    // (the running executable when empty).
    explicit SetupDlg(Links links, plat::AutostartEntry autostart = plat::AutostartEntry(),
                      std::string programPath = {});
    ~SetupDlg();
    SetupDlg(const SetupDlg&) = delete;
    SetupDlg& operator=(const SetupDlg&) = delete;

    int DoModal(plat::NativeWindow owner);

    void OnInitDialog(plat::Dialog& dialog) override;
    void OnCommand(plat::Dialog& dialog, int id, int notification) override;
    void OnOK(plat::Dialog& dialog) override;
    void OnDestroy(plat::Dialog& dialog) override;
    // A handset event while the dialog is the target (the low bytes of type and key count).
    void OnUsbEvent(plat::Dialog& dialog, uint32_t type, uint32_t key);

private:
    void OnRunAudioWizard(plat::Dialog& dialog);
    void OnNeedsRestart();
    void OnUpdateNow(plat::Dialog& dialog);
    void TakeHandset();
    plat::NativeWindow MessageBoxParent() const override;

    Links links_;
    plat::AutostartEntry autostart_;
    std::string programPath_;
    std::string settingsIni_;        // quorvex.ini
    uint32_t frameSize_ = 1;         // as read when the dialog opened
    plat::Dialog* dialog_ = nullptr; // while the dialog runs
    std::shared_ptr<plat::MessagePort> port_;
};

// The window that holds what the dialog links to (the login form). The call window finds it
// behind itself, so the menu's Options reach the same password field and update client as F2.
class SettingsLinkSource {
public:
    virtual ~SettingsLinkSource() = default;
    virtual SetupDlg::Links SettingsLinks() = 0;
};

// F2 on the login form and the menu's Options: runs the settings dialog over `owner`, then
// makes `handsetTarget` (the caller's window) the handset's target again. The dialog's result.
int RunSettingsDialog(plat::NativeWindow owner, const SetupDlg::Links& links,
                      const plat::PostTarget& handsetTarget);
