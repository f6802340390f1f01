// The call state machine: incoming and outgoing sessions, answering, hanging up, power events.
#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>

#include "app/call/CallLogic.h"
#include "app/call/CallerName.h"
#include "app/call/PeerSdp.h"
#include "app/contacts/StoredText.h"
#include "app/phone/PhoneState.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "sip/DialogUsageManager.h"
#include "sip/SipException.h"

namespace {

const char kRingback[] = "repicando.wav";
const char kBusy[] = "Ocupado.WAV";
const char kHangup[] = "hangup.wav";

void TraceException(const char* where, const std::exception& e) {
    AppTrace((std::string(where) + ": " + e.what()).c_str());
}

} // namespace

CallLogic::CallLogic(Services services)
    : m_View(services.view), m_Sounds(services.sounds), m_Handset(services.handset),
      m_History(services.history), m_Login(services.login),
      m_MediaFactory(std::move(services.media)), m_Devices(std::move(services.devices)),
      m_ProgramDir(services.programDir.empty() ? plat::ProgramDir() : services.programDir),
      m_RtpPort(std::move(services.rtpPortSockets)) {
    g_pMedia = nullptr;
    m_pDum = m_Login.GetDum();
    if (m_pDum) {
        m_pDum->setInviteSessionHandler(this);
    }
}

CallLogic::~CallLogic() {
    // The window's teardown stops the media (and joins its notifier) before anything goes.
    StopMedia();
    if (m_pDum && m_Login.GetDum() == m_pDum) {
        m_pDum->setInviteSessionHandler(nullptr);
    }
}

std::string CallLogic::SoundPath(const char* name) const {
    return plat::JoinPath(plat::JoinPath(m_ProgramDir, "sounds"), name);
}

void CallLogic::StopAllSounds() {
    m_Sounds.PlaySound2(nullptr, false);
    m_Sounds.PlaySystemSound(nullptr, false);
}

bool CallLogic::IsCurrentCall(const sipua::InviteSessionHandle& h) const {
    return m_hCurrent.getId() != 0 && h == m_hCurrent;
}

void CallLogic::EndStray(const sipua::InviteSessionHandle& h, const char* what) {
    AppTrace((std::string("CMakeCall::") + what + ": sesion ajena a la llamada actual").c_str());
    try {
        if (h.isValid() && !h->isTerminated()) {
            h->end();
        }
    } catch (const std::exception& e) {
        TraceException("CMakeCall::EndStray", e);
    }
}

void CallLogic::CallEnded() {
    if (m_hCurrent.getId() != 0) {
        m_hEnded = m_hCurrent;
    }
    m_hCurrent = sipua::InviteSessionHandle();
    m_hSession = sipua::InviteSessionHandle();
    m_hClientSession = sipua::ClientInviteSessionHandle();
    m_EarlySdp.reset();
    m_MediaTarget = MediaTarget();
    m_RtpPort.Clear();
    if (m_bFailureWait) {
        m_bFailureWait = false;
        m_View.KillTimer(kTimerFailureWait);
    }
}

// ---- incoming calls ----

void CallLogic::RejectIncoming(const sipua::ServerInviteSessionHandle& h, int code,
                               const char* trace) {
    AppTrace(trace);
    try {
        h->reject(code);
    } catch (const std::exception& e) {
        TraceException("CMakeCall::RejectIncoming", e);
    }
}

void CallLogic::onNewSession(sipua::ServerInviteSessionHandle h, sipua::OfferAnswerType,
                             const sipua::SipMessage& invite) {
    try {
        if (invite.from().uri().user() == m_Login.GetUserName()) {
            RejectIncoming(h, 480,
                           "CUserLogin::AcceptInviteAndRinging: invitacion rechazada, URI invalido "
                           "(es igual al del usuario actual)");
            return;
        }
        if (g_PhoneState != PS_IDLE && g_PhoneState != PS_ENTERING_NUMBER) {
            RejectIncoming(h, 480,
                           "CUserLogin::AcceptInviteAndRinging: invitacion rechazada, estado del "
                           "softphone incorrecto");
            return;
        }
        h->provisional(180);
        m_hServerSession = h;
    } catch (const std::exception&) {
        RejectIncoming(h, 480,
                       "CUserLogin::AcceptInviteAndRinging: invitacion rechazada, exception "
                       "verificando URI");
    }
}

void CallLogic::onOfferRequired(sipua::InviteSessionHandle h, const sipua::SipMessage&) {
    // An INVITE without an offer would ring for ever: we have no way to answer it.
    RejectIncoming(sipua::ServerInviteSessionHandle(h), 480,
                   "CMakeCall::onOfferRequired: invitacion sin SDP rechazada");
}

void CallLogic::onOffer(sipua::InviteSessionHandle h, const sipua::SipMessage& invite,
                        const sipua::SdpContents& sdp) {
    if (IsCurrentCall(h) && g_PhoneState == PS_TALKING) {
        FollowMovedMedia(sdp); // a re-INVITE, already answered with our unchanged SDP
        return;
    }
    if (g_PhoneState != PS_IDLE && g_PhoneState != PS_ENTERING_NUMBER) {
        return;
    }
    if (!(h == m_hServerSession)) {
        EndStray(h, "onOffer");
        return;
    }
    std::string why;
    if (!IsUsableOffer(sdp, &why)) {
        RejectIncoming(sipua::ServerInviteSessionHandle(h), 488,
                       ("CMakeCall::onOffer: oferta rechazada, " + why).c_str());
        return;
    }
    g_PhoneState = PS_RINGING;
    AppTrace("Repicando por llamada entrante");
    m_PeerText = storedtext::MakeValidUtf8(CallerText(invite.from(), invite.requestUri().user()));
    AppTrace(("llamada entrante de :" + m_PeerText).c_str());
    m_View.UpdateStatus();
    m_View.RaiseWindow();
    m_View.SetTimer(kTimerRing, 200);
    m_Handset.Ring();
    m_Sounds.PlaySystemSound(SoundPath(kRingback).c_str(), true);
    m_hCurrent = h;
    m_hSession = h;
    m_bEndThroughClient = false;
    sipua::SdpContents answer;
    BuildSdpOffer(answer);
    try {
        h->provideAnswer(answer);
    } catch (const std::exception& e) {
        TraceException("CMakeCall::onOffer", e);
    }
    m_KeptOffer = sdp;
}

void CallLogic::FollowMovedMedia(const sipua::SdpContents& offer) {
    std::string why;
    if (!IsUsableOffer(offer, &why)) {
        AppTrace(("CMakeCall::onOffer: nueva oferta sin medios utilizables, " + why).c_str());
        return;
    }
    MediaTarget target = MediaTargetOf(offer);
    if (target.address == m_MediaTarget.address && target.port == m_MediaTarget.port) {
        return; // hold, resume, a new version of the same media
    }
    AppTrace("CMakeCall::onOffer: el otro extremo movio sus medios");
    InitRtp(offer);
}

void CallLogic::onConnected(sipua::InviteSessionHandle, const sipua::SipMessage&) {}
void CallLogic::onConnected(sipua::ClientInviteSessionHandle, const sipua::SipMessage&) {}

// ---- the talk key and outgoing calls ----

void CallLogic::OnTalk() {
    if (g_PhoneState == PS_RINGING) {
        m_View.KillTimer(kTimerRing);
        g_PhoneState = PS_TALKING;
        m_RatePerMinute = 0;
        m_View.UpdateStatus();
        sipua::NameAddr peer;
        try {
            m_hServerSession->accept(200);
            peer = m_hServerSession->peerAddr();
        } catch (const std::exception& e) {
            TraceException("CMakeCall::OnTalk", e);
        }
        m_History.AddReceived(peer);
        m_Sounds.PlaySystemSound(nullptr, false);
        InitRtp(m_KeptOffer);
        m_Handset.StopRing();
        return;
    }
    bool dial =
        (g_PhoneState == PS_IDLE || g_PhoneState == PS_ENTERING_NUMBER) && !m_DialedNumber.empty();
    if (!dial) {
        return; // an empty number never places a call
    }
    g_PhoneState = PS_DIALING;
    StopMedia();
    PlaceCall();
    if (g_PhoneState != PS_DIALING) {
        return; // failed at once
    }
    m_PeerText = m_DialedNumber;
    m_Countdown = 0;
    m_View.UpdateStatus();
}

void CallLogic::PlaceCall() {
    try {
        if (!m_pDum) {
            throw sipua::SipException("sin gestor de dialogos");
        }
        sipua::SdpContents offer;
        BuildSdpOffer(offer);
        sipua::NameAddr target(sipua::Uri(m_DialedNumber, m_Login.GetSipServerAddress()));
        sipua::ClientInviteSessionHandle session;
        sipua::SipMessagePtr invite = m_pDum->makeInviteSession(target, offer, &session);
        m_hClientSession = session;
        m_hCurrent = session;
        m_bEndThroughClient = true;
        m_pDum->send(invite);
    } catch (const std::exception& e) {
        // Ends like a failed call: busy state and tone, never "Dialing:" for ever.
        TraceException("CMakeCall::PlaceCall", e);
        m_PeerText = m_DialedNumber;
        CallEnded();
        FailedCall();
    }
}

void CallLogic::FailedCall() {
    g_PhoneState = PS_BUSY;
    m_Sounds.PlaySound2(SoundPath(kBusy).c_str(), true);
    m_View.UpdateStatus();
}

void CallLogic::onNewSession(sipua::ClientInviteSessionHandle h, sipua::OfferAnswerType,
                             const sipua::SipMessage&) {
    if (!IsCurrentCall(h)) {
        EndStray(h, "onNewSession");
        return;
    }
    m_hClientSession = h;
    m_bEndThroughClient = true;
}

void CallLogic::onProvisional(sipua::ClientInviteSessionHandle h,
                              const sipua::SipMessage& response) {
    if (!IsCurrentCall(h)) {
        EndStray(h, "onProvisional");
        return;
    }
    if (g_PhoneState == PS_DIALING && response.statusCode() == 180) {
        m_Sounds.PlaySound2(SoundPath(kRingback).c_str(), true);
    }
}

void CallLogic::onEarlyMedia(sipua::ClientInviteSessionHandle h, const sipua::SipMessage& response,
                             const sipua::SdpContents& sdp) {
    if (IsCurrentCall(h) && g_PhoneState == PS_DIALING) {
        m_hClientSession = h;
        m_bEndThroughClient = true;
        g_PhoneState = PS_EARLY_MEDIA;
        m_History.AddDialed(response.to());
        m_EarlySdp = sdp;
        InitRtp(sdp);
        m_View.UpdateStatus();
        return;
    }
    if (IsCurrentCall(h) && g_PhoneState == PS_EARLY_MEDIA) {
        // A changed early answer moves the media; the same one changes nothing.
        if (!m_EarlySdp || !(*m_EarlySdp == sdp)) {
            m_EarlySdp = sdp;
            InitRtp(sdp);
        }
        return;
    }
    try {
        if (h.isValid() && !h->isTerminated()) {
            h->end();
        }
    } catch (const std::exception&) {
        AppTrace("CMakeCall::onAnswer: error enviando BYE");
    }
    AppTrace("CMakeCall::onAnswer: respuesta a la invitacion rechazada, estado del softphone "
             "incorrecto");
}

void CallLogic::onAnswer(sipua::InviteSessionHandle h, const sipua::SipMessage& response,
                         const sipua::SdpContents& sdp) {
    bool wanted =
        IsCurrentCall(h) && (g_PhoneState == PS_DIALING || g_PhoneState == PS_EARLY_MEDIA);
    if (!wanted) {
        AppTrace("CMakeCall::onAnswer: respuesta a la invitacion rechazada, estado del "
                 "softphone incorrecto");
        // A session the phone no longer wants is ended, so the far end is not left
        // connected.
        EndStray(h, "onAnswer");
        return;
    }
    m_bEndThroughClient = false;
    m_hSession = h;
    if (g_PhoneState == PS_DIALING) {
        InitRtp(sdp);
        m_History.AddDialed(response.to());
    } else if (m_EarlySdp && !(*m_EarlySdp == sdp) && sdp.firstAudio()) {
        InitRtp(sdp); // the final answer moved the media
    }
    g_PhoneState = PS_TALKING;
    m_View.UpdateStatus();
}

void CallLogic::onFailure(sipua::ClientInviteSessionHandle h, const sipua::SipMessage& response) {
    AppTrace("CMakeCall::onFailure: codigo ", response.statusCode());
    if (!IsCurrentCall(h) || (g_PhoneState != PS_DIALING && g_PhoneState != PS_EARLY_MEDIA)) {
        AppTrace("CMakeCall::onFailure: fallo de una sesion ajena a la llamada actual");
        return;
    }
    if (g_PhoneState == PS_EARLY_MEDIA) {
        // The early media play one more second; the timer then hangs up if nothing moved.
        m_bFailureWait = true;
        m_View.SetTimer(kTimerFailureWait, 1000);
        return;
    }
    HangUp(false);
}

void CallLogic::onTerminated(sipua::InviteSessionHandle h, sipua::TerminatedReason,
                             const sipua::SipMessage* related) {
    if (!IsCurrentCall(h)) {
        if (!(h == m_hEnded)) { // the end of the call just finished needs nothing more
            AppTrace("CMakeCall::onTerminated: fin de una sesion ajena a la llamada actual");
        }
        return;
    }
    switch (g_PhoneState) {
    case PS_DIALING:
        CallEnded();
        FailedCall();
        break;
    case PS_RINGING: {
        g_PhoneState = PS_IDLE;
        m_View.KillTimer(kTimerRing);
        m_Handset.StopRing();
        sipua::NameAddr caller;
        if (related && related->isRequest()) {
            caller = related->from();
        } else {
            try {
                caller = m_hServerSession->peerAddr();
            } catch (const std::exception& e) {
                TraceException("CMakeCall::onTerminated", e);
            }
        }
        m_History.AddMissed(caller);
        m_View.UpdateStatus();
        StopAllSounds();
        CallEnded();
        break;
    }
    case PS_TALKING:
    case PS_EARLY_MEDIA:
        if (m_bFailureWait) {
            return; // the failure timer ends the call
        }
        StopCountdown(); // the countdown ends with the call, whoever ends it
        g_PhoneState = PS_IDLE;
        StopMedia();
        m_View.UpdateStatus();
        CallEnded();
        break;
    default:
        break;
    }
}

// ---- hanging up ----

void CallLogic::GuardIncoming(int code) {
    try {
        if (m_hServerSession.isValid() && !m_hServerSession->isTerminated()) {
            m_hServerSession->reject(code);
        }
    } catch (const std::exception&) {
    }
}

void CallLogic::EndOutgoing() {
    try {
        sipua::InviteSessionHandle h =
            m_bEndThroughClient ? sipua::InviteSessionHandle(m_hClientSession) : m_hSession;
        if (h.isValid() && !h->isTerminated()) {
            h->end();
        }
    } catch (const std::exception&) {
    }
}

void CallLogic::CommonTail(bool user) {
    GuardIncoming(486);
    m_Sounds.PlaySound2(nullptr, false);
    g_PhoneState = PS_IDLE;
    StopMedia();
    m_View.ResetBalance();
    if (user) {
        m_Sounds.PlaySound2(SoundPath(kHangup).c_str(), false);
    }
    m_View.UpdateStatus();
    CallEnded();
}

void CallLogic::StopCountdown() {
    m_RatePerMinute = 0;
    m_View.KillTimer(kTimerCountdown);
    m_Countdown = 0;
}

void CallLogic::HangUp(bool user) {
    StopCountdown();
    switch (g_PhoneState) {
    case PS_ENTERING_NUMBER:
        g_PhoneState = PS_IDLE;
        m_DialedNumber.clear();
        m_View.SetNumberDisplay("");
        if (user) {
            m_View.UpdateStatus();
            m_Handset.ClearDisplay();
        }
        break;
    case PS_DIALING:
        // Our INVITE is cancelled: the far end must not ring on, nor answer into nothing.
        EndOutgoing();
        g_PhoneState = PS_BUSY;
        StopMedia();
        StopAllSounds(); // the ringback may be playing on either channel
        m_Handset.StopRing();
        if (!user) {
            m_Sounds.PlaySound2(SoundPath(kBusy).c_str(), true);
        }
        m_View.UpdateStatus();
        GuardIncoming(486);
        CallEnded();
        break;
    case PS_TALKING:
    case PS_EARLY_MEDIA:
        EndOutgoing();
        CommonTail(user);
        break;
    case PS_RINGING: {
        StopAllSounds();
        m_Handset.StopRing();
        m_View.KillTimer(kTimerRing);
        g_PhoneState = PS_IDLE;
        sipua::NameAddr caller;
        try {
            caller = m_hServerSession->peerAddr();
        } catch (const std::exception& e) {
            TraceException("CMakeCall::HangUp", e);
        }
        m_History.AddMissed(caller);
        if (user) {
            m_View.UpdateStatus();
        }
        try {
            m_hServerSession->reject(480);
        } catch (const std::exception&) {
        }
        StopMedia();
        CallEnded();
        break;
    }
    case PS_BUSY:
        StopAllSounds();
        g_PhoneState = PS_IDLE;
        StopMedia();
        if (user) {
            m_View.UpdateStatus();
            m_Sounds.PlaySound2(SoundPath(kHangup).c_str(), false);
        }
        break;
    default:
        break;
    }
}

void CallLogic::OnTimer(unsigned id) {
    switch (id) {
    case kTimerFailureWait:
        m_View.KillTimer(kTimerFailureWait);
        if (!m_bFailureWait) {
            return;
        }
        m_bFailureWait = false;
        // Only when the failed call is still the one on the line.
        if (g_PhoneState == PS_EARLY_MEDIA && m_hCurrent.getId() != 0) {
            HangUp(false);
        }
        return;
    case kTimerClearHeld:
        m_View.KillTimer(kTimerClearHeld);
        m_DialedNumber.clear();
        m_View.SetNumberDisplay("");
        // The clear key held in the number-entering state leaves it, as backspace does.
        if (g_PhoneState == PS_ENTERING_NUMBER) {
            g_PhoneState = PS_IDLE;
        }
        m_View.UpdateStatus();
        m_Handset.ClearDisplay();
        return;
    default:
        return;
    }
}

bool CallLogic::PickNumber(const std::string& picked) {
    if (g_PhoneState != PS_IDLE && g_PhoneState != PS_ENTERING_NUMBER) {
        return false;
    }
    // A number typed into a contact is often written in groups ("555 1234"): it is dialled
    // as the digits it groups.
    std::string number;
    std::copy_if(picked.begin(), picked.end(), std::back_inserter(number),
                 [](char c) { return c != ' ' && c != '\t'; });
    static const char kKept[] = "+-_.!~*'()#";
    const bool usable = !number.empty() && number.size() <= kMaxNumber &&
                        std::all_of(number.begin(), number.end(), [](char c) {
                            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                                   (c >= 'A' && c <= 'Z') ||
                                   (c != '\0' && std::strchr(kKept, c) != nullptr);
                        });
    if (!usable) {
        AppTrace("CMakeCall::PickNumber: numero no utilizable, ", static_cast<int>(number.size()));
        return false;
    }
    g_PhoneState = PS_ENTERING_NUMBER;
    m_DialedNumber = number;
    m_View.SetNumberDisplay(m_DialedNumber);
    return true;
}

void CallLogic::ShowBalanceView(bool shown) {
    m_bBalanceView = shown;
    m_BalanceViewState = g_PhoneState;
}

// ---- power events ----

std::optional<intptr_t> CallLogic::OnPowerBroadcast(unsigned event) {
    switch (event) {
    case kPbtQuerySuspend:
        switch (AnswerToSuspend(g_PhoneState)) {
        case SuspendAnswer::HangUpThenAllow:
            HangUp(false);
            StopAllSounds();
            return 1;
        case SuspendAnswer::Deny:
            return kBroadcastQueryDeny;
        case SuspendAnswer::Allow:
            return 1;
        }
        return 1;
    case kPbtSuspend:
        HangUp(false);
        StopAllSounds();  // no busy tone looping through the sleep
        m_Login.Logout(); // destroys the window and this object: nothing of it is used after
        return 0;
    case kPbtResumeCritical:
        m_View.RestartProgram();
        return 0;
    default:
        return std::nullopt;
    }
}
