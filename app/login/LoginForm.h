#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/handset/CUsbEventsDest.h"
#include "app/layout/FormSkinIds.h"
#include "app/login/CUserLogin.h"
#include "app/login/PowerEvents.h"
#include "app/phone/DeploymentSettings.h"
#include "app/phone/LoginView.h"
#include "app/settings/SetupDlg.h"
#include "app/strings/CMsgBox.h"
#include "app/update/UpdateClient.h"
#include "app/update/UpdateHost.h"
#include "app/update/UpdateSettings.h"
#include "platform/desktop/LogindSleep.h"
#include "platform/ui/Font.h"
#include "platform/ui/MessagePort.h"
#include "platform/ui/TrayIcon.h"
#include "skin/CForm.h"
#include "skin/SkinControl.h"
#include "skin/zel_Bkgrd.h"
#include "skin/zel_Command.h"
#include "skin/zel_Edit.h"
#include "skin/zel_EditPass.h"

// The login form: the program's main window for its whole life. It asks for the account's
// user name (a phone number) and password, keeps the tray icon, owns the SIP user agent (the
// CUserLogin it hosts, to which it is the LoginView), the handset connection and the update
// client, runs the first-run wizard, and after the first successful registration hides behind
// the main call window. Ending its modal loop ends the program.
//
// Threads: the GUI thread only. The update worker and the handset driver reach the form only
// through messages posted to the form's own port (open from construction until its window is
// destroyed), so nothing they send arrives after WM_DESTROY.
class LoginForm final : public CForm,
                        public CUsbEventsDest,
                        public SkinControl,
                        public CMsgBox,
                        public LoginView,
                        public UpdateHost,
                        public SettingsLinkSource {
public:
    static constexpr unsigned kTemplateId = 153;

    // Skin ids (each button's id is also its command).
    static constexpr int kCmdMinimise = 100;
    static constexpr int kCmdExit = 101;
    static constexpr int kCmdLogIn = 102;
    static constexpr int kCmdHide = 103;
    static constexpr int kBackground = LoginFormIds::kBackground;
    static constexpr int kUserField = 106;
    static constexpr int kPasswordField = 107;
    static constexpr int kFontHeightValue = LoginFormIds::kFontHeightValue;
    // The program's icon (a bitmap of the program's own module).
    static constexpr int kIconId = 1;

    static constexpr uint32_t WM_TRAY_NOTIFY = 0x80C9;
    static constexpr unsigned kTimerHandsetClear = 1000;
    static constexpr unsigned kHandsetClearMs = 1000;

    // Handset keys the form handles.
    static constexpr int kHandsetExit = 4;
    static constexpr int kHandsetClear = 20;
    static constexpr int kHandsetLogIn = 35;
    static constexpr int kHandsetPassword = 36;
    static constexpr int kHandsetUser = 51;
    static constexpr int kHandsetDigit0 = 128; // to 137 for '9'

    // Builds the main call window over the form; it clears *slot when it is destroyed.
    using CallWindowFactory = std::function<CallWindow*(LoginForm& form, CallWindow** slot)>;
    // Connects to the desktop's sleep notices (`onSleep` on the GUI thread) and inhibitors;
    // null, with the reason, when there are none.
    using PowerSource = std::function<std::unique_ptr<plat::SleepInhibitor>(
        std::function<void(bool sleeping)> onSleep, std::string* error)>;

    // What the form works with; the defaults are the program's own.
    struct Services {
        DeploymentSettings deployment = DeploymentSettings::Load();
        CUserLogin::StackFactory stack = sipua::MakeLibreSipStack;
        CUserLogin::HostResolver resolver = CUserLogin::ResolveHost;
        UpdateSettings update = UpdateSettings::Load();
        CallWindowFactory callWindow;                   // empty: the program's call window
        PowerSource power = plat::LogindSleep::Connect; // empty: no power events
    };

    LoginForm();
    explicit LoginForm(Services services);
    ~LoginForm() override;
    LoginForm(const LoginForm&) = delete;
    LoginForm& operator=(const LoginForm&) = delete;

    // CForm
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    void OnKeyDown(uint32_t vk, uint32_t repeat, uint32_t flags) override;
    void OnTimer(uint32_t id) override;
    void OnCommand(uint16_t id, int32_t value) override;
    void OnPostedMessage(const plat::WindowMessage& message) override;

    // SkinControl
    bool ApplySkin() override;
    void Show(int command) override;

    // The skin load at start.
    void LoadSkin();
    // Handset events while the form is the handset's target (type and key code).
    void OnUsbEvent(int type, int code);
    // The tray icon's mouse messages.
    void OnTrayNotify(uintptr_t id, intptr_t mouse);

    // LoginView
    std::string GetUserText() const override;
    std::string GetPasswordText() const override;
    void EnableLoginControls(bool enable) override;
    void ShowForm() override;
    void HideForm() override;
    WindowRect GetFormRect() const override;
    void BringToForeground() override;
    bool IsTrayIconEmbedded() const override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;
    void OnBaseTimer(unsigned id) override;
    int MessageBoxById(unsigned stringId, unsigned flags, Owner owner) override;
    void EndDialog() override;
    CallWindow* CreateCallWindow(CallWindow** slot) override;
    void SetHandsetEvents(bool on) override;

    // UpdateHost
    int ShowMessageText(const std::string& text, unsigned flags) override;
    void EndProgramForUpdate() override;

    // The SIP user agent, the update client and the parts tests look at.
    CUserLogin& Sip() { return m_Login; }
    UpdateClient& Update() { return *m_pUpdate; }
    zel_Edit& UserField() { return m_User; }
    zel_EditPass& PasswordField() { return m_Password; }
    zel_Command& LogInButton() { return m_LogIn; }
    plat::TrayIcon* Tray() const { return m_pTray.get(); }
    plat::PostTarget PortTarget() const { return plat::PostTarget(m_pPort); }
    bool HandsetNameShown() const { return m_bHandsetName; }
    SetupDlg::Links SettingsLinks() override;

private:
    // F2: the settings dialog, then the handset back to the form.
    void OnSettingsKey();
    void OnHandsetClearTimer();
    // The power events, when the desktop has them (else one trace line).
    void StartPowerEvents();
    // The call window's message-box owner when there is one and it is asked for.
    const plat::MessageBoxOwner* BoxOwner(Owner owner) const;

    Services m_Services;
    zel_Edit m_User;
    zel_EditPass m_Password;
    zel_Command m_Hide;
    zel_Command m_Exit;
    zel_Command m_Minimise;
    zel_Command m_LogIn;
    zel_Bkgrd m_Background;
    plat::Font m_Font;
    zel_Bitmap m_Icon;
    bool m_bHandsetName = false;
    std::unique_ptr<plat::TrayIcon> m_pTray;
    std::shared_ptr<plat::MessagePort> m_pPort;
    std::unique_ptr<UpdateClient> m_pUpdate;
    CUserLogin m_Login;
    // After the SIP user agent, so they go before it: the events first, then the inhibitors.
    std::unique_ptr<plat::SleepInhibitor> m_pSleep;
    std::unique_ptr<PowerEvents> m_pPower;
};
