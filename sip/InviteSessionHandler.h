#pragma once
#include "sip/InviteSession.h"
#include "sip/SdpContents.h"
#include "sip/SipMessage.h"

namespace sipua {

enum class OfferAnswerType { None, Offer, Answer };

enum class TerminatedReason {
    Error,        // the stack failed (transport, 503)
    Timeout,      // our INVITE got no final answer
    Rejected,     // a final failure to our INVITE, or we rejected an incoming one
    LocalBye,     // we ended an established session
    RemoteBye,    // the far end ended an established session
    LocalCancel,  // we ended our INVITE before its answer
    RemoteCancel, // the caller gave up before we answered
};

// The events of invite sessions. Every call arrives inside DialogUsageManager::process on the
// thread that polls the stack; the handle is valid for the whole call.
class InviteSessionHandler {
public:
    virtual ~InviteSessionHandler() = default;
    // An incoming INVITE. onOffer (its SDP) or onOfferRequired (none) follows unless the
    // handler rejected it.
    virtual void onNewSession(ServerInviteSessionHandle h, OfferAnswerType type,
                              const SipMessage& invite) = 0;
    // The first provisional or final answer that makes our INVITE a dialog.
    virtual void onNewSession(ClientInviteSessionHandle h, OfferAnswerType type,
                              const SipMessage& response) = 0;
    // Our INVITE failed (a final failure, or the stack's 408 or 503); onTerminated follows.
    virtual void onFailure(ClientInviteSessionHandle h, const SipMessage& response) = 0;
    // A provisional response with an SDP answer (after its onProvisional).
    virtual void onEarlyMedia(ClientInviteSessionHandle h, const SipMessage& response,
                              const SdpContents& sdp) = 0;
    // Every provisional response but 100.
    virtual void onProvisional(ClientInviteSessionHandle h, const SipMessage& response) = 0;
    // The 2xx of our INVITE (after its onAnswer).
    virtual void onConnected(ClientInviteSessionHandle h, const SipMessage& response) = 0;
    // The ACK of our 2xx to an incoming INVITE.
    virtual void onConnected(InviteSessionHandle h, const SipMessage& ack) = 0;
    // The session has ended; `related` is the message that ended it, when there is one.
    virtual void onTerminated(InviteSessionHandle h, TerminatedReason reason,
                              const SipMessage* related) = 0;
    // The answer to our offer, from the 2xx (or, when the 2xx has none, the early one).
    virtual void onAnswer(InviteSessionHandle h, const SipMessage& response,
                          const SdpContents& sdp) = 0;
    // The offer of an incoming INVITE, or of a re-INVITE in an established session (which the
    // stack has already answered with the session's last local SDP). An SDP that could not be
    // read arrives empty.
    virtual void onOffer(InviteSessionHandle h, const SipMessage& invite,
                         const SdpContents& sdp) = 0;
    // An incoming INVITE without an offer.
    virtual void onOfferRequired(InviteSessionHandle h, const SipMessage& invite) = 0;
};

} // namespace sipua
