#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/call/CallLogic.h"
#include "app/call/CallSoundPlayers.h"
#include "app/call/CallView.h"
#include "app/call/StoreHistoryRecorder.h"
#include "app/call/UsbCallHandset.h"
#include "app/contacts/CallHistory.h"
#include "app/contacts/ContactBook.h"
#include "app/dialogs/PageOpener.h"
#include "app/handset/CUsbEventsDest.h"
#include "app/layout/CallLayout.h"
#include "app/layout/FormSkinIds.h"
#include "app/phone/LoginLink.h"
#include "app/phone/LoginView.h"
#include "app/strings/CMsgBox.h"
#include "platform/ui/Font.h"
#include "skin/CForm.h"
#include "skin/SkinControl.h"
#include "skin/zel_Bkgrd.h"
#include "skin/zel_Command.h"
#include "skin/zel_Image.h"
#include "skin/zel_Label.h"
#include "skin/zel_Slide.h"

// The service's page that forwards calls, under its web site (deployment.ini web_site: a URL,
// or a bare host for http://host/).
std::string ForwardPageUrl(const std::string& site);

// The talk key, which also blinks while a call rings.
class RingingKey : public zel_Command {
public:
    // Lit shows the hover frame; a key held down stays pressed.
    void SetLit(bool lit) {
        if (m_nState != 2) {
            SetState(lit ? 1 : 0);
        }
    }
};

// The main window of a signed-in user: the skinned face of the phone (window buttons, keypad,
// talk, hang-up and backspace keys, the forward-page button, the status line, four receive
// quality lights and the low-balance warning) between two columns of sliding panels, over the
// call logic (CallLogic), which it owns and for which it is the CallView. Built by the login
// form on the first successful registration, destroyed at logout and exit.
//
// Threads: the GUI thread. The call logic's media notifier and a balance source post to the
// window's port (WM_MEDIA_LEVEL, WM_BALANCE_CHANGED); the handset posts WM_USB_EVENT while the
// window is its target. The port closes with the window, so nothing arrives afterwards.
class CMakeCall final : public CForm,
                        public CUsbEventsDest,
                        public SkinControl,
                        public CMsgBox,
                        public CallWindow,
                        public CallView {
public:
    static constexpr unsigned kTemplateId = 155;
    static constexpr char kProductName[] = "Quorvex";

    // The call-history and contacts panels (ContactsPanelBase.h, ContactsPanel.h,
    // HistoryPanel.h).
    class zel_SldContactHandling;
    class zel_SldContacts;
    class zel_SldCallHistory;

    // Skin ids of the face; a button's id is also its command.
    static constexpr int kCmdClose = 200;
    static constexpr int kCmdMinimise = 201;
    static constexpr int kCmdHide = 202;
    static constexpr int kCmdBackspace = CallLogic::kCmdBackspace;
    static constexpr int kCmdHangUp = CallLogic::kCmdHangUp;
    static constexpr int kCmdTalk = CallLogic::kCmdTalk;
    static constexpr int kCmdForwardPage = 206;
    static constexpr int kCmdKey0 = CallLogic::kCmdKey0; // to 216 for '9'
    static constexpr int kCmdKeyHash = CallLogic::kCmdKeyHash;
    static constexpr int kCmdKeyStar = CallLogic::kCmdKeyStar;
    static constexpr int kCaptionLabel = 220;
    static constexpr int kUserNameLabel = 221;
    static constexpr int kNumberLabel = 222;
    static constexpr int kCaptionHeightValue = CallWindowIds::kCaptionHeightValue;
    static constexpr int kNumberHeightValue = CallWindowIds::kNumberHeightValue;
    static constexpr int kUserNameHeightValue = CallWindowIds::kUserNameHeightValue;
    static constexpr int kFaceOverlapValue = CallWindowIds::kFaceOverlapValue;
    static constexpr int kRightPanelsValue = CallWindowIds::kRightPanelsValue;
    static constexpr int kFace = CallWindowIds::kFace;
    static constexpr int kFirstLight = 230; // to 233
    static constexpr int kWarning = 234;
    static constexpr int kHelpLanguageValue = 301;

    // Commands of the panels.
    static constexpr int kCmdHistoryPick = 405;
    static constexpr int kCmdHistoryErase = 416;
    static constexpr int kCmdMicrophone = 504;
    static constexpr int kCmdSpeaker = 507;
    static constexpr int kCmdOpacity = 510;
    static constexpr int kCmdContactPick = 605;
    static constexpr int kCmdNewContact = 613;
    static constexpr int kCmdEditContact = 614;
    static constexpr int kCmdDeleteContact = 615;
    static constexpr int kCmdInstallSkin = 909;
    static constexpr int kCmdUseSkin = 910;
    static constexpr int kCmdSkinStrip = 912;
    static constexpr int kCmdMenu = 1005;

    // The window's timers (the form's own follow from 5000).
    static constexpr unsigned kTimerClearHeld = CallLogic::kTimerClearHeld;
    static constexpr unsigned kTimerRing = CallLogic::kTimerRing;
    static constexpr unsigned kTimerCountdown = CallLogic::kTimerCountdown;
    static constexpr unsigned kTimerWarning = 4;
    static constexpr unsigned kWarningBlinkMs = 2000;

    static constexpr uint32_t WM_MEDIA_LEVEL = CallLogic::WM_MEDIA_LEVEL;
    static constexpr uint32_t WM_BALANCE_CHANGED = AccountBalance::WM_BALANCE_CHANGED;

    // Below this balance the warning blinks; below 0 the window also offers the forward page.
    static constexpr double kLowBalance = 3.0;

    // `owner`: the login form, which the window stays above and hands the handset back to
    // (`ownerPort`). `media` makes the media object of each call.
    CMakeCall(CForm& owner, plat::PostTarget ownerPort, LoginLink& login, CallWindow** slot,
              CallLogic::MediaFactory media = GetRTPInterface);
    ~CMakeCall() override;

    // Makes the window (hidden); false when it cannot be made.
    bool Make();
    // Whether the window was built whole from the current skin when it was made.
    bool IsSkinBuilt() const { return m_bSkinBuilt; }

    // CallWindow
    WindowRect GetWindowRect() const override;
    void MoveTo(int x, int y) override;
    void Show() override;
    void Hide() override;
    void BringToFront() override;
    void HangUp(bool user) override;
    intptr_t PowerBroadcast(unsigned event) override;
    void Destroy() override;

    // CallView
    void UpdateStatus() override;
    void SetNumberDisplay(const std::string& text) override;
    void SetStatusCaption(const std::string& text) override;
    void SetQualityLights(bool first, bool second, bool third, bool fourth) override;
    void FlashButton(unsigned id) override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;
    void RaiseWindow() override;
    void HideWindow() override;
    plat::PostTarget MessageTarget() const override;
    void OnBaseKeyDown(unsigned key) override;
    void ResetBalance() override;
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

    // WM_BALANCE_CHANGED: the status line, the low-balance warning and, below 0, the offer to
    // recharge.
    void OnBalanceChanged();
    // The help page in the skin's language, in the desktop's browser (F1, the menu).
    void ShowHelp();
    // The service's page that forwards calls, in the desktop's browser.
    void OpenForwardPage();

    // The call logic and the parts tests look at.
    CallLogic& Call() { return *m_pCall; }
    const zel_Label& Caption() const { return m_Caption; }
    const zel_Label& Number() const { return m_Number; }
    const zel_Label& UserName() const { return m_UserName; }
    const zel_Image& Light(int index) const { return m_Lights[index]; }
    const zel_Image& Warning() const { return m_Warning; }
    const zel_Command& Button(int id) const;
    const CallLayout& Layout() const { return m_Layout; }
    plat::Point FaceOrigin() const { return {m_FaceArea.m_RectPos.x, m_FaceArea.m_RectPos.y}; }

    // The settings panels (app/panels/): audio (500), skins (901) and the menu (1001).
    class zel_SldAudioSettings;
    class zel_SldSkins;
    class zel_SldMenu;
    // Command 909: the skin file chosen in the file dialog is installed.
    void OnInstallSkin();
    // Switches every form to skin `id`; on any failure the previous skin stays and message 38
    // shows.
    void SwitchSkin(uint32_t id);
    // Back to the program's own skin.
    void RevertToBuiltInSkin();
    // Command 1005: menu item `id` (a string id).
    void OnMenuCommand(int32_t id);
    zel_SldSkins* SkinsPanel() const;
    zel_SldAudioSettings* AudioPanel() const;
    zel_SldMenu* MenuPanel() const;
    // The call-history and contacts panels (null while not built) and the call-history store
    // the call logic records into.
    zel_SldContacts* ContactsPanel() const;
    zel_SldCallHistory* HistoryPanel() const;
    CallHistory& HistoryStore() { return m_HistoryStore; }

private:
    // ApplySkin's steps.
    bool LoadFaceControls();
    bool LoadLabels();
    bool BuildPanels();
    bool PlacePanels();
    // The panel's width in the layout: 0 while it is not built.
    static int32_t PanelWidth(const zel_Slide* panel);
    // Commands 405 and 605: a number read from the call history or the contacts.
    void PickStoredNumber(bool read, const std::string& number, bool fromHistory);
    // The list the call-history panel shows.
    HistoryList ShownHistoryList() const;
    // Commands of the panels' own controls, for the panels' features.
    void OnPanelCommand(uint16_t id, int32_t value);
    // The skins, audio and menu panels built (in this order), and their commands (909, 910,
    // 912, 1005; false for any other).
    bool BuildSettingsPanels();
    bool OnSettingsCommand(uint16_t id, int32_t value);
    // The call-history and contacts panels: their build and their commands (true when `id` is
    // one of theirs).
    bool BuildContactPanels();
    bool OnContactPanelCommand(uint16_t id);
    void OnOpacity(int32_t value);
    zel_Command* ButtonById(int id);
    void ShowWarning(bool shown);

    CForm& m_Owner;
    plat::PostTarget m_OwnerPort;
    LoginLink& m_Login;
    CallWindow** m_pSlot;
    CallSoundPlayers m_Sounds;
    UsbCallHandset m_Handset;
    CallHistory m_HistoryStore;
    ContactBook m_Contacts;
    StoreHistoryRecorder m_History{m_HistoryStore};
    std::unique_ptr<CallLogic> m_pCall;
    PageOpener m_PageOpener{this}; // the help page and the forward page

    // The face: a container at (X, 0) holding the controls at their skin places.
    zel_Parent m_FaceArea;
    zel_Command m_Close;
    zel_Command m_Minimise;
    zel_Command m_Hide;
    std::array<zel_Command, 12> m_Keys; // 207 to 218
    RingingKey m_Talk;
    zel_Command m_HangUpKey;
    zel_Command m_Backspace;
    zel_Command m_ForwardPage;
    std::array<zel_Image, 4> m_Lights;
    zel_Image m_Warning;
    zel_Label m_Caption;
    zel_Label m_UserName;
    zel_Label m_Number;
    zel_Bkgrd m_Face;
    plat::Font m_CaptionFont;
    plat::Font m_NumberFont;
    plat::Font m_UserNameFont;
    zel_Bitmap m_Icon;

    // The two columns of sliding panels: the left one holds the skins and audio panels, the
    // right one the contacts, call-history and menu panels. Null while a panel's feature is
    // not built.
    zel_Parent m_LeftPanels;
    zel_Parent m_RightPanels;
    std::unique_ptr<zel_Slide> m_pSkinsPanel;
    std::unique_ptr<zel_Slide> m_pAudioPanel;
    std::unique_ptr<zel_Slide> m_pMenuPanel;
    std::unique_ptr<zel_Slide> m_pHistoryPanel;
    std::unique_ptr<zel_Slide> m_pContactsPanel;
    std::vector<plat::Rect> m_LeftClip;
    std::vector<plat::Rect> m_RightClip;
    CallLayout m_Layout;

    bool m_bSkinBuilt = false;
    bool m_bWarningShown = false;
    int32_t m_nBlinkPhase = 0;
    bool m_bRingLit = false;
};
