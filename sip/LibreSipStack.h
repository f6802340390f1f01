#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sip/LibreRef.h"
#include "sip/SipStack.h"

struct sip;
struct dnsc;
struct sip_request;
struct sip_msg;
struct udp_helper;

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

private:
    struct Pending {
        LibreSipStack* stack = nullptr;
        RequestId id = 0;
        struct sip_request* request = nullptr; // cleared by libre when the request ends
        ResponseHandler handler;
    };
    static void OnResponse(int err, const struct sip_msg* msg, void* arg);
    static void DropRequest(Pending* pending);
    void WatchTransport(const struct sip_msg* msg);
    void Deliver(Pending* pending, const SipMessage& response, bool final);

    LibreRef<struct sip> sip_;
    LibreRef<struct dnsc> dnsc_;
    LibreRef<struct udp_helper> datagramFilter_; // on the transport's socket, once known
    bool haveTransport_ = false;
    std::string localHost_;
    int localPort_ = 0;
    bool inProcess_ = false;
    bool delivered_ = false; // a handler ran during this step
    RequestId lastId_ = 0;
    std::map<RequestId, std::unique_ptr<Pending>> pending_;
    std::vector<RequestId> failed_; // not sent; answered with 503 at the next step
};

} // namespace sipua
