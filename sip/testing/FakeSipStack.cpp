#include "sip/testing/FakeSipStack.h"

#include <map>
#include <strings.h>

#include "platform/core/Clock.h"
#include "sip/SipException.h"

namespace sipua {
namespace {

// Reads name="value" (or name=value) out of a challenge header.
std::string ChallengeParam(const std::string& header, const std::string& name) {
    size_t pos = 0;
    while ((pos = header.find(name + "=", pos)) != std::string::npos) {
        if (pos == 0 || header[pos - 1] == ' ' || header[pos - 1] == ',') {
            size_t start = pos + name.size() + 1;
            if (start < header.size() && header[start] == '"') {
                size_t end = header.find('"', start + 1);
                return header.substr(start + 1, end == std::string::npos ? std::string::npos
                                                                         : end - start - 1);
            }
            size_t end = header.find_first_of(", ", start);
            return header.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
        pos += name.size();
    }
    return "";
}

class FakeDigestSession final : public DigestSession {
public:
    explicit FakeDigestSession(CredentialLookup lookup) : lookup_(std::move(lookup)) {}

    bool authenticate(const SipMessage& challenge) override {
        auto header = challenge.header(challenge.statusCode() == 407 ? "Proxy-Authenticate"
                                                                     : "WWW-Authenticate");
        if (!header) {
            return false;
        }
        std::string realm = ChallengeParam(*header, "realm");
        std::string nonce = ChallengeParam(*header, "nonce");
        bool stale = strcasecmp(ChallengeParam(*header, "stale").c_str(), "true") == 0;
        for (auto& credential : answered_) {
            if (credential.realm == realm) {
                // As the libre stack: a stale or not yet answered nonce is answered again.
                if (!stale && nonces_[realm] == nonce) {
                    return false;
                }
                nonces_[realm] = nonce;
                return true;
            }
        }
        FakeSipStack::Credential credential{realm, "", ""};
        if (!lookup_ || !lookup_(realm, &credential.user, &credential.password)) {
            return false;
        }
        answered_.push_back(credential);
        nonces_[realm] = nonce;
        return true;
    }

    std::vector<FakeSipStack::Credential> answered_;

private:
    CredentialLookup lookup_;
    std::map<std::string, std::string> nonces_; // realm -> the nonce last answered
};

} // namespace

FakeSipStack::~FakeSipStack() = default;

std::vector<FakeSipStack::Sent> FakeSipStack::sentWithMethod(const std::string& method) const {
    std::vector<Sent> result;
    for (const Sent& s : sent_) {
        if (s.request.method == method) {
            result.push_back(s);
        }
    }
    return result;
}

const FakeSipStack::Sent* FakeSipStack::last(const std::string& method) const {
    for (auto it = sent_.rbegin(); it != sent_.rend(); ++it) {
        if (it->request.method == method) {
            return &*it;
        }
    }
    return nullptr;
}

std::string FakeSipStack::headerOf(const OutgoingRequest& request, const std::string& name) {
    size_t pos = 0;
    const std::string& text = request.headers;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos || end == pos) {
            break;
        }
        std::string line = text.substr(pos, end - pos);
        size_t colon = line.find(':');
        if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0) {
            size_t start = line.find_first_not_of(' ', colon + 1);
            return start == std::string::npos ? "" : line.substr(start);
        }
        pos = end + 2;
    }
    return "";
}

void FakeSipStack::respond(RequestId id, int code, const std::string& reason,
                           const std::string& extraHeaders, bool toTag, int rport, bool fromTag) {
    const Sent* request = nullptr;
    for (const Sent& s : sent_) {
        if (s.id == id) {
            request = &s;
        }
    }
    if (!request) {
        return;
    }
    std::string from = headerOf(request->request, "From");
    if (!fromTag) {
        size_t tag = from.find(";tag=");
        if (tag != std::string::npos) {
            from.erase(tag);
        }
    }
    std::string text = "SIP/2.0 " + std::to_string(code) + " " + reason + "\r\n";
    text += "Via: SIP/2.0/UDP " + localHost_ + ":" + std::to_string(localPort_) +
            ";branch=z9hG4bKfake" + std::to_string(id);
    if (rport > 0) {
        text += ";rport=" + std::to_string(rport) + ";received=" + localHost_;
    }
    text += "\r\n";
    text += "To: " + headerOf(request->request, "To") + (toTag ? ";tag=fake-to" : "") + "\r\n";
    text += "From: " + from + "\r\n";
    text += "Call-ID: " + headerOf(request->request, "Call-ID") + "\r\n";
    text += "CSeq: " + headerOf(request->request, "CSeq") + "\r\n";
    text += extraHeaders;
    text += "Content-Length: 0\r\n\r\n";
    respondRaw(id, text);
}

void FakeSipStack::respondRaw(RequestId id, const std::string& raw) {
    queued_.emplace_back(id, SipMessage::parse(raw));
}

void FakeSipStack::timeout(RequestId id) {
    queued_.emplace_back(id, SipMessage::makeLocalResponse(408, "Request Timeout"));
}

void FakeSipStack::transportFailure(RequestId id) {
    queued_.emplace_back(id, SipMessage::makeLocalResponse(503, "Service Unavailable"));
}

void FakeSipStack::addTransport(TransportType, int port, IpVersion,
                                const std::string& bindAddress) {
    if (failTransport_ || haveTransport_) {
        throw SipException("no se pudo abrir UDP " + bindAddress + ":" + std::to_string(port));
    }
    haveTransport_ = true;
    bindAddress_ = bindAddress;
    localHost_ = bindAddress == "0.0.0.0" || bindAddress.empty() ? "192.0.2.10" : bindAddress;
    localPort_ = port;
}

bool FakeSipStack::localAddress(std::string* host, int* port) const {
    if (!haveTransport_) {
        return false;
    }
    *host = localHost_;
    *port = localPort_;
    return true;
}

void FakeSipStack::process(unsigned maxWaitMs) {
    waits_.push_back(maxWaitMs);
    std::vector<std::function<void()>> events;
    events.swap(sessionEvents_);
    for (auto& event : events) {
        event();
    }
    if (queued_.empty() && events.empty()) {
        plat::SleepMs(maxWaitMs); // nothing arrives: the wait runs out (on the current clock)
    }
    std::vector<std::pair<RequestId, SipMessage>> queued;
    queued.swap(queued_);
    for (auto& [id, message] : queued) {
        auto it = pending_.find(id);
        if (it == pending_.end()) {
            continue; // cancelled, or answered before: dropped like a stray response
        }
        ResponseHandler handler = it->second;
        if (message.statusCode() >= 200) {
            pending_.erase(it);
        }
        handler(message);
    }
}

std::unique_ptr<DigestSession> FakeSipStack::makeDigestSession(CredentialLookup lookup) {
    return std::make_unique<FakeDigestSession>(std::move(lookup));
}

SipStack::RequestId FakeSipStack::sendRequest(const OutgoingRequest& request, DigestSession* auth,
                                              ResponseHandler handler) {
    Sent sent;
    sent.id = ++lastId_;
    sent.request = request;
    if (auth) {
        sent.credentials = static_cast<FakeDigestSession*>(auth)->answered_;
    }
    sent_.push_back(sent);
    pending_[sent.id] = std::move(handler);
    return sent.id;
}

void FakeSipStack::sendStateless(const OutgoingRequest& request) {
    if (failStateless_) {
        throw SipException(request.method + " no enviado: fallo de transporte");
    }
    Sent sent;
    sent.stateful = false;
    sent.request = request;
    sent_.push_back(sent);
}

void FakeSipStack::cancelRequest(RequestId id) {
    pending_.erase(id);
}

std::vector<FakeSipStack::SessionOp> FakeSipStack::sessionOpsOf(SessionId id) const {
    std::vector<SessionOp> ops;
    for (const SessionOp& op : sessionOps_) {
        if (op.id == id) {
            ops.push_back(op);
        }
    }
    return ops;
}

const OutgoingInvite* FakeSipStack::invite(SessionId id) const {
    auto it = sessions_.find(id);
    return it != sessions_.end() && it->second.client ? &it->second.invite : nullptr;
}

bool FakeSipStack::sessionEnded(SessionId id) const {
    auto it = sessions_.find(id);
    return it == sessions_.end() || it->second.ended;
}

std::string FakeSipStack::makeInvite(const std::string& from, const std::string& requestUri,
                                     const std::string& sdp, const std::string& callId) {
    std::string text = "INVITE " + requestUri + " SIP/2.0\r\n";
    text += "Via: SIP/2.0/UDP 192.0.2.30:5060;branch=z9hG4bK" + callId + "\r\n";
    text += "From: " + from + ";tag=caller-" + callId + "\r\n";
    text += "To: <" + requestUri + ">\r\n";
    text += "Call-ID: " + callId + "\r\n";
    text += "CSeq: 1 INVITE\r\n";
    text += "Contact: <sip:caller@192.0.2.30:5060>\r\n";
    if (!sdp.empty()) {
        text += "Content-Type: application/sdp\r\n";
    }
    text += "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    return text;
}

void FakeSipStack::queueSessionEvent(SessionId id, std::function<void()> event) {
    sessionEvents_.push_back([this, id, event = std::move(event)] {
        auto it = sessions_.find(id);
        if (listener_ && it != sessions_.end() && !it->second.ended) {
            event();
        }
    });
}

FakeSipStack::SessionId FakeSipStack::incomingInvite(const std::string& raw) {
    SessionId id = ++lastSession_;
    sessions_[id].client = false;
    SipMessage invite = SipMessage::parse(raw);
    queueSessionEvent(id, [this, id, invite] { listener_->onIncoming(id, invite); });
    return id;
}

SipMessage FakeSipStack::responseTo(SessionId id, int code, const std::string& sdp) const {
    const OutgoingInvite& invite = sessions_.at(id).invite;
    std::string text = "SIP/2.0 " + std::to_string(code) + " Fake\r\n";
    text += "Via: SIP/2.0/UDP " + localHost_ + ":" + std::to_string(localPort_) +
            ";branch=z9hG4bKs" + std::to_string(id) + "\r\n";
    text += "To: <" + invite.requestUri + ">;tag=callee-" + std::to_string(id) + "\r\n";
    text += "From: <" + invite.fromUri + ">;tag=caller-" + std::to_string(id) + "\r\n";
    text += "Call-ID: out-" + std::to_string(id) + "\r\n";
    text += "CSeq: 1 INVITE\r\n";
    text += "Contact: <sip:callee@192.0.2.20:5060>\r\n";
    if (!sdp.empty()) {
        text += "Content-Type: application/sdp\r\n";
    }
    text += "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    return SipMessage::parse(text);
}

void FakeSipStack::sessionProgress(SessionId id, int code, const std::string& sdp) {
    SipMessage response = responseTo(id, code, sdp);
    queueSessionEvent(id, [this, id, response] { listener_->onProgress(id, response); });
}

void FakeSipStack::sessionAnswered(SessionId id, const std::string& sdp) {
    SipMessage response = responseTo(id, 200, sdp);
    queueSessionEvent(id, [this, id, response] { listener_->onAnswered(id, response); });
}

void FakeSipStack::sessionAcknowledged(SessionId id) {
    SipMessage ack = SipMessage::parse("ACK sip:me@192.0.2.10 SIP/2.0\r\nVia: SIP/2.0/UDP "
                                       "192.0.2.30;branch=z9hG4bKa\r\nCall-ID: in\r\nCSeq: "
                                       "1 ACK\r\nContent-Length: 0\r\n\r\n");
    queueSessionEvent(id, [this, id, ack] { listener_->onAcknowledged(id, ack); });
}

void FakeSipStack::sessionFailed(SessionId id, int code) {
    SessionEnd end;
    end.kind = SessionEnd::Kind::Failed;
    end.message = responseTo(id, code, "");
    queueSessionEvent(id, [this, id, end] {
        sessions_[id].ended = true;
        listener_->onClosed(id, end);
    });
}

void FakeSipStack::sessionTimedOut(SessionId id) {
    SessionEnd end;
    end.kind = SessionEnd::Kind::Failed;
    end.message = SipMessage::makeLocalResponse(408, "Request Timeout");
    queueSessionEvent(id, [this, id, end] {
        sessions_[id].ended = true;
        listener_->onClosed(id, end);
    });
}

void FakeSipStack::sessionEndedByPeer(SessionId id) {
    queueSessionEvent(id, [this, id] {
        sessions_[id].ended = true;
        SessionEnd end;
        end.kind = SessionEnd::Kind::PeerEnded;
        listener_->onClosed(id, end);
    });
}

std::string FakeSipStack::reinvite(SessionId id, const std::string& offer) {
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.ended) {
        return std::string();
    }
    if (!offer.empty()) {
        std::string text = makeInvite("<sip:peer@192.0.2.30>", "sip:me@192.0.2.10", offer,
                                      "re-" + std::to_string(id));
        text.replace(text.find("CSeq: 1 "), 8, "CSeq: 2 ");
        SipMessage request = SipMessage::parse(text);
        queueSessionEvent(id, [this, id, request] { listener_->onReoffer(id, request); });
    }
    return it->second.localSdp;
}

FakeSipStack::SessionId FakeSipStack::startSession(const OutgoingInvite& invite) {
    if (failSessionStart_) {
        throw SipException("INVITE no enviado: fallo de transporte");
    }
    SessionId id = ++lastSession_;
    Session& session = sessions_[id];
    session.client = true;
    session.invite = invite;
    session.localSdp = invite.sdp;
    lastStarted_ = id;
    sessionOps_.push_back({id, "start", 0, invite.sdp});
    return id;
}

void FakeSipStack::progressSession(SessionId id, int code, const std::string&,
                                   const std::string& sdp) {
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.ended) {
        return;
    }
    sessionOps_.push_back({id, "progress", code, sdp});
}

void FakeSipStack::answerSession(SessionId id, int code, const std::string&,
                                 const std::string& sdp) {
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.ended) {
        return;
    }
    it->second.localSdp = sdp;
    sessionOps_.push_back({id, "answer", code, sdp});
}

void FakeSipStack::rejectSession(SessionId id, int code, const std::string&) {
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.ended) {
        return;
    }
    it->second.ended = true;
    sessionOps_.push_back({id, "reject", code, ""});
}

void FakeSipStack::endSession(SessionId id) {
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.ended) {
        return;
    }
    it->second.ended = true;
    sessionOps_.push_back({id, "end", 0, ""});
}

} // namespace sipua
