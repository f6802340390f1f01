#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/call/AccountBalance.h"
#include "app/call/CallHandset.h"
#include "app/call/CallSounds.h"
#include "app/call/CallView.h"
#include "app/call/HistoryRecorder.h"
#include "app/call/PeerSdp.h"
#include "app/call/RtpPortReservation.h"
#include "app/phone/LoginLink.h"
#include "app/phone/SuspendRule.h"
#include "app/sound/PlaySound2.h"
#include "media/api/RTPInterface.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/Thread.h"
#include "sip/InviteSessionHandler.h"
#include "sip/SdpContents.h"

// The media object of the running call, or null when no media runs.
extern RTPInterface* g_pMedia;

// "H:MM:SS" for a number of seconds (hours without leading zeros).
std::string CountdownText(int seconds);

// The main call window's call logic: the call state machine over the invite sessions, the
// SDP offer and answer, the media start and stop, the keypad, key tones and call sounds, the
// handset's keys, the call's volumes and what the status line shows. It is the dialog-usage
// manager's invite-session handler from its construction to its destruction. The window
// (CMakeCall) owns it; everything on screen, and the sounds, the handset and the call history,
// go through small interfaces, so the logic runs headless.
//
// Threads: the GUI thread calls everything; every SIP callback arrives inside the login
// form's poll. The media notifier thread (one per media start) reads only m_MediaEvent and
// m_bMediaStop and posts WM_MEDIA_LEVEL to the window's port.
class CallLogic final : public sipua::InviteSessionHandler {
public:
    static constexpr uint32_t WM_MEDIA_LEVEL = 0x800A;

    // The window's timers used here.
    static constexpr unsigned kTimerClearHeld = 1;   // the handset clear key held 1 s
    static constexpr unsigned kTimerRing = 2;        // talk button flash while ringing
    static constexpr unsigned kTimerCountdown = 3;   // remaining-time countdown
    static constexpr unsigned kTimerFailureWait = 5; // 1 s of early media after a failure

    // Skin command ids.
    static constexpr unsigned kCmdBackspace = 203;
    static constexpr unsigned kCmdHangUp = 204;
    static constexpr unsigned kCmdTalk = 205;
    static constexpr unsigned kCmdKey0 = 207; // to 216 for '9'
    static constexpr unsigned kCmdKeyHash = 217;
    static constexpr unsigned kCmdKeyStar = 218;

    // Handset events and key codes.
    static constexpr int kUsbKeyDown = 4;
    static constexpr int kUsbKeyUp = 5;
    static constexpr int kUsbDigit = 11;

    // Power events and the answer that denies a suspend.
    static constexpr unsigned kPbtQuerySuspend = ::kPbtQuerySuspend;
    static constexpr unsigned kPbtSuspend = ::kPbtSuspend;
    static constexpr unsigned kPbtResumeCritical = ::kPbtResumeCritical;
    static constexpr intptr_t kBroadcastQueryDeny = ::kBroadcastQueryDeny;

    // Handset keys of the window.
    static constexpr int kUsbHide = 4;
    static constexpr int kUsbVolumeDown = 36;
    static constexpr int kUsbVolumeUp = 51;

    static constexpr size_t kMaxNumber = 15;

    // Makes the media object of a call (GetRTPInterface in the program).
    using MediaFactory = std::function<RTPInterface*(iTraceFile*)>;
    // The wave devices of the call: output and input (-1 the default device).
    struct AudioDevices {
        int waveOut = -1;
        int waveIn = -1;
    };

    struct Services {
        CallView& view;
        CallSounds& sounds;
        CallHandset& handset;
        HistoryRecorder& history;
        LoginLink& login;
        MediaFactory media = GetRTPInterface;
        std::function<AudioDevices()> devices = [] {
            return AudioDevices{g_nWaveOutDev, g_nWaveInDev};
        };
        std::string programDir; // where sounds/ is; "" for the program's own folder
        // The sockets that hold a call's RTP ports until its media start; empty: real ones.
        RtpPortReservation::SocketFactory rtpPortSockets;
    };

    explicit CallLogic(Services services);
    ~CallLogic() override;
    CallLogic(const CallLogic&) = delete;
    CallLogic& operator=(const CallLogic&) = delete;

    // Call states (CallStates.cpp).
    void OnTalk();
    void HangUp(bool user);
    void PlaceCall();
    // The power broadcast: the answer, or nullopt for the form's default handling. A suspend
    // logs out, which destroys the call window and with it this object.
    std::optional<intptr_t> OnPowerBroadcast(unsigned event);
    void OnTimer(unsigned id);
    // A number picked from the contacts or the call history, in the idle and number-entering
    // states: without its blanks (spaces and tabs), it becomes the number being entered when
    // it keeps the keypad's limit (at most 15 characters) and holds only characters that stand
    // as they are in a SIP user part (letters, digits and "+-_.!~*'()#"). False, changing
    // nothing, otherwise (traced).
    bool PickNumber(const std::string& picked);

    // Media (MediaStart.cpp). Our SDP carries the call's local RTP port, chosen (and held)
    // when the first SDP of the call is built; 8000 when no port is free, and then the call
    // has no media.
    void BuildSdpOffer(sipua::SdpContents& sdp);
    void InitRtp(const sipua::SdpContents& peer);
    void StopMedia();
    void UpdateQualityMeter();
    // WM_MEDIA_LEVEL, as the window procedure delivers it.
    void OnMediaLevel();

    // Keypad (Keypad.cpp).
    void OnKeypad(unsigned id);
    // The key tone of a keypad command; *key gets the key's character.
    std::string GetKeySoundFile(unsigned id, char* key) const;
    void OnBackspace();
    void OnChar(char c);
    void OnKeyDown(unsigned key);
    void OnKeyUp(unsigned key);
    void OnUsbEvent(int type, int code);

    // Volumes (CallVolume.cpp): the audio panel's sliders (0-100) and the handset's volume
    // keys, applied to the running media and stored in quorvix.ini [vol].
    void OnMicrophoneSlider(int value);
    void OnSpeakerSlider(int value);
    // The handset's volume keys: the speaker 10 down or up, unless that leaves 0-100.
    void StepSpeakerVolume(int step);

    // The status line (StatusLine.cpp): a caption from the string table (kNoCaption for an
    // empty one, kKeepCaption to leave it as it is) and the display's text (or, when
    // displayId is set, that string).
    static constexpr int kNoCaption = 0;
    static constexpr int kKeepCaption = -1;
    struct StatusText {
        int caption = kNoCaption;
        std::string display;
        int displayId = 0;
    };
    // What the status line shows now; nullopt when it stays as it is. While a call with a rate
    // per minute runs on a positive balance it runs the remaining-time countdown (timer 3).
    std::optional<StatusText> ComposeStatus(const AccountBalance::Snapshot& balance);
    // The rate per minute of the call in progress, as a balance source gives it; the end of
    // the call and an answered incoming call zero it.
    void SetRatePerMinute(double rate);

    // What the window's status line shows.
    const std::string& GetDialedNumber() const { return m_DialedNumber; }
    const std::string& GetPeerText() const { return m_PeerText; }
    double GetRatePerMinute() const { return m_RatePerMinute; }
    int GetCountdown() const { return m_Countdown; }
    bool IsBalanceViewShown() const { return m_bBalanceView; }
    void ShowBalanceView(bool shown);
    int GetCodec() const { return m_nCodec; }

    // sipua::InviteSessionHandler
    void onNewSession(sipua::ServerInviteSessionHandle h, sipua::OfferAnswerType type,
                      const sipua::SipMessage& invite) override;
    void onNewSession(sipua::ClientInviteSessionHandle h, sipua::OfferAnswerType type,
                      const sipua::SipMessage& response) override;
    void onFailure(sipua::ClientInviteSessionHandle h, const sipua::SipMessage& response) override;
    void onEarlyMedia(sipua::ClientInviteSessionHandle h, const sipua::SipMessage& response,
                      const sipua::SdpContents& sdp) override;
    void onProvisional(sipua::ClientInviteSessionHandle h,
                       const sipua::SipMessage& response) override;
    void onConnected(sipua::ClientInviteSessionHandle h,
                     const sipua::SipMessage& response) override;
    void onConnected(sipua::InviteSessionHandle h, const sipua::SipMessage& ack) override;
    void onTerminated(sipua::InviteSessionHandle h, sipua::TerminatedReason reason,
                      const sipua::SipMessage* related) override;
    void onAnswer(sipua::InviteSessionHandle h, const sipua::SipMessage& response,
                  const sipua::SdpContents& sdp) override;
    void onOffer(sipua::InviteSessionHandle h, const sipua::SipMessage& invite,
                 const sipua::SdpContents& sdp) override;
    void onOfferRequired(sipua::InviteSessionHandle h, const sipua::SipMessage& invite) override;

private:
    // StatusLine.cpp
    std::optional<StatusText> Countdown(double balance);
    // CallVolume.cpp
    AudioDevices Devices() const { return m_Devices ? m_Devices() : AudioDevices{}; }
    // CallStates.cpp
    bool IsCurrentCall(const sipua::InviteSessionHandle& h) const;
    // Ends a session that is no part of the current call, when it is still live.
    void EndStray(const sipua::InviteSessionHandle& h, const char* what);
    void RejectIncoming(const sipua::ServerInviteSessionHandle& h, int code, const char* trace);
    // The incoming-session guard: rejects the last incoming session with `code` when it is
    // still live.
    void GuardIncoming(int code);
    void EndOutgoing();
    // A re-INVITE's offer in the call: the media restart towards the peer's new address or
    // port; an offer that keeps them, or that we cannot use, leaves the media as they are.
    void FollowMovedMedia(const sipua::SdpContents& offer);
    void CommonTail(bool user);
    // No rate, no countdown, timer 3 off.
    void StopCountdown();
    void StopAllSounds();
    void CallEnded();
    void FailedCall();
    std::string SoundPath(const char* name) const;
    // MediaStart.cpp
    void StartNotifier();
    void StopNotifier();
    // The notifier's body: one WM_MEDIA_LEVEL per signal of the media event until stopped.
    void MediaEventThread(const plat::PostTarget& target);

    CallView& m_View;
    CallSounds& m_Sounds;
    CallHandset& m_Handset;
    HistoryRecorder& m_History;
    LoginLink& m_Login;
    MediaFactory m_MediaFactory;
    std::function<AudioDevices()> m_Devices;
    std::string m_ProgramDir;
    sipua::DialogUsageManager* m_pDum = nullptr;

    // Call fields.
    std::string m_DialedNumber;
    std::string m_PeerText;
    sipua::InviteSessionHandle m_hCurrent; // the session of the call in progress, if any
    sipua::InviteSessionHandle m_hEnded;   // the session of the last call that ended
    sipua::InviteSessionHandle m_hSession;
    sipua::ClientInviteSessionHandle m_hClientSession;
    bool m_bEndThroughClient = false;
    sipua::ServerInviteSessionHandle m_hServerSession;
    sipua::SdpContents m_KeptOffer;
    std::optional<sipua::SdpContents> m_EarlySdp; // the media started from early media
    MediaTarget m_MediaTarget;                    // where the last media start sent to
    bool m_bFailureWait = false;                  // timer 5 runs
    double m_RatePerMinute = 0;
    int m_Countdown = 0;
    bool m_bBalanceView = false;
    int m_BalanceViewState = 0;
    char m_LastKey = 0;

    // Media.
    int m_nCodec = 0;
    RtpPortReservation m_RtpPort; // the call's local RTP port
    plat::AutoResetEvent m_MediaEvent;
    std::atomic<bool> m_bMediaStop{true};
    plat::Thread m_Notifier;
};
