#include "sip/RegistrationAck.h"

namespace sipua {

OutgoingRequest MakeRegistrationAck(const NameAddr& addressOfRecord, const SipMessage& response,
                                    const MasterProfile& profile) {
    NameAddr aor = addressOfRecord;
    aor.removeParam("tag");
    NameAddr to = aor;
    NameAddr from = aor;
    if (response.to().hasTag()) {
        to.setParam("tag", response.to().tag());
    }
    if (response.from().hasTag()) {
        from.setParam("tag", response.from().tag());
    }

    OutgoingRequest ack;
    ack.method = "ACK";
    ack.requestUri = aor.uri().toString();
    ack.route = profile.getOutboundProxy();
    ack.headers = "To: " + to.toString() + "\r\n";
    ack.headers += "From: " + from.toString() + "\r\n";
    ack.headers += "Call-ID: " + response.callId() + "\r\n";
    ack.headers += "CSeq: 1 ACK\r\n";
    ack.headers += "Contact: " + aor.toString() + "\r\n";
    if (!profile.getUserAgent().empty()) {
        ack.headers += "User-Agent: " + profile.getUserAgent() + "\r\n";
    }
    ack.headers += "Content-Length: 0\r\n\r\n";
    return ack;
}

} // namespace sipua
