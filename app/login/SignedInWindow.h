#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "app/call/CallLogic.h"
#include "app/call/CallSoundPlayers.h"
#include "app/call/CallView.h"
#include "app/call/StoreHistoryRecorder.h"
#include "app/call/UsbCallHandset.h"
#include "app/contacts/CallHistory.h"
#include "app/login/LoginLink.h"
#include "app/login/LoginView.h"
#include "platform/ui/Font.h"
#include "skin/CForm.h"
#include "skin/SkinControl.h"
#include "skin/zel_Bkgrd.h"
#include "skin/zel_Command.h"
#include "skin/zel_Label.h"

// The window of a signed-in user while the program has no call window of its own: the face of
// the skin's call window with its close, minimise and hide buttons, its talk and hang-up keys
// and its status line (the user's name, the status caption, the number or the peer), over the
// call logic, which is the invite-session handler from the window's construction to its
// destruction. Digits, '*' and '#' typed on the keyboard dial, Backspace deletes, Enter or the
// talk key calls and answers, the hang-up key hangs up, Escape asks whether to exit. It has no
// keypad, panels or quality lights.
//
// Threads: the GUI thread; the call logic's media notifier posts to the window's port.
class SignedInWindow final : public CForm, public CallWindow, public CallView, public SkinControl {
public:
    static constexpr unsigned kTemplateId = 155;

    // Skin ids (each button's id is also its command).
    static constexpr int kCmdClose = 200;
    static constexpr int kCmdMinimise = 201;
    static constexpr int kCmdHide = 202;
    static constexpr int kCmdHangUp = 204;
    static constexpr int kCmdTalk = 205;
    static constexpr int kCaptionLabel = 220;
    static constexpr int kUserNameLabel = 221;
    static constexpr int kNumberLabel = 222;
    static constexpr int kCaptionHeightValue = 223;
    static constexpr int kNumberHeightValue = 224;
    static constexpr int kUserNameHeightValue = 225;
    static constexpr int kFace = 229;

    // `owner`: the login form, which the window stays above and hands the handset back to.
    SignedInWindow(CForm& owner, plat::PostTarget ownerPort, LoginLink& login, CallWindow** slot);
    ~SignedInWindow() override;

    // Makes the window (hidden); false when it cannot be made.
    bool Make();

    // CallWindow
    WindowRect GetWindowRect() const override;
    void MoveTo(int x, int y) override;
    void Show() override;
    void Hide() override;
    void BringToFront() override;
    void HangUp(bool user) override;
    void Destroy() override;

    // CallView
    void UpdateStatus() override;
    void SetNumberDisplay(const std::string& text) override;
    void SetStatusCaption(const std::string& text) override;
    void SetQualityLights(bool, bool, bool, bool) override {}
    void FlashButton(unsigned id) override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;
    void RaiseWindow() override;
    void HideWindow() override { Hide(); }
    plat::PostTarget MessageTarget() const override;
    void OnBaseKeyDown(unsigned key) override;
    void ResetBalance() override {}
    void RestartProgram() override;

    // CForm
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    void OnKeyDown(uint32_t vk, uint32_t repeat, uint32_t flags) override;
    void OnChar(uint32_t ch, uint32_t repeat, uint32_t flags) override;
    void OnKeyUp(uint32_t vk, uint32_t repeat, uint32_t flags) override;
    void OnTimer(uint32_t id) override;
    void OnCommand(uint16_t id, int32_t value) override;
    void OnPostedMessage(const plat::WindowMessage& message) override;

    // SkinControl
    bool ApplySkin() override;
    void Show(int command) override;

    CallLogic& Call() { return *m_pCall; }
    const zel_Label& Caption() const { return m_Caption; }
    const zel_Label& Number() const { return m_Number; }
    const zel_Label& UserName() const { return m_UserName; }

private:
    CForm& m_Owner;
    plat::PostTarget m_OwnerPort;
    LoginLink& m_Login;
    CallWindow** m_pSlot;
    CallSoundPlayers m_Sounds;
    UsbCallHandset m_Handset;
    CallHistory m_HistoryStore;
    StoreHistoryRecorder m_History{m_HistoryStore};
    std::unique_ptr<CallLogic> m_pCall;

    zel_Command m_Close;
    zel_Command m_Minimise;
    zel_Command m_Hide;
    zel_Command m_Talk;
    zel_Command m_HangUpKey;
    zel_Label m_Caption;
    zel_Label m_UserName;
    zel_Label m_Number;
    zel_Bkgrd m_Face;
    plat::Font m_CaptionFont;
    plat::Font m_NumberFont;
    plat::Font m_UserNameFont;
};
