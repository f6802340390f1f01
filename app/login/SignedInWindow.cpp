#include "app/login/SignedInWindow.h"

#include <cstdlib>

#include "app/call/PhoneState.h"
#include "app/handset/CUsbEventsDest.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/core/ModuleVersion.h"
#include "platform/desktop/Shell.h"
#include "skin/SkinResources.h"

namespace {

constexpr char kProductName[] = "Quorvex";
constexpr size_t kMaxShownNumber = 15;

// Status captions.
constexpr int kStrBusy = 39;
constexpr int kStrIncoming = 40;
constexpr int kStrTalking = 41;
constexpr int kStrDialing = 42;

std::string StringById(int id) {
    std::string text;
    LoadCString(id, text);
    return text;
}

} // namespace

SignedInWindow::SignedInWindow(CForm& owner, plat::PostTarget ownerPort, LoginLink& login,
                               CallWindow** slot)
    : CForm(kTemplateId), m_Owner(owner), m_OwnerPort(std::move(ownerPort)), m_Login(login),
      m_pSlot(slot) {
    m_pCall = std::make_unique<CallLogic>(CallLogic::Services{.view = *this,
                                                              .sounds = m_Sounds,
                                                              .handset = m_Handset,
                                                              .history = m_History,
                                                              .login = m_Login,
                                                              .programDir = {}});
}

SignedInWindow::~SignedInWindow() {
    // The call logic ends its media (and its notifier) and stops being the session handler
    // while the window it reports to still exists.
    m_pCall.reset();
    DestroyWindow();
}

bool SignedInWindow::Make() {
    return Create(&m_Owner);
}

// --- start and end ---

bool SignedInWindow::OnInitDialog() {
    CForm::OnInitDialog();
    if (plat::Window* window = GetWindow()) {
        window->SetTitle(kProductName);
    }
    if (!ApplySkin()) {
        AppTrace("CMakeCall::OnInitDialog: el skin no tiene la ventana de llamadas");
    }
    UpdateStatus();
    CUsbEventsDest::SetTargetWindow(MessageTarget());
    return true;
}

void SignedInWindow::OnDestroy() {
    CUsbEventsDest::SetTargetWindow(m_OwnerPort);
    CForm::OnDestroy();
}

bool SignedInWindow::ApplySkin() {
    if (!m_Close.CreateFromSkin(this, kCmdClose, 3) ||
        !m_Minimise.CreateFromSkin(this, kCmdMinimise, 3) ||
        !m_Hide.CreateFromSkin(this, kCmdHide, 3) || !m_Talk.CreateFromSkin(this, kCmdTalk, 3) ||
        !m_HangUpKey.CreateFromSkin(this, kCmdHangUp, 3)) {
        return false;
    }
    GetUiFontFace();
    m_CaptionFont.Reset();
    m_NumberFont.Reset();
    m_UserNameFont.Reset();
    m_CaptionFont.Create(g_UiFontFace, GetSkinValue(kCaptionHeightValue), 700);
    m_NumberFont.Create(g_UiFontFace, GetSkinValue(kNumberHeightValue), 600);
    m_UserNameFont.Create(g_UiFontFace, GetSkinValue(kUserNameHeightValue), 700);
    m_UserName.m_nFormat = plat::kDtCenter;
    m_Caption.m_nFormat = plat::kDtLeft;
    m_Number.m_nFormat = plat::kDtRight;
    if (!m_UserName.CreateFromSkin(this, kUserNameLabel, &m_UserNameFont) ||
        !m_Caption.CreateFromSkin(this, kCaptionLabel, &m_CaptionFont) ||
        !m_Number.CreateFromSkin(this, kNumberLabel, &m_NumberFont)) {
        return false;
    }
    m_UserName.SetText(m_Login.GetUserName());
    m_UserName.SetEnabled(false);
    m_Caption.SetEnabled(false);
    m_Number.SetEnabled(false);
    if (!m_Face.CreateFromSkin(this, kFace)) {
        return false;
    }
    m_Face.SetEnabled(false);
    return CreateBackBuffer(m_Face.m_Bitmap.width, m_Face.m_Bitmap.height);
}

void SignedInWindow::Show(int command) {
    ShowWindow(command);
}

// --- CallWindow ---

WindowRect SignedInWindow::GetWindowRect() const {
    const plat::Rect r = CForm::GetWindowRect();
    return {r.left, r.top, r.right, r.bottom};
}

void SignedInWindow::MoveTo(int x, int y) {
    MoveWindow(x, y);
}

void SignedInWindow::Show() {
    ShowWindow(plat::kSwShow);
}

void SignedInWindow::Hide() {
    ShowWindow(plat::kSwHide);
}

void SignedInWindow::BringToFront() {
    ShowWindow(plat::kSwShow);
    ShowWindow(plat::kSwRestore);
    SetForegroundWindow();
}

void SignedInWindow::HangUp(bool user) {
    m_pCall->HangUp(user);
}

void SignedInWindow::Destroy() {
    if (m_pSlot && *m_pSlot == this) {
        *m_pSlot = nullptr;
    }
    delete this;
}

// --- CallView ---

void SignedInWindow::UpdateStatus() {
    std::string caption;
    std::string display;
    switch (g_PhoneState) {
    case PS_DIALING:
    case PS_EARLY_MEDIA:
        caption = StringById(kStrDialing);
        display = m_pCall->GetPeerText();
        break;
    case PS_TALKING:
        caption = StringById(kStrTalking);
        display = m_pCall->GetPeerText();
        break;
    case PS_RINGING:
        caption = StringById(kStrIncoming);
        display = m_pCall->GetPeerText();
        break;
    case PS_BUSY:
        caption = StringById(kStrBusy);
        display = m_pCall->GetPeerText();
        break;
    default:
        display = m_pCall->GetDialedNumber().substr(0, kMaxShownNumber);
        break;
    }
    m_Caption.SetText(caption);
    m_Number.SetText(display);
    // SIP events arrive in the login form's poll, not in a message of this window: show the
    // change now.
    Compose();
}

void SignedInWindow::SetNumberDisplay(const std::string& text) {
    m_Number.SetText(text);
    Compose();
}

void SignedInWindow::SetStatusCaption(const std::string& text) {
    m_Caption.SetText(text);
    Compose();
}

void SignedInWindow::FlashButton(unsigned id) {
    if (id == kCmdTalk) {
        m_Talk.Flash();
    } else if (id == kCmdHangUp) {
        m_HangUpKey.Flash();
    }
}

void SignedInWindow::SetTimer(unsigned id, unsigned periodMs) {
    CForm::SetTimer(id, periodMs);
}

void SignedInWindow::KillTimer(unsigned id) {
    CForm::KillTimer(id);
}

void SignedInWindow::RaiseWindow() {
    BringToFront();
}

plat::PostTarget SignedInWindow::MessageTarget() const {
    return GetPostTarget();
}

void SignedInWindow::OnBaseKeyDown(unsigned key) {
    CForm::OnKeyDown(key, 0, 0);
}

void SignedInWindow::RestartProgram() {
    if (!plat::StartProgram(plat::ExecutablePath(), {})) {
        AppTrace("CMakeCall::RestartProgram: !StartProgram");
        return;
    }
    std::exit(0);
}

// --- CForm ---

void SignedInWindow::OnOK() {
    // Enter reached the call logic through OnKeyDown already (talk).
}

void SignedInWindow::OnCancel() {
    m_Login.OnCancel();
}

void SignedInWindow::OnKeyDown(uint32_t vk, uint32_t, uint32_t) {
    m_pCall->OnKeyDown(vk);
}

void SignedInWindow::OnChar(uint32_t ch, uint32_t, uint32_t) {
    if (ch < 0x80) {
        m_pCall->OnChar(static_cast<char>(ch));
    }
}

void SignedInWindow::OnKeyUp(uint32_t vk, uint32_t, uint32_t) {
    m_pCall->OnKeyUp(vk);
}

void SignedInWindow::OnTimer(uint32_t id) {
    if (id >= kTimerCaret) {
        CForm::OnTimer(id);
        return;
    }
    m_pCall->OnTimer(id);
}

void SignedInWindow::OnCommand(uint16_t id, int32_t) {
    switch (id) {
    case kCmdClose:
        m_Login.OnCancel();
        break;
    case kCmdMinimise:
        CloseWindow();
        break;
    case kCmdHide:
        ShowWindow(plat::kSwHide);
        break;
    case kCmdHangUp:
        m_pCall->HangUp(true);
        break;
    case kCmdTalk:
        m_pCall->OnTalk();
        break;
    default:
        break;
    }
}

void SignedInWindow::OnPostedMessage(const plat::WindowMessage& message) {
    switch (message.message) {
    case CallLogic::WM_MEDIA_LEVEL:
        m_pCall->OnMediaLevel();
        break;
    case CUsbEventsDest::WM_USB_EVENT:
        m_pCall->OnUsbEvent(static_cast<int>(message.wParam & 0xFF),
                            static_cast<int>(message.lParam & 0xFF));
        break;
    default:
        break;
    }
}
