#include "sip/DialogUsageManager.h"

#include <cstdio>

#include "platform/core/Clock.h"
#include "sip/SipException.h"
#include "sip/SipTrace.h"

namespace sipua {

DialogUsageManager::DialogUsageManager(SipStack& stack)
    : stack_(stack), handles_(std::make_shared<HandleTable>()),
      profile_(std::make_shared<MasterProfile>()) {}

DialogUsageManager::~DialogUsageManager() {
    // Registrations cancel their requests in the stack, which is still alive; live sessions
    // are ended there too, so no peer is left connected.
    registrations_.clear();
    for (auto& [id, session] : sessions_) {
        if (!session->isTerminated()) {
            stack_.endSession(session->stackId_);
        }
    }
    sessions_.clear();
    if (inviteHandler_) {
        stack_.setSessionListener(nullptr);
    }
    handles_->clear();
}

void DialogUsageManager::addTransport(TransportType type, int port, IpVersion version,
                                      const std::string& bindAddress) {
    stack_.addTransport(type, port, version, bindAddress);
}

void DialogUsageManager::setMasterProfile(const std::shared_ptr<MasterProfile>& profile) {
    profile_ = profile ? profile : std::make_shared<MasterProfile>();
}

void DialogUsageManager::setClientRegistrationHandler(ClientRegistrationHandler* handler) {
    registrationHandler_ = handler;
}

void DialogUsageManager::setClientAuthManager(std::unique_ptr<ClientAuthManager> manager) {
    authManager_ = std::move(manager);
}

void DialogUsageManager::setInviteSessionHandler(InviteSessionHandler* handler) {
    inviteHandler_ = handler;
    stack_.setSessionListener(handler ? &sessionEvents_ : nullptr);
}

SipMessagePtr DialogUsageManager::makeInviteSession(const NameAddr& target,
                                                    const SdpContents& offer,
                                                    ClientInviteSessionHandle* session) {
    if (shutdownRequested_) {
        throw SipException("makeInviteSession despues de shutdown");
    }
    std::string host;
    int port = 0;
    if (!stack_.localAddress(&host, &port)) {
        throw SipException("makeInviteSession sin transporte");
    }
    NameAddr from = profile_->getDefaultFrom();
    from.removeParam("tag");
    NameAddr to(target.uri());
    to.displayName(target.displayName());

    OutgoingInvite invite;
    invite.requestUri = target.uri().toString();
    invite.fromUri = from.uri().toString();
    invite.fromName = from.displayName();
    invite.contactUser = from.uri().user();
    invite.route = profile_->getOutboundProxy();
    invite.userAgent = profile_->getUserAgent();
    invite.sdp = offer.encode();
    std::shared_ptr<MasterProfile> profile = profile_;
    invite.credentials = [profile](const std::string& realm, std::string* user,
                                   std::string* password) {
        MasterProfile::DigestCredential credential;
        if (!profile->getDigestCredential(realm, &credential)) {
            return false;
        }
        *user = credential.user;
        *password = credential.password;
        return true;
    };

    // The INVITE as it will leave (without what the stack adds).
    std::string text = "INVITE " + invite.requestUri + " SIP/2.0\r\n";
    text += "Via: SIP/2.0/UDP " + host + ":" + std::to_string(port) + ";branch=z9hG4bK0\r\n";
    text += "To: " + to.toString() + "\r\n";
    text += "From: " + from.toString() + "\r\n";
    text += "Call-ID: 0\r\n";
    text += "CSeq: 1 INVITE\r\n";
    text += "Contact: <" + Uri(from.uri().user(), host, port).toString() + ">\r\n";
    text += "Content-Type: application/sdp\r\n";
    text += "Content-Length: " + std::to_string(invite.sdp.size()) + "\r\n\r\n" + invite.sdp;
    auto message = std::make_shared<SipMessage>(SipMessage::parse(text));

    std::unique_ptr<InviteSession> created(new InviteSession(*this, true, to, from));
    uint64_t id = handles_->add(created.get());
    created->handle_ = InviteSessionHandle(handles_, id);
    if (session) {
        *session = ClientInviteSessionHandle(created->handle_);
    }
    sessions_[id] = std::move(created);
    unsentInvites_[message] = {id, std::move(invite)};
    return message;
}

SipMessagePtr DialogUsageManager::makeRegistration(const NameAddr& target, int seconds) {
    if (shutdownRequested_) {
        throw SipException("makeRegistration despues de shutdown");
    }
    std::string host;
    int port = 0;
    if (!stack_.localAddress(&host, &port)) {
        throw SipException("makeRegistration sin transporte");
    }
    NameAddr contact(Uri(target.uri().user(), host, port));
    std::unique_ptr<ClientRegistration> registration(
        new ClientRegistration(*this, target, seconds, contact));
    uint64_t id = handles_->add(registration.get());
    registration->handle_ = ClientRegistrationHandle(handles_, id);

    // The REGISTER as it will leave (without the stack's Via and Max-Forwards).
    NameAddr from = registration->aor_;
    from.setParam("tag", registration->fromTag_);
    Uri requestUri = target.uri();
    requestUri.user("");
    std::string text = "REGISTER " + requestUri.toString() + " SIP/2.0\r\n";
    text += "Via: SIP/2.0/UDP " + host + ":" + std::to_string(port) + ";branch=z9hG4bK0\r\n";
    text += "To: " + registration->aor_.toString() + "\r\n";
    text += "From: " + from.toString() + "\r\n";
    text += "Call-ID: " + registration->callId_ + "\r\n";
    text += "CSeq: 1 REGISTER\r\n";
    text += "Contact: " + contact.toString() + "\r\n";
    text += "Expires: " + std::to_string(seconds) + "\r\n";
    text += "Content-Length: 0\r\n\r\n";
    auto message = std::make_shared<SipMessage>(SipMessage::parse(text));

    registrations_[id] = std::move(registration);
    unsent_[message] = id;
    return message;
}

void DialogUsageManager::send(const SipMessagePtr& message) {
    auto invite = unsentInvites_.find(message);
    if (invite != unsentInvites_.end()) {
        uint64_t id = invite->second.first;
        OutgoingInvite outgoing = std::move(invite->second.second);
        unsentInvites_.erase(invite);
        auto session = sessions_.find(id);
        if (session == sessions_.end()) {
            throw SipException("send: la sesion ya no existe");
        }
        try {
            session->second->stackId_ = stack_.startSession(outgoing);
        } catch (...) {
            handles_->remove(id);
            sessions_.erase(session);
            throw;
        }
        return;
    }
    auto it = unsent_.find(message);
    if (it == unsent_.end()) {
        throw SipException("send: el mensaje no es de este gestor o ya se envio");
    }
    uint64_t id = it->second;
    unsent_.erase(it);
    auto reg = registrations_.find(id);
    if (reg == registrations_.end()) {
        throw SipException("send: el registro ya no existe");
    }
    reg->second->start();
}

void DialogUsageManager::post(std::function<void()> event) {
    events_.push_back(std::move(event));
}

bool DialogUsageManager::process() {
    reap();
    uint32_t now = plat::TimeMs();
    if (shutdownRequested_ && !shutdownReported_ &&
        static_cast<uint32_t>(now - shutdownStart_) >= giveUpMs_) {
        if (!registrations_.empty()) {
            char text[96];
            std::snprintf(text, sizeof(text),
                          "DialogUsageManager: cierre forzado, %zu registro(s) abandonado(s)",
                          registrations_.size());
            Trace(text);
        }
        registrations_.clear();
        events_.clear();
        checkShutdownDone();
    }
    for (auto& [id, registration] : registrations_) {
        registration->checkTimers(now);
    }
    if (!events_.empty()) {
        std::function<void()> event = std::move(events_.front());
        events_.pop_front();
        event();
        reap();
    }
    return !events_.empty();
}

void DialogUsageManager::reap() {
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->second->isTerminated() && it->second->terminatedReported_) {
            handles_->remove(it->first);
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = registrations_.begin(); it != registrations_.end();) {
        if (it->second->ended_) {
            handles_->remove(it->first);
            it = registrations_.erase(it);
        } else {
            ++it;
        }
    }
    checkShutdownDone();
}

void DialogUsageManager::shutdown(DumShutdownHandler* handler, unsigned giveUpSeconds) {
    if (shutdownRequested_) {
        shutdownHandler_ = handler;
        return;
    }
    shutdownRequested_ = true;
    shutdownHandler_ = handler;
    shutdownStart_ = plat::TimeMs();
    giveUpMs_ = giveUpSeconds * 1000u;
    unsent_.clear();
    unsentInvites_.clear();
    // Calls end now (CANCEL, BYE or 486), without handler calls.
    for (auto& [id, session] : sessions_) {
        if (!session->isTerminated()) {
            stack_.endSession(session->stackId_);
            session->state_ = InviteSession::State::Terminated;
        }
        session->terminatedReported_ = true;
    }
    for (auto& [id, registration] : registrations_) {
        bool removing = registration->state_ == ClientRegistration::State::Removing &&
                        registration->request_ != 0;
        if (!removing) {
            registration->stop();
            registration->ended_ = true;
        }
    }
    // The ended ones are erased by the next process(): a handler may be calling from inside
    // one of them right now.
}

void DialogUsageManager::checkShutdownDone() {
    if (!shutdownRequested_ || shutdownReported_ || !registrations_.empty()) {
        return;
    }
    shutdownReported_ = true;
    handles_->clear();
    DumShutdownHandler* handler = shutdownHandler_;
    post([handler] {
        if (handler) {
            handler->onDumCanBeDeleted();
        }
    });
}

} // namespace sipua

namespace sipua {

InviteSession* DialogUsageManager::findSession(uint64_t id) const {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : it->second.get();
}

InviteSession* DialogUsageManager::findByStackId(SipStack::SessionId id) const {
    for (const auto& [handleId, session] : sessions_) {
        if (session->stackId_ == id) {
            return session.get();
        }
    }
    return nullptr;
}

void DialogUsageManager::postSessionEvent(SipStack::SessionId id,
                                          std::function<void(InviteSession&)> event) {
    post([this, id, event = std::move(event)] {
        InviteSession* session = findByStackId(id);
        if (session && !session->isTerminated() && inviteHandler_) {
            event(*session);
        }
    });
}

void DialogUsageManager::reportNewClientSession(InviteSession& session,
                                                const SipMessage& response) {
    if (session.newSessionReported_) {
        return;
    }
    session.newSessionReported_ = true;
    inviteHandler_->onNewSession(ClientInviteSessionHandle(session.handle_),
                                 OfferAnswerType::Answer, response);
}

namespace {

// The SDP of a message: parsed from its body, or nullopt without a body. A body that is no
// SDP at all reads as an empty description (no media).
std::optional<SdpContents> BodySdp(const SipMessage& message) {
    if (message.body().empty()) {
        return std::nullopt;
    }
    std::optional<SdpContents> sdp = SdpContents::parse(message.body());
    if (!sdp) {
        Trace("DialogUsageManager: SDP no valido en el mensaje");
        return SdpContents();
    }
    return sdp;
}

} // namespace

void DialogUsageManager::SessionEvents::onIncoming(SessionId id, const SipMessage& invite) {
    DialogUsageManager& dum = dum_;
    if (dum.shutdownRequested_ || !dum.inviteHandler_) {
        dum.stack_.rejectSession(id, 480, "Temporarily Unavailable");
        return;
    }
    NameAddr to = invite.to();
    to.removeParam("tag");
    std::unique_ptr<InviteSession> session(new InviteSession(dum, false, invite.from(), to));
    session->stackId_ = id;
    uint64_t handleId = dum.handles_->add(session.get());
    session->handle_ = InviteSessionHandle(dum.handles_, handleId);
    dum.sessions_[handleId] = std::move(session);
    dum.postSessionEvent(id, [&dum, invite](InviteSession& s) {
        std::optional<SdpContents> offer = BodySdp(invite);
        dum.inviteHandler_->onNewSession(ServerInviteSessionHandle(s.handle_),
                                         offer ? OfferAnswerType::Offer : OfferAnswerType::None,
                                         invite);
        if (s.isTerminated() || !dum.inviteHandler_) {
            return;
        }
        if (offer) {
            dum.inviteHandler_->onOffer(s.handle_, invite, *offer);
        } else {
            dum.inviteHandler_->onOfferRequired(s.handle_, invite);
        }
    });
}

void DialogUsageManager::SessionEvents::onProgress(SessionId id, const SipMessage& response) {
    if (response.statusCode() <= 100) {
        return; // 100 Trying is hop by hop
    }
    DialogUsageManager& dum = dum_;
    dum.postSessionEvent(id, [&dum, response](InviteSession& s) {
        dum.reportNewClientSession(s, response);
        if (s.state_ == InviteSession::State::Calling) {
            s.state_ = InviteSession::State::Early;
        }
        ClientInviteSessionHandle h(s.handle_);
        dum.inviteHandler_->onProvisional(h, response);
        if (s.isTerminated() || !dum.inviteHandler_) {
            return;
        }
        std::optional<SdpContents> sdp = BodySdp(response);
        if (sdp) {
            s.earlySdp_ = sdp;
            dum.inviteHandler_->onEarlyMedia(h, response, *sdp);
        }
    });
}

void DialogUsageManager::SessionEvents::onAnswered(SessionId id, const SipMessage& response) {
    DialogUsageManager& dum = dum_;
    dum.postSessionEvent(id, [&dum, response](InviteSession& s) {
        dum.reportNewClientSession(s, response);
        if (s.isTerminated()) {
            return;
        }
        s.state_ = InviteSession::State::Connected;
        // A 2xx without SDP after early media confirms the early answer.
        std::optional<SdpContents> sdp = BodySdp(response);
        SdpContents answer = sdp ? *sdp : s.earlySdp_.value_or(SdpContents());
        dum.inviteHandler_->onAnswer(s.handle_, response, answer);
        if (s.isTerminated() || !dum.inviteHandler_) {
            return;
        }
        dum.inviteHandler_->onConnected(ClientInviteSessionHandle(s.handle_), response);
    });
}

void DialogUsageManager::SessionEvents::onAcknowledged(SessionId id, const SipMessage& ack) {
    DialogUsageManager& dum = dum_;
    dum.postSessionEvent(id, [&dum, ack](InviteSession& s) {
        s.state_ = InviteSession::State::Connected;
        dum.inviteHandler_->onConnected(s.handle_, ack);
    });
}

void DialogUsageManager::SessionEvents::onReoffer(SessionId id, const SipMessage& reinvite) {
    DialogUsageManager& dum = dum_;
    dum.postSessionEvent(id, [&dum, reinvite](InviteSession& s) {
        std::optional<SdpContents> offer = BodySdp(reinvite);
        bool established = s.state_ == InviteSession::State::Connected ||
                           s.state_ == InviteSession::State::Accepted;
        if (offer && established) {
            dum.inviteHandler_->onOffer(s.handle_, reinvite, *offer);
        }
    });
}

void DialogUsageManager::SessionEvents::onClosed(SessionId id, const SessionEnd& end) {
    DialogUsageManager& dum = dum_;
    dum.postSessionEvent(id, [&dum, end](InviteSession& s) {
        bool wasConnected = s.isConnected();
        InviteSession::State before = s.state_;
        s.state_ = InviteSession::State::Terminated;
        s.terminatedReported_ = true;
        TerminatedReason reason = TerminatedReason::Error;
        const SipMessage* related = end.message ? &*end.message : nullptr;
        if (end.kind == SessionEnd::Kind::PeerEnded) {
            reason = wasConnected || before == InviteSession::State::Accepted
                         ? TerminatedReason::RemoteBye
                         : TerminatedReason::RemoteCancel;
        } else if (s.isClient() && !wasConnected) {
            SipMessage failure = end.message
                                     ? *end.message
                                     : SipMessage::makeLocalResponse(503, "Service Unavailable");
            reason = failure.statusCode() == 408 && !failure.isFromWire()
                         ? TerminatedReason::Timeout
                         : (end.kind == SessionEnd::Kind::Error ? TerminatedReason::Error
                                                                : TerminatedReason::Rejected);
            if (dum.inviteHandler_) {
                dum.inviteHandler_->onFailure(ClientInviteSessionHandle(s.handle_), failure);
            }
        }
        if (dum.inviteHandler_) {
            dum.inviteHandler_->onTerminated(s.handle_, reason, related);
        }
    });
}

} // namespace sipua
