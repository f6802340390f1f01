#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sip/SipMessage.h"
#include "sip/Uri.h"

namespace sipua {

enum class TransportType { UDP };
enum class IpVersion { V4 };

// A request as the manager hands it to the stack. The stack writes the request line, its own
// Via and Max-Forwards (and Authorization for a digest session); `headers` is everything
// after them: header lines ending in CRLF, the empty line and the body.
struct OutgoingRequest {
    std::string method;
    std::string requestUri;
    std::optional<Uri> route; // send here instead of to the Request-URI (outbound proxy)
    std::string headers;
};

// Who to answer a digest challenge as: fills the user and password for a realm, or returns
// false when there is no credential.
using CredentialLookup =
    std::function<bool(const std::string& realm, std::string* user, std::string* password)>;

// The digest state of one run of requests (one registration): the realms answered so far.
class DigestSession {
public:
    virtual ~DigestSession() = default;
    // Takes in the challenges of a 401 or 407. False when they cannot be answered: no
    // credential, a malformed challenge, or a realm challenged again with the nonce answered
    // last and not marked stale (the answer was refused). A fresh nonce is answered.
    virtual bool authenticate(const SipMessage& challenge) = 0;
};

// An INVITE as the manager hands it to the stack, which adds Via, Max-Forwards, Call-ID,
// CSeq, the From tag, Contact and the session's later requests (ACK, CANCEL, BYE) itself.
struct OutgoingInvite {
    std::string requestUri; // also the To address
    std::string fromUri;
    std::string fromName; // display name, may be empty
    std::string contactUser;
    std::optional<Uri> route; // outbound proxy (loose route), or none
    std::string userAgent;
    std::string sdp;
    CredentialLookup credentials; // for 401 and 407 on the INVITE
};

// How a session ended, as the stack saw it.
struct SessionEnd {
    enum class Kind {
        Failed,    // a final failure to our INVITE (message set), or the stack's own 408 / 503
        PeerEnded, // a BYE, or for a server session the caller's CANCEL
        Error,     // anything else (message: the stack's 503)
    };
    Kind kind = Kind::Error;
    std::optional<SipMessage> message;
};

// Events of the stack's invite sessions, delivered inside process() on the polling thread.
class SessionListener {
public:
    using SessionId = uint64_t;
    virtual ~SessionListener() = default;
    // An INVITE outside any dialog: a new server session, not answered yet.
    virtual void onIncoming(SessionId id, const SipMessage& invite) = 0;
    // A provisional response to our INVITE.
    virtual void onProgress(SessionId id, const SipMessage& response) = 0;
    // The 2xx to our INVITE (acknowledged by the stack already).
    virtual void onAnswered(SessionId id, const SipMessage& response) = 0;
    // The ACK to our 2xx: a server session is established.
    virtual void onAcknowledged(SessionId id, const SipMessage& ack) = 0;
    // A re-INVITE with an offer in an established session, already answered by the stack with
    // the session's last local SDP.
    virtual void onReoffer(SessionId id, const SipMessage& reinvite) = 0;
    // The session ended without being asked to (a session ended through endSession or
    // rejectSession reports nothing more).
    virtual void onClosed(SessionId id, const SessionEnd& end) = 0;
};

// The transport and transaction layer under the DialogUsageManager. The libre stack is the
// real one (MakeLibreSipStack); FakeSipStack stands in for it in headless tests.
//
// Threads: one thread (the GUI thread) makes, polls and deletes a stack; every callback runs
// inside process() on that thread.
class SipStack {
public:
    using RequestId = uint64_t;
    // Every response to a stateful request, provisional ones too. A request that gets no final
    // response is answered by the stack itself with 408 (timeout) or 503 (transport failure).
    using ResponseHandler = std::function<void(const SipMessage& response)>;

    virtual ~SipStack() = default;

    // Opens the transport; throws SipException when the port cannot be bound. A bind address
    // of "0.0.0.0" means the address of the default route.
    virtual void addTransport(TransportType type, int port, IpVersion version,
                              const std::string& bindAddress) = 0;
    // The transport's address, for Contact headers; false before addTransport.
    virtual bool localAddress(std::string* host, int* port) const = 0;

    // One step of the stack: waits at most maxWaitMs for datagrams and timers and handles
    // them. Returns early once a response has been handed to a handler (after taking in what
    // had already arrived with it).
    virtual void process(unsigned maxWaitMs) = 0;

    virtual std::unique_ptr<DigestSession> makeDigestSession(CredentialLookup lookup) = 0;

    // Sends a request in a client transaction (retransmitted until answered).
    // `auth` may be null. Transport failures are reported through the handler as 503, never
    // thrown; SipException only for a request that cannot be built.
    virtual RequestId sendRequest(const OutgoingRequest& request, DigestSession* auth,
                                  ResponseHandler handler) = 0;
    // Sends a request once, outside any transaction, from the transport's socket. Throws
    // SipException when it cannot be sent.
    virtual void sendStateless(const OutgoingRequest& request) = 0;
    // Forgets a request: its handler is never called again.
    virtual void cancelRequest(RequestId id) = 0;

    // Invite sessions. Incoming INVITEs are refused by the stack until a listener is set.
    // Every operation on a session that has ended (or is unknown) does nothing. A re-INVITE
    // in an established session is answered by the stack with the session's last local SDP.
    using SessionId = SessionListener::SessionId;
    virtual void setSessionListener(SessionListener* listener) = 0;
    // Sends an INVITE. Throws SipException when it cannot be built or sent.
    virtual SessionId startSession(const OutgoingInvite& invite) = 0;
    // A provisional response (180, 183) to an incoming INVITE, with `sdp` when not empty.
    virtual void progressSession(SessionId id, int code, const std::string& reason,
                                 const std::string& sdp) = 0;
    // The 2xx to an incoming INVITE, with `sdp` as the answer.
    virtual void answerSession(SessionId id, int code, const std::string& reason,
                               const std::string& sdp) = 0;
    // A final failure response to an incoming INVITE not answered yet.
    virtual void rejectSession(SessionId id, int code, const std::string& reason) = 0;
    // Ends a session in whatever way its state asks: CANCEL before the answer to our INVITE,
    // BYE once established, 486 for an incoming one not answered yet.
    virtual void endSession(SessionId id) = 0;
};

// The stack on libre.
std::unique_ptr<SipStack> MakeLibreSipStack();

} // namespace sipua
