#include "app/login/LoginForm.h"

#include "app/dialogs/CWizardKzn.h"
#include "app/login/CallWindowFactory.h"
#include "app/login/SelectUsbSoundDevices.h"
#include "app/phone/RememberedPassword.h"
#include "app/resources/BuiltInModule.h"
#include "app/settings/SetupDlg.h"
#include "app/skinfiles/SkinFiles.h"
#include "app/sound/PlaySound2.h"
#include "app/trace/TraceFile.h"
#include "media/api/RTPInterface.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"
#include "platform/ui/VirtualKeys.h"
#include "skin/SkinResources.h"

namespace {

constexpr char kProductName[] = "Quorvex";
constexpr size_t kMaxIniText = 24; // as much of LastUser and LastPass as is read
constexpr uint32_t kVkF2 = plat::kVkF1 + 1;

std::string QuorvexIniPath() {
    return plat::JoinPath(plat::ConfigDir(), "quorvex.ini");
}

} // namespace

LoginForm::LoginForm() : LoginForm(Services{}) {}

LoginForm::LoginForm(Services services)
    : CForm(kTemplateId), CMsgBox(this), m_Services(std::move(services)),
      m_Login(*this, m_Services.deployment, m_Services.stack, m_Services.resolver) {
    m_pPort = plat::MessagePort::Open([this](const plat::WindowMessage& message) {
        OnPostedMessage(message);
        Compose();
    });
    m_pUpdate = std::make_unique<UpdateClient>(*this, PortTarget(), m_Services.update);
    m_pUpdate->RemoveFinishedInstaller();
    g_nWaveOutDev = -1;
    g_nWaveInDev = -1;
    if (!m_Icon.LoadFromModule(ProgramModule(), kIconId)) {
        AppTrace("CUserLogin: sin icono");
    }
}

LoginForm::~LoginForm() {
    // The worker is told to stop and waited for before anything it may use goes, and only
    // then is the installer's path read.
    m_pUpdate->Stop();
    m_pUpdate->Join();
    m_pPort->Close();
    CUsbEventsDest::Close();
    m_pUpdate->StartInstallerIfReady();
    m_pUpdate.reset();
    // The call window goes with the SIP user agent (m_Login), before the form's window.
}

// --- start and end ---

bool LoginForm::OnInitDialog() {
    // The program cannot start without the media engine.
    SI_puedes_leer_esto_es marker;
    marker.Que_falta_compilar_el_tamsor_dll();

    CForm::OnInitDialog();
    if (plat::Window* window = GetWindow()) {
        window->SetTitle(kProductName);
        window->SetIcon(m_Icon.surface);
    }
    m_pTray = plat::CreateTrayIcon();
    if (!m_pTray->Add(m_Icon.surface, kProductName, PortTarget(), WM_TRAY_NOTIFY, 0)) {
        AppTrace("CUserLogin::OnInitDialog: !Shell_NotifyIcon");
    }
    StartPowerEvents();

    plat::IniFile ini(QuorvexIniPath());
    const int registerWizard = ini.GetInt("General", "RegisterWizard", 1);
    m_User.SetText(ini.GetString("General", "LastUser", "").substr(0, kMaxIniText));
    if (ini.GetInt("General", "remember_last_password", 1) != 0) {
        std::string stored = ini.GetString("General", "LastPass", "").substr(0, kMaxIniText);
        if (!stored.empty()) {
            m_Password.SetText(DecodeRememberedPassword(stored));
        }
    }

    LoadSkin();
    CForm::SetTimer(kTimerCaret, kCaretPeriodMs);
    ShowWindow(plat::kSwShowNormal);

    m_bHandsetName = true;
    SelectUsbSoundDevices(CUsbEventsDest::Open());
    m_pUpdate->StartUpdateThread(false);

    if (registerWizard != 0) {
        CWizardKzn wizard;
        if (wizard.DoModal(MessageBoxParent()) == plat::kIdOk &&
            !ini.WriteString("General", "RegisterWizard", "0")) {
            AppTrace("CUserLogin::OnInitDialog: no se pudo escribir quorvex.ini");
        }
    }
    CUsbEventsDest::SetTargetWindow(PortTarget());
    return true;
}

void LoginForm::OnDestroy() {
    m_pPower.reset();
    m_pSleep.reset();
    // The call window goes before the window it is owned by.
    if (CallWindow* window = m_Login.GetMakeCall()) {
        window->Destroy();
    }
    if (m_pTray) {
        m_pTray->Remove();
    }
    CloseSoundPlayers();
    m_pUpdate->Stop();
    // Nothing the worker or the handset sends any more reaches a form without its window.
    m_pPort->Close();
    CForm::OnDestroy();
}

void LoginForm::StartPowerEvents() {
    if (!m_Services.power) {
        return;
    }
    std::string error;
    m_pSleep = m_Services.power(
        [this](bool sleeping) {
            if (m_pPower) {
                m_pPower->OnSleepNotice(sleeping);
            }
        },
        &error);
    if (!m_pSleep) {
        AppTrace(("CUserLogin::OnInitDialog: sin eventos de energia: " + error).c_str());
        return;
    }
    m_pPower = std::make_unique<PowerEvents>(
        *m_pSleep, [this](unsigned event) { return m_Login.OnPowerBroadcast(event); });
}

// --- skin ---

void LoginForm::LoadSkin() {
    LoadSkinAtStart(*this, [this](int stringId) { ShowMessage(stringId, plat::kMbOk); });
}

bool LoginForm::ApplySkin() {
    GetUiFontFace();
    m_Font.Reset();
    if (!m_Font.Create(g_UiFontFace, GetSkinValue(kFontHeightValue), 700)) {
        AppTrace("CUserLogin::ApplySkin: !CreateFont");
    }
    if (!m_User.CreateFromSkin(this, kUserField, &m_Font) ||
        !m_Password.CreateFromSkin(this, kPasswordField, &m_Font)) {
        return false;
    }
    if (!m_Hide.CreateFromSkin(this, kCmdHide, 3) ||
        !m_Minimise.CreateFromSkin(this, kCmdMinimise, 3) ||
        !m_Exit.CreateFromSkin(this, kCmdExit, 3) || !m_LogIn.CreateFromSkin(this, kCmdLogIn, 3)) {
        return false;
    }
    if (!m_Background.CreateFromSkin(this, kBackground)) {
        return false;
    }
    return CreateBackBuffer(m_Background.m_Bitmap.width, m_Background.m_Bitmap.height);
}

void LoginForm::Show(int command) {
    ShowWindow(command);
}

// --- commands and keys ---

void LoginForm::OnCommand(uint16_t id, int32_t) {
    switch (id) {
    case kCmdMinimise:
        CloseWindow();
        break;
    case kCmdExit:
        OnCancel();
        break;
    case kCmdLogIn:
        m_Login.OnLoginCommand();
        break;
    case kCmdHide:
        // A hidden window comes back only through the tray icon: without a notification area
        // to hold the icon, the window is minimised instead.
        ShowWindow(IsTrayIconEmbedded() ? plat::kSwHide : plat::kSwMinimize);
        break;
    default:
        break;
    }
}

void LoginForm::OnOK() {
    OnCommand(kCmdLogIn, 0);
}

void LoginForm::OnCancel() {
    m_Login.OnCancel();
}

void LoginForm::OnKeyDown(uint32_t vk, uint32_t repeat, uint32_t flags) {
    // Enter needs nothing here: the form base turns it into OnOK, which logs in. Sending the
    // log-in command here as well would run it twice for one key (message 10 twice for an
    // empty user name).
    if (vk == kVkF2) {
        OnSettingsKey();
    }
    CForm::OnKeyDown(vk, repeat, flags);
}

SetupDlg::Links LoginForm::SettingsLinks() {
    SetupDlg::Links links;
    links.typedPassword = [this] { return m_Password.GetText(); };
    links.isUpdateRunning = [this] { return m_pUpdate->IsUpdateRunning(); };
    links.startForcedUpdate = [this] { m_pUpdate->StartUpdateThread(true); };
    return links;
}

void LoginForm::OnSettingsKey() {
    RunSettingsDialog(MessageBoxParent(), SettingsLinks(), PortTarget());
}

// --- timers and messages ---

void LoginForm::OnTimer(uint32_t id) {
    switch (id) {
    case kTimerHandsetClear:
        OnHandsetClearTimer();
        break;
    case UpdateClient::kTimerOffer:
    case UpdateClient::kTimerInstallerReady:
        m_pUpdate->OnTimer(id);
        break;
    default:
        m_Login.OnTimer(id);
        break;
    }
}

void LoginForm::OnPostedMessage(const plat::WindowMessage& message) {
    switch (message.message) {
    case CUsbEventsDest::WM_USB_EVENT:
        OnUsbEvent(static_cast<int>(message.wParam & 0xFF),
                   static_cast<int>(message.lParam & 0xFF));
        break;
    case WM_TRAY_NOTIFY:
        OnTrayNotify(message.wParam, message.lParam);
        break;
    default:
        m_pUpdate->OnWindowMessage(message);
        break;
    }
}

void LoginForm::OnTrayNotify(uintptr_t, intptr_t mouse) {
    if (mouse != plat::kWmLButtonDown) {
        return;
    }
    if (CallWindow* window = m_Login.GetMakeCall()) {
        window->BringToFront();
        return;
    }
    ShowWindow(plat::kSwShow);
    ShowWindow(plat::kSwRestore);
    SetForegroundWindow();
}

// --- handset ---

void LoginForm::OnUsbEvent(int type, int code) {
    ShowWindow(plat::kSwRestore);
    SetForegroundWindow();
    if (type == CUsbEventsDest::kEventKeyDown) {
        switch (code) {
        case kHandsetExit:
            OnCancel();
            break;
        case kHandsetClear:
            CForm::SetTimer(kTimerHandsetClear, kHandsetClearMs);
            break;
        case kHandsetLogIn:
            OnOK();
            break;
        case kHandsetPassword:
            m_Password.SetFocus();
            break;
        case kHandsetUser:
            m_User.SetFocus();
            break;
        default:
            break;
        }
    } else if (type == CUsbEventsDest::kEventKeyUp) {
        if (code == kHandsetClear) {
            CForm::KillTimer(kTimerHandsetClear);
            if (m_User.HasFocus()) {
                m_User.Backspace();
            }
        }
    } else if (type == CUsbEventsDest::kEventDigit && code >= kHandsetDigit0 &&
               code <= kHandsetDigit0 + 9) {
        zel_Edit* field = m_Password.HasFocus() ? static_cast<zel_Edit*>(&m_Password) : &m_User;
        if (!field->HasFocus()) {
            field->SetFocus();
        }
        field->InsertChar(static_cast<uint32_t>('0' + (code - kHandsetDigit0)));
        if (m_bHandsetName) {
            m_bHandsetName = false;
            CUsbEventsDest::ClearDisplay();
        }
    }
}

void LoginForm::OnHandsetClearTimer() {
    CForm::KillTimer(kTimerHandsetClear);
    if (m_Password.HasFocus()) {
        m_Password.SetText("");
        return;
    }
    if (!m_User.HasFocus()) {
        m_User.SetFocus();
    }
    m_User.SetText("");
    CUsbEventsDest::ClearDisplay();
}

// --- LoginView ---

std::string LoginForm::GetUserText() const {
    return m_User.GetText();
}

std::string LoginForm::GetPasswordText() const {
    return m_Password.GetText();
}

void LoginForm::EnableLoginControls(bool enable) {
    m_User.SetEnabled(enable);
    m_Password.SetEnabled(enable);
    m_LogIn.SetEnabled(enable);
}

void LoginForm::ShowForm() {
    ShowWindow(plat::kSwShow);
}

void LoginForm::HideForm() {
    ShowWindow(plat::kSwHide);
}

WindowRect LoginForm::GetFormRect() const {
    const plat::Rect r = CForm::GetWindowRect();
    return {r.left, r.top, r.right, r.bottom};
}

void LoginForm::BringToForeground() {
    SetForegroundWindow();
}

bool LoginForm::IsTrayIconEmbedded() const {
    return m_pTray && m_pTray->IsEmbedded();
}

void LoginForm::SetTimer(unsigned id, unsigned periodMs) {
    CForm::SetTimer(id, periodMs);
}

void LoginForm::KillTimer(unsigned id) {
    CForm::KillTimer(id);
}

void LoginForm::OnBaseTimer(unsigned id) {
    CForm::OnTimer(id);
}

const plat::MessageBoxOwner* LoginForm::BoxOwner(Owner owner) const {
    if (owner == Owner::CallWindow) {
        if (auto* window = dynamic_cast<const plat::MessageBoxOwner*>(m_Login.GetMakeCall())) {
            return window;
        }
    }
    return this;
}

int LoginForm::MessageBoxById(unsigned stringId, unsigned flags, Owner owner) {
    return CMsgBox(BoxOwner(owner)).ShowMessage(static_cast<int>(stringId), flags);
}

void LoginForm::EndDialog() {
    CForm::EndDialog(CForm::kIdCancel);
}

CallWindow* LoginForm::CreateCallWindow(CallWindow** slot) {
    if (m_Services.callWindow) {
        return m_Services.callWindow(*this, slot);
    }
    return MakeCallWindow(*this, m_Login, slot);
}

void LoginForm::SetHandsetEvents(bool on) {
    CUsbEventsDest::EnableEvents(on);
}

// --- UpdateHost ---

int LoginForm::ShowMessageText(const std::string& text, unsigned flags) {
    const plat::MessageBoxOwner* owner = BoxOwner(Owner::CallWindow);
    return plat::MessageBox(owner->MessageBoxParent(), text, kProductName, flags);
}

void LoginForm::EndProgramForUpdate() {
    if (m_Login.EndForUpdate()) {
        if (m_pTray) {
            m_pTray->Remove();
        }
        return;
    }
    HideForm();
    EndDialog();
}
