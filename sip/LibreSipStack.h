#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sip/LibreRef.h"
#include "sip/SipStack.h"

struct sip;
struct sip_lsnr;
struct sip_dialog;
struct dnsc;
struct sip_request;
struct sip_msg;
struct udp_helper;
struct tmr;
struct sipsess;
struct sipsess_sock;
struct mbuf;

namespace sipua {

// SipStack on libre: one UDP transport, client transactions with libre's retransmission and
// digest authentication, stateless sends through the same transport socket, and one step of
// libre's main loop per process() (a libre timer that calls re_cancel ends re_main).
//
// Threads: libre keeps one main loop per process; all stacks are made, polled and deleted on
// the same thread. The first stack initialises libre and the last one closes it.
class LibreSipStack final : public SipStack {
public:
    LibreSipStack();
    ~LibreSipStack() override;
    LibreSipStack(const LibreSipStack&) = delete;
    LibreSipStack& operator=(const LibreSipStack&) = delete;

    void addTransport(TransportType type, int port, IpVersion version,
                      const std::string& bindAddress) override;
    bool localAddress(std::string* host, int* port) const override;
    void process(unsigned maxWaitMs) override;
    std::unique_ptr<DigestSession> makeDigestSession(CredentialLookup lookup) override;
    RequestId sendRequest(const OutgoingRequest& request, DigestSession* auth,
                          ResponseHandler handler) override;
    void sendStateless(const OutgoingRequest& request) override;
    void cancelRequest(RequestId id) override;
    void setSessionListener(SessionListener* listener) override;
    SessionId startSession(const OutgoingInvite& invite) override;
    void progressSession(SessionId id, int code, const std::string& reason,
                         const std::string& sdp) override;
    void answerSession(SessionId id, int code, const std::string& reason,
                       const std::string& sdp) override;
    void rejectSession(SessionId id, int code, const std::string& reason) override;
    void endSession(SessionId id) override;

private:
    // One libre session. `sess` is null for an incoming INVITE not answered yet (then
    // `invite` holds it) and once the session has ended.
    struct Session {
        LibreSipStack* stack = nullptr;
        SessionId id = 0;
        bool client = false;
        bool closed = false;
        LibreRef<struct sipsess> sess;
        LibreRef<const struct sip_msg> invite;
        std::string inviteKey; // Call-ID and CSeq of an incoming INVITE, for retransmissions
        std::string localSdp;  // what a re-INVITE is answered with
        std::string userAgent;
        std::string callId; // of an outgoing INVITE
        CredentialLookup credentials;
    };
    // Every request, ahead of the sessions: an INVITE or OPTIONS that requires an extension
    // is refused with 420; OPTIONS is answered here.
    static bool OnRequest(const struct sip_msg* msg, void* arg);
    // Responses outside any transaction: a 2xx to our INVITE from a second fork.
    static bool OnStrayResponse(const struct sip_msg* msg, void* arg);
    // Acknowledges the 2xx of a fork of our INVITE other than the one the call took, or one
    // that came after the call ended, and ends that extra dialog with BYE.
    void EndExtraFork(const std::string& userAgent, const struct sip_msg* answer);
    static void OnExtraForkBye(int err, const struct sip_msg* msg, void* arg);
    static void OnIncoming(const struct sip_msg* msg, void* arg);
    static int OnOffer(struct mbuf** descp, const struct sip_msg* msg, void* arg);
    static int OnAnswer(const struct sip_msg* msg, void* arg);
    static void OnProgress(const struct sip_msg* msg, void* arg);
    static void OnEstablished(const struct sip_msg* msg, void* arg);
    static void OnClose(int err, const struct sip_msg* msg, void* arg);
    static int OnAuth(char** user, char** password, const char* realm, void* arg);
    Session* findSession(SessionId id);
    // A provisional (`final` false) or final response in an incoming session: the first one
    // accepts the INVITE, later ones go through the session.
    void respondInSession(SessionId id, int code, const std::string& reason, const std::string& sdp,
                          bool final);
    // Accepts an incoming INVITE into a libre session with a first response.
    bool acceptIncoming(Session& session, int code, const std::string& reason,
                        const std::string& sdp);
    void deliverSessionEvent(const std::function<void()>& event);
    struct Pending {
        LibreSipStack* stack = nullptr;
        RequestId id = 0;
        struct sip_request* request = nullptr; // cleared by libre when the request ends
        ResponseHandler handler;
    };
    static void OnResponse(int err, const struct sip_msg* msg, void* arg);
    static void DropRequest(Pending* pending);
    void WatchTransport(const struct sip_msg* msg);
    void CloseListeners();
    // Ends the current step a few milliseconds from now.
    void EndStepSoon();
    static constexpr uint64_t kDrainMs = 3;
    void Deliver(Pending* pending, const SipMessage& response, bool final);

    LibreRef<struct sip> sip_;
    LibreRef<struct dnsc> dnsc_;
    // Ahead of the sessions' own listeners, so they see what the sessions would drop.
    // libre keeps the address of these two and clears them when the listener goes, so they
    // are plain members that outlive the listeners, released with mem_deref.
    struct sip_lsnr* requestListener_ = nullptr;
    struct sip_lsnr* responseListener_ = nullptr;
    LibreRef<struct udp_helper> datagramFilter_; // on the transport's socket, once known
    LibreRef<struct sipsess_sock> sessionSocket_;
    SessionListener* sessionListener_ = nullptr;
    SessionId lastSession_ = 0;
    std::map<SessionId, std::unique_ptr<Session>> sessions_;
    std::vector<SessionId> closedSessions_; // released at the next step, outside libre
    // Outgoing calls that ended, kept while a fork of their INVITE may still answer (64 x T1).
    struct EndedCall {
        std::string callId;
        std::string userAgent;
        uint64_t untilMs = 0; // on libre's clock
    };
    static constexpr uint64_t kEndedCallMs = 32000;
    static constexpr size_t kEndedCallsKept = 16;
    std::deque<EndedCall> endedCalls_;
    bool haveTransport_ = false;
    std::string localHost_;
    int localPort_ = 0;
    bool inProcess_ = false;
    bool delivered_ = false;          // a handler ran during this step
    struct tmr* stepTimer_ = nullptr; // the timer that ends the step in progress
    bool draining_ = false;
    RequestId lastId_ = 0;
    std::map<RequestId, std::unique_ptr<Pending>> pending_;
    std::vector<RequestId> failed_; // not sent; answered with 503 at the next step
};

} // namespace sipua
