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
    // credential, a malformed challenge, or a realm answered before that is not marked stale.
    virtual bool authenticate(const SipMessage& challenge) = 0;
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
    // them. Returns early once a response has been handed to a handler.
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
};

// The stack on libre.
std::unique_ptr<SipStack> MakeLibreSipStack();

} // namespace sipua
