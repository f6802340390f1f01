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
    // Registrations cancel their requests in the stack, which is still alive.
    registrations_.clear();
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
