// The call window: its making and ending, its skin build and layout, its commands, timers and
// messages, the status line and the low-balance warning, help and the forward page.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "app/call/CMakeCall.h"
#include "app/call/FormatOneNumber.h"
#include "app/dialogs/DeploymentPages.h"
#include "app/phone/PhoneState.h"
#include "app/resources/BuiltInModule.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/core/ModuleVersion.h"
#include "platform/core/Paths.h"
#include "platform/desktop/Shell.h"
#include "platform/store/Registry.h"
#include "platform/ui/VirtualKeys.h"
#include "skin/SkinResources.h"

namespace {

constexpr int kIconId = 1;
constexpr int kStrRecharge = 57;
constexpr char kRechargeCaption[] = "QUORVex";
constexpr uint32_t kVkF1 = 0x70;
constexpr int32_t kMinAlpha = 120;

std::string StringById(int id) {
    std::string text;
    LoadCString(id, text);
    return text;
}

} // namespace

std::string ForwardPageUrl(const std::string& site) {
    std::string url = site.find("://") == std::string::npos ? "http://" + site : site;
    if (url.back() != '/') {
        url += '/';
    }
    return url + "kzn/index.php";
}

CMakeCall::CMakeCall(CForm& owner, plat::PostTarget ownerPort, LoginLink& login, CallWindow** slot,
                     CallLogic::MediaFactory media)
    : CForm(kTemplateId), CMsgBox(this), m_Owner(owner), m_OwnerPort(std::move(ownerPort)),
      m_Login(login), m_pSlot(slot) {
    m_pCall = std::make_unique<CallLogic>(CallLogic::Services{.view = *this,
                                                              .sounds = m_Sounds,
                                                              .handset = m_Handset,
                                                              .history = m_History,
                                                              .login = m_Login,
                                                              .media = std::move(media),
                                                              .programDir = {},
                                                              .rtpPortSockets = {}});
}

CMakeCall::~CMakeCall() {
    // The call logic ends its media (and its notifier) and stops being the session handler
    // while the window it reports to still exists.
    m_pCall.reset();
    DestroyWindow();
}

bool CMakeCall::Make() {
    return Create(&m_Owner);
}

// --- start and end ---

bool CMakeCall::OnInitDialog() {
    CForm::OnInitDialog();
    if (plat::Window* window = GetWindow()) {
        window->SetTitle(kProductName);
        if (m_Icon.LoadFromModule(ProgramModule(), kIconId)) {
            window->SetIcon(m_Icon.surface);
        }
    }
    m_bSkinBuilt = ApplySkin();
    if (!m_bSkinBuilt) {
        AppTrace("CMakeCall::OnInitDialog: !ApplySkin");
    }
    UpdateStatus();
    CUsbEventsDest::SetTargetWindow(MessageTarget());
    g_Balance.SetNotifyWindow(MessageTarget());
    return true;
}

void CMakeCall::OnDestroy() {
    // The handset goes back to the login form; nothing more is posted to this window.
    CUsbEventsDest::SetTargetWindow(m_OwnerPort);
    g_Balance.SetNotifyWindow({});
    m_CaptionFont.Reset();
    m_NumberFont.Reset();
    m_UserNameFont.Reset();
    CForm::OnDestroy();
}

// --- skin ---

bool CMakeCall::LoadFaceControls() {
    std::vector<std::pair<zel_Command*, int>> buttons = {
        {&m_Close, kCmdClose}, {&m_Minimise, kCmdMinimise}, {&m_Hide, kCmdHide}};
    for (int digit = 9; digit >= 0; --digit) {
        buttons.emplace_back(&m_Keys[digit], kCmdKey0 + digit);
    }
    buttons.insert(buttons.end(), {{&m_Keys[10], kCmdKeyHash},
                                   {&m_Keys[11], kCmdKeyStar},
                                   {&m_Talk, kCmdTalk},
                                   {&m_HangUpKey, kCmdHangUp},
                                   {&m_Backspace, kCmdBackspace},
                                   {&m_ForwardPage, kCmdForwardPage}});
    for (const auto& [button, id] : buttons) {
        // A skin without the button's picture keeps none of the previous skin's.
        button->m_Bitmap.Free();
        button->CreateFromSkin(&m_FaceArea, id, 3);
        if (!button->m_pPos || button->m_Bitmap.width <= 0) {
            AppTrace("CMakeCall::ApplySkin: falta el boton ", id);
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (!m_Lights[i].CreateFromSkin(&m_FaceArea, kFirstLight + i)) {
            AppTrace("CMakeCall::ApplySkin: falta el indicador ", kFirstLight + i);
            return false;
        }
    }
    if (!m_Warning.CreateFromSkin(&m_FaceArea, kWarning)) {
        AppTrace("CMakeCall::ApplySkin: falta el aviso ", kWarning);
        return false;
    }
    return true;
}

bool CMakeCall::LoadLabels() {
    m_CaptionFont.Reset();
    m_NumberFont.Reset();
    m_UserNameFont.Reset();
    if (!m_CaptionFont.Create(g_UiFontFace, GetSkinValue(kCaptionHeightValue), 700) ||
        !m_NumberFont.Create(g_UiFontFace, GetSkinValue(kNumberHeightValue), 600) ||
        !m_UserNameFont.Create(g_UiFontFace, GetSkinValue(kUserNameHeightValue), 700)) {
        AppTrace("CMakeCall::ApplySkin: !CreateFont");
    }
    m_UserName.m_nFormat = plat::kDtCenter;
    m_Caption.m_nFormat = plat::kDtLeft;
    m_Number.m_nFormat = plat::kDtRight;
    if (!m_UserName.CreateFromSkin(&m_FaceArea, kUserNameLabel, &m_UserNameFont) ||
        !m_Caption.CreateFromSkin(&m_FaceArea, kCaptionLabel, &m_CaptionFont) ||
        !m_Number.CreateFromSkin(&m_FaceArea, kNumberLabel, &m_NumberFont)) {
        AppTrace("CMakeCall::ApplySkin: area de texto no valida");
        return false;
    }
    m_UserName.SetText(m_Login.GetUserName());
    m_UserName.SetEnabled(false);
    m_Caption.SetEnabled(false);
    m_Number.SetEnabled(false);
    return true;
}

bool CMakeCall::ApplySkin() {
    // 1. The face's buttons, lights and warning.
    if (!LoadFaceControls()) {
        return false;
    }
    // 2. The warning hidden, the lights as the media stand, the skin's font face.
    ShowWarning(false);
    m_pCall->UpdateQualityMeter();
    GetUiFontFace();
    // 3. The fonts and the status line.
    if (!LoadLabels()) {
        return false;
    }
    // 4. The face, then the panels.
    if (!m_Face.CreateFromSkin(&m_FaceArea, kFace)) {
        AppTrace("CMakeCall::ApplySkin: falta el fondo ", kFace);
        return false;
    }
    m_Face.SetEnabled(false);
    if (!BuildPanels()) {
        return false;
    }
    // 5. The layout.
    return PlacePanels();
}

int32_t CMakeCall::PanelWidth(const zel_Slide* panel) {
    return panel ? panel->m_Background.m_Bitmap.width : 0;
}

bool CMakeCall::PlacePanels() {
    CallLayoutInput in;
    in.faceWidth = m_Face.m_Bitmap.width;
    in.faceHeight = m_Face.m_Bitmap.height;
    in.leftPanels = {PanelWidth(m_pSkinsPanel.get()), PanelWidth(m_pAudioPanel.get())};
    in.rightPanels = {PanelWidth(m_pContactsPanel.get()), PanelWidth(m_pHistoryPanel.get()),
                      PanelWidth(m_pMenuPanel.get())};
    in.faceOverlap = GetSkinValue(kFaceOverlapValue);
    in.rightStart = GetSkinValue(kRightPanelsValue);
    CallLayout layout;
    if (!ComputeCallLayout(in, &layout)) {
        AppTrace("CMakeCall::ApplySkin: medidas de la ventana no validas, ancho de la cara ",
                 in.faceWidth);
        return false;
    }
    m_Layout = layout;
    m_LeftClip = {layout.leftClip};
    m_RightClip = {layout.rightClip};
    // The face first: it is drawn over the panels, which slide out from behind it.
    m_FaceArea.Create(this, layout.faceX, 0, in.faceWidth, layout.height);
    m_LeftPanels.Create(this, 0, 0, layout.left, layout.height);
    m_RightPanels.Create(this, layout.rightX, 0, layout.width - in.rightStart, layout.height);
    for (zel_Slide* panel : {m_pSkinsPanel.get(), m_pAudioPanel.get()}) {
        if (panel) {
            panel->m_pClip = &m_LeftClip;
            if (panel->m_nState != zel_Slide::kOpen) {
                panel->SetX(panel->ClosedX());
            }
            panel->AnchorOpen();
        }
    }
    for (zel_Slide* panel : {m_pContactsPanel.get(), m_pHistoryPanel.get(), m_pMenuPanel.get()}) {
        if (panel) {
            panel->m_pClip = &m_RightClip;
            panel->AnchorOpen();
        }
    }
    return CreateBackBuffer(layout.width, layout.height);
}

void CMakeCall::Show(int command) {
    ShowWindow(command);
}

// --- CallWindow ---

WindowRect CMakeCall::GetWindowRect() const {
    const plat::Rect r = CForm::GetWindowRect();
    return {r.left, r.top, r.right, r.bottom};
}

void CMakeCall::MoveTo(int x, int y) {
    MoveWindow(x, y);
}

void CMakeCall::Show() {
    ShowWindow(plat::kSwShow);
}

void CMakeCall::Hide() {
    ShowWindow(plat::kSwHide);
}

void CMakeCall::BringToFront() {
    ShowWindow(plat::kSwShow);
    ShowWindow(plat::kSwRestore);
    SetForegroundWindow();
}

void CMakeCall::HangUp(bool user) {
    m_pCall->HangUp(user);
}

intptr_t CMakeCall::PowerBroadcast(unsigned event) {
    // A suspend destroys this window before the answer comes back: nothing of it is used after.
    return m_pCall->OnPowerBroadcast(event).value_or(0);
}

void CMakeCall::Destroy() {
    if (m_pSlot && *m_pSlot == this) {
        *m_pSlot = nullptr;
    }
    delete this;
}

// --- CallView ---

void CMakeCall::UpdateStatus() {
    std::optional<CallLogic::StatusText> status = m_pCall->ComposeStatus(g_Balance.Read());
    if (status) {
        if (status->caption != CallLogic::kKeepCaption) {
            m_Caption.SetText(status->caption == CallLogic::kNoCaption
                                  ? std::string()
                                  : StringById(status->caption));
        }
        m_Number.SetText(status->displayId ? StringById(status->displayId) : status->display);
    }
    // SIP events arrive in the login form's poll, not in a message of this window: show the
    // change now.
    Compose();
}

void CMakeCall::SetNumberDisplay(const std::string& text) {
    m_Number.SetText(text);
    Compose();
}

void CMakeCall::SetStatusCaption(const std::string& text) {
    m_Caption.SetText(text);
    Compose();
}

void CMakeCall::SetQualityLights(bool first, bool second, bool third, bool fourth) {
    const bool on[] = {first, second, third, fourth};
    for (int i = 0; i < 4; ++i) {
        m_Lights[i].SetVisible(on[i]);
    }
    Compose();
}

zel_Command* CMakeCall::ButtonById(int id) {
    if (id >= kCmdKey0 && id <= kCmdKeyStar) {
        return &m_Keys[id - kCmdKey0];
    }
    switch (id) {
    case kCmdClose:
        return &m_Close;
    case kCmdMinimise:
        return &m_Minimise;
    case kCmdHide:
        return &m_Hide;
    case kCmdBackspace:
        return &m_Backspace;
    case kCmdHangUp:
        return &m_HangUpKey;
    case kCmdTalk:
        return &m_Talk;
    case kCmdForwardPage:
        return &m_ForwardPage;
    default:
        return nullptr;
    }
}

const zel_Command& CMakeCall::Button(int id) const {
    return *const_cast<CMakeCall*>(this)->ButtonById(id);
}

void CMakeCall::FlashButton(unsigned id) {
    if (zel_Command* button = ButtonById(static_cast<int>(id))) {
        button->Flash();
    }
}

void CMakeCall::SetTimer(unsigned id, unsigned periodMs) {
    CForm::SetTimer(id, periodMs);
}

void CMakeCall::KillTimer(unsigned id) {
    CForm::KillTimer(id);
    if (id == kTimerRing && m_bRingLit) {
        m_bRingLit = false;
        m_Talk.SetLit(false);
        Compose();
    }
}

void CMakeCall::RaiseWindow() {
    ShowWindow(plat::kSwShowNormal);
    ShowWindow(plat::kSwRestore);
    if (plat::Window* window = GetWindow()) {
        window->SetTopmost(true);
    }
    SetForegroundWindow();
}

void CMakeCall::HideWindow() {
    ShowWindow(plat::kSwHide);
}

plat::PostTarget CMakeCall::MessageTarget() const {
    return GetPostTarget();
}

void CMakeCall::OnBaseKeyDown(unsigned key) {
    CForm::OnKeyDown(key, 0, 0);
}

void CMakeCall::ResetBalance() {
    g_Balance.Reset();
}

void CMakeCall::RestartProgram() {
    if (!plat::StartProgram(plat::ExecutablePath(), {})) {
        AppTrace("CMakeCall::RestartProgram: !StartProgram");
        return;
    }
    std::exit(0);
}

// --- input, timers and messages ---

void CMakeCall::OnOK() {
    // Enter reached the call logic through OnKeyDown already (talk).
}

void CMakeCall::OnCancel() {
    m_Login.OnCancel();
}

void CMakeCall::OnKeyDown(uint32_t vk, uint32_t, uint32_t) {
    if (vk == kVkF1) {
        ShowHelp();
        return;
    }
    m_pCall->OnKeyDown(vk);
}

void CMakeCall::OnChar(uint32_t ch, uint32_t, uint32_t) {
    if (ch < 0x80) {
        m_pCall->OnChar(static_cast<char>(ch));
    }
}

void CMakeCall::OnKeyUp(uint32_t vk, uint32_t, uint32_t) {
    m_pCall->OnKeyUp(vk);
}

void CMakeCall::OnTimer(uint32_t id) {
    switch (id) {
    case kTimerRing:
        m_bRingLit = !m_bRingLit;
        m_Talk.SetLit(m_bRingLit);
        break;
    case kTimerCountdown:
        UpdateStatus();
        break;
    case kTimerWarning:
        m_nBlinkPhase ^= 1;
        m_Warning.SetVisible(m_bWarningShown && m_nBlinkPhase == 0);
        break;
    default:
        if (id >= kTimerCaret) {
            CForm::OnTimer(id);
        } else {
            m_pCall->OnTimer(id);
        }
        break;
    }
}

void CMakeCall::OnCommand(uint16_t id, int32_t value) {
    std::string number;
    switch (id) {
    case kCmdClose:
        m_Login.OnCancel();
        break;
    case kCmdMinimise:
        CloseWindow();
        break;
    case kCmdHide:
        // As the login form's hide: minimised when no tray icon could bring the window back.
        ShowWindow(m_Login.IsTrayIconEmbedded() ? plat::kSwHide : plat::kSwMinimize);
        break;
    case kCmdBackspace:
        m_pCall->OnBackspace();
        break;
    case kCmdHangUp:
        m_pCall->HangUp(true);
        break;
    case kCmdTalk:
        m_pCall->OnTalk();
        break;
    case kCmdForwardPage:
        OpenForwardPage();
        break;
    case kCmdHistoryPick:
        PickStoredNumber(m_HistoryStore.GetNumber(ShownHistoryList(), value, &number), number,
                         true);
        break;
    case kCmdContactPick:
        PickStoredNumber(m_Contacts.GetNumber(value, &number), number, false);
        break;
    case kCmdMicrophone:
        m_pCall->OnMicrophoneSlider(value);
        break;
    case kCmdSpeaker:
        m_pCall->OnSpeakerSlider(value);
        break;
    case kCmdOpacity:
        OnOpacity(value);
        break;
    default:
        if (id >= kCmdKey0 && id <= kCmdKeyStar) {
            m_pCall->OnKeypad(id);
        } else {
            OnPanelCommand(id, value);
        }
        break;
    }
}

void CMakeCall::PickStoredNumber(bool read, const std::string& number, bool fromHistory) {
    if (!read) {
        AppTrace("CMakeCall::OnCommand: no se pudo leer el numero elegido");
        return;
    }
    if (!m_pCall->PickNumber(number)) {
        return;
    }
    if (fromHistory && m_pCall->IsBalanceViewShown()) {
        m_pCall->ShowBalanceView(false);
        SetStatusCaption("");
    }
}

void CMakeCall::OnOpacity(int32_t value) {
    const auto alpha = static_cast<uint8_t>(std::clamp(value, kMinAlpha, 255));
    g_FormAlpha = alpha;
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    if (registry.CreateKey("Software\\Quorvex", &key) != plat::kErrorSuccess ||
        registry.SetValue(key, "Alpha", plat::kRegBinary, &alpha, 1) != plat::kErrorSuccess) {
        AppTrace("CMakeCall::OnCommand: no se pudo guardar Alpha");
    }
    InvalidateRect(nullptr);
}

void CMakeCall::OnPostedMessage(const plat::WindowMessage& message) {
    switch (message.message) {
    case WM_MEDIA_LEVEL:
        m_pCall->OnMediaLevel();
        break;
    case WM_BALANCE_CHANGED:
        OnBalanceChanged();
        break;
    case CUsbEventsDest::WM_USB_EVENT:
        m_pCall->OnUsbEvent(static_cast<int>(message.wParam & 0xFF),
                            static_cast<int>(message.lParam & 0xFF));
        break;
    default:
        break;
    }
}

// --- balance, help and the forward page ---

void CMakeCall::ShowWarning(bool shown) {
    m_bWarningShown = shown;
    m_nBlinkPhase = 0;
    m_Warning.SetVisible(shown);
}

void CMakeCall::OnBalanceChanged() {
    UpdateStatus();
    const double balance = g_Balance.Read().balance;
    if (balance >= kLowBalance) {
        ShowWarning(false);
        KillTimer(kTimerWarning);
        return;
    }
    ShowWarning(true);
    SetTimer(kTimerWarning, kWarningBlinkMs);
    if (balance < 0.0) {
        Compose();
        std::string own;
        ProgramModule()->LoadString(kStrRecharge, &own);
        const std::string text = FormatOneNumber(StringById(kStrRecharge), own, balance);
        if (plat::MessageBox(MessageBoxParent(), text, kRechargeCaption,
                             plat::kMbYesNo | plat::kMbIconQuestion) == plat::kIdYes) {
            OpenForwardPage();
        }
    }
}

void CMakeCall::ShowHelp() {
    const int32_t language = GetModuleSkinValue(g_SkinModule, kHelpLanguageValue);
    const char* folder = language == 1 ? "espanol" : language == 2 ? "portuguese" : "english";
    const std::string page = plat::JoinPath(
        plat::JoinPath(plat::JoinPath(plat::ProgramDir(), "help"), folder), "index.htm");
    m_PageOpener.Open(page, "CMakeCall::ShowHelp: no se pudo abrir " + page);
}

void CMakeCall::OpenForwardPage() {
    const std::string site = DeploymentPages::Load().webSite;
    if (site.empty()) {
        AppTrace("CMakeCall::OpenForwardPage: deployment.ini no indica web_site");
        return;
    }
    m_PageOpener.Open(ForwardPageUrl(site), "CMakeCall::OpenForwardPage: !ShellOpen");
}
