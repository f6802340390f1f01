#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sip/SipStack.h"

namespace sipua {

// A SipStack without a network, for headless tests: it records every request, and the test
// answers them (delivered at the next process()), times them out or fails the transport.
// Digest challenges are "answered" by recording the realm and the credential looked up.
// A process() with nothing to deliver sleeps its wait on the current plat clock, so tests
// with a FakeClock see time pass without waiting.
//
// Threads: the test's thread only.
class FakeSipStack final : public SipStack {
public:
    struct Credential {
        std::string realm;
        std::string user;
        std::string password;
    };
    struct Sent {
        RequestId id = 0; // 0 for stateless sends
        bool stateful = true;
        OutgoingRequest request;
        std::vector<Credential> credentials; // what the digest session held when it was sent
    };

    FakeSipStack() = default;
    ~FakeSipStack() override;

    // Test controls.
    void setTransportFailure(bool fail) { failTransport_ = fail; }
    // Stateless sends throw as a socket error would make them.
    void setStatelessFailure(bool fail) { failStateless_ = fail; }
    bool hasTransport() const { return haveTransport_; }
    const std::string& bindAddress() const { return bindAddress_; }
    int boundPort() const { return localPort_; }
    // Every request handed to the stack, in order.
    const std::vector<Sent>& sent() const { return sent_; }
    std::vector<Sent> sentWithMethod(const std::string& method) const;
    // The last request with this method, or null.
    const Sent* last(const std::string& method) const;
    bool isPending(RequestId id) const { return pending_.count(id) != 0; }
    size_t pendingCount() const { return pending_.size(); }
    // Waits asked of process(), in order.
    const std::vector<unsigned>& waits() const { return waits_; }

    // Queues a response to request `id`, built from the request: its To (with a tag
    // "fake-to" unless toTag is false), From, Call-ID and CSeq; a Via with rport=<rport> when
    // rport is positive; then `extraHeaders` (lines ending in CRLF).
    void respond(RequestId id, int code, const std::string& reason,
                 const std::string& extraHeaders = "", bool toTag = true, int rport = 0,
                 bool fromTag = true);
    // Queues a response given as raw text.
    void respondRaw(RequestId id, const std::string& raw);
    // Queues the stack's own 408 for a request that got no answer.
    void timeout(RequestId id);
    // Queues the stack's own 503 for a request the transport could not send.
    void transportFailure(RequestId id);

    // The value of a header line in a request's header text, or "".
    static std::string headerOf(const OutgoingRequest& request, const std::string& name);

    // Invite sessions. What the program did to a session, in order: "start", "progress",
    // "answer", "reject", "end" (code and SDP where they apply).
    struct SessionOp {
        SessionId id = 0;
        std::string op;
        int code = 0;
        std::string sdp;
    };
    const std::vector<SessionOp>& sessionOps() const { return sessionOps_; }
    std::vector<SessionOp> sessionOpsOf(SessionId id) const;
    // The INVITE of a session the program started, or null.
    const OutgoingInvite* invite(SessionId id) const;
    SessionId lastStartedSession() const { return lastStarted_; }
    bool sessionEnded(SessionId id) const;
    void setSessionStartFailure(bool fail) { failSessionStart_ = fail; }

    // An INVITE text from `from` (a name-address) to `requestUri`, with `sdp` as its body
    // when not empty.
    static std::string makeInvite(const std::string& from, const std::string& requestUri,
                                  const std::string& sdp, const std::string& callId = "in-1");
    // What the far end does; each is delivered at the next process().
    SessionId incomingInvite(const std::string& raw);
    void sessionProgress(SessionId id, int code, const std::string& sdp = "");
    void sessionAnswered(SessionId id, const std::string& sdp = "");
    void sessionAcknowledged(SessionId id);
    void sessionFailed(SessionId id, int code);
    void sessionTimedOut(SessionId id);
    void sessionEndedByPeer(SessionId id);
    // A re-INVITE in an established session, with `offer` as its body when not empty: returns
    // the SDP the stack answers it with; an offer goes to the listener at the next process().
    std::string reinvite(SessionId id, const std::string& offer = "");

    // SipStack
    void addTransport(TransportType type, int port, IpVersion version,
                      const std::string& bindAddress) override;
    bool localAddress(std::string* host, int* port) const override;
    void process(unsigned maxWaitMs) override;
    std::unique_ptr<DigestSession> makeDigestSession(CredentialLookup lookup) override;
    RequestId sendRequest(const OutgoingRequest& request, DigestSession* auth,
                          ResponseHandler handler) override;
    void sendStateless(const OutgoingRequest& request) override;
    void cancelRequest(RequestId id) override;
    void setSessionListener(SessionListener* listener) override { listener_ = listener; }
    SessionId startSession(const OutgoingInvite& invite) override;
    void progressSession(SessionId id, int code, const std::string& reason,
                         const std::string& sdp) override;
    void answerSession(SessionId id, int code, const std::string& reason,
                       const std::string& sdp) override;
    void rejectSession(SessionId id, int code, const std::string& reason) override;
    void endSession(SessionId id) override;

private:
    struct Session {
        bool client = false;
        bool ended = false;
        std::string localSdp;
        OutgoingInvite invite;
    };
    SipMessage responseTo(SessionId id, int code, const std::string& sdp) const;
    void queueSessionEvent(SessionId id, std::function<void()> event);

    bool failTransport_ = false;
    bool failStateless_ = false;
    bool haveTransport_ = false;
    std::string bindAddress_;
    std::string localHost_;
    int localPort_ = 0;
    RequestId lastId_ = 0;
    std::vector<Sent> sent_;
    std::map<RequestId, ResponseHandler> pending_;
    std::vector<std::pair<RequestId, SipMessage>> queued_;
    std::vector<unsigned> waits_;
    SessionListener* listener_ = nullptr;
    SessionId lastSession_ = 0;
    SessionId lastStarted_ = 0;
    bool failSessionStart_ = false;
    std::map<SessionId, Session> sessions_;
    std::vector<SessionOp> sessionOps_;
    std::vector<std::function<void()>> sessionEvents_;
};

} // namespace sipua
