#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sip/NameAddr.h"
#include "sip/Uri.h"

struct sip_msg;

namespace sipua {

// The top Via of a message: its sent-by host and port and the rport and received parameters.
struct Via {
    std::string sentHost;
    int sentPort = 0;         // 0 when the sent-by carries no port
    bool hasRport = false;    // the parameter is present
    std::optional<int> rport; // its value, when it has one
    std::string received;     // "" when absent
};

// A parsed SIP message (request or response), kept with its raw text. Messages from the wire
// and the ones the adapter makes for itself (a timeout as 408) look the same; isFromWire()
// tells them apart.
class SipMessage {
public:
    // Parses one message; throws SipException when the text is not a SIP message.
    static SipMessage parse(std::string_view raw);
    // Takes a message libre has decoded already (a response to one of our requests): it is
    // read once and kept, so nothing decodes the same datagram again.
    static SipMessage fromDecoded(const struct sip_msg* msg);
    // A response that the adapter reports for a request that got none (timeout, transport
    // failure).
    static SipMessage makeLocalResponse(int code, std::string reason);

    bool isRequest() const { return isRequest_; }
    bool isResponse() const { return !isRequest_; }
    bool isFromWire() const { return fromWire_; }

    const std::string& method() const { return method_; } // request method or CSeq method
    const Uri& requestUri() const { return requestUri_; }
    int statusCode() const { return statusCode_; }
    const std::string& reason() const { return reason_; }

    const NameAddr& from() const { return from_; }
    const NameAddr& to() const { return to_; }
    const std::string& callId() const { return callId_; }
    unsigned cseq() const { return cseq_; }
    const Via& topVia() const { return topVia_; }
    bool hasVia() const { return hasVia_; }
    const std::vector<NameAddr>& contacts() const { return contacts_; }

    // The first value of a header, by name without regard to case; nullopt when missing.
    std::optional<std::string> header(std::string_view name) const;
    // Every value of a header, in order (comma-separated values count one by one).
    std::vector<std::string> headers(std::string_view name) const;

    const std::string& raw() const { return raw_; }
    const std::string& body() const { return body_; }
    // libre's decoded form, for the adapter (digest answers, dialogs); null for the
    // adapter's own local responses.
    const struct sip_msg* decoded() const { return decoded_.get(); }

private:
    bool isRequest_ = false;
    bool fromWire_ = true;
    std::string method_;
    Uri requestUri_;
    int statusCode_ = 0;
    std::string reason_;
    NameAddr from_;
    NameAddr to_;
    std::string callId_;
    unsigned cseq_ = 0;
    bool hasVia_ = false;
    Via topVia_;
    std::vector<NameAddr> contacts_;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::string raw_;
    std::string body_;
    std::shared_ptr<const struct sip_msg> decoded_; // holds one libre reference
};

using SipMessagePtr = std::shared_ptr<SipMessage>;

} // namespace sipua
