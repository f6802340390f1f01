#include "sip/ClientRegistration.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>

#include "platform/core/Clock.h"
#include "sip/DialogUsageManager.h"
#include "sip/RegistrationAck.h"
#include "sip/SipException.h"
#include "sip/SipTrace.h"

namespace sipua {
namespace {

std::string RandomHex(int digits) {
    static std::mt19937_64 generator{std::random_device{}()};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < digits; ++i) {
        text += kHex[generator() & 15];
    }
    return text;
}

// The longest a refresh waits, whatever time the registrar grants: a day. Longer delays would
// also leave the range of the millisecond timers.
constexpr int64_t kMaxRefreshSeconds = 24 * 60 * 60;

// Refresh a little before the bindings expire: 90 % of the time, at most 5 s before it, and
// never sooner than 1 s nor later than a day.
uint32_t RefreshDelayMs(int expires) {
    int64_t granted = expires;
    int64_t seconds = std::min(granted - 5, granted * 9 / 10);
    seconds = std::clamp<int64_t>(seconds, 1, kMaxRefreshSeconds);
    return static_cast<uint32_t>(seconds * 1000);
}

bool SameAddress(const Uri& a, const Uri& b) {
    int pa = a.port() ? a.port() : 5060;
    int pb = b.port() ? b.port() : 5060;
    return a.user() == b.user() && a.host() == b.host() && pa == pb;
}

// The number a header value begins with, held to the range of int (peers send any digits).
int LeadingInt(const std::string& text, int fallback) {
    const char* p = text.c_str();
    char* end = nullptr;
    long long value = std::strtoll(p, &end, 10);
    if (end == p) {
        return fallback;
    }
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

} // namespace

ClientRegistration::ClientRegistration(DialogUsageManager& dum, const NameAddr& aor, int seconds,
                                       const NameAddr& contact)
    : dum_(dum), aor_(aor), contact_(contact), callId_(RandomHex(20)), fromTag_(RandomHex(8)),
      registrationTime_(seconds) {
    aor_.removeParam("tag");
}

ClientRegistration::~ClientRegistration() {
    stop();
}

void ClientRegistration::stop() {
    if (request_) {
        dum_.stack().cancelRequest(request_);
        request_ = 0;
        ++attempt_;
    }
    timerArmed_ = false;
}

void ClientRegistration::start() {
    state_ = State::Adding;
    sendRegister(registrationTime_);
}

void ClientRegistration::sendRegister(int expires) {
    const MasterProfile& profile = *dum_.getMasterProfile();
    NameAddr from = aor_;
    from.setParam("tag", fromTag_);
    Uri requestUri = aor_.uri();
    requestUri.user("");

    OutgoingRequest request;
    request.method = "REGISTER";
    request.requestUri = requestUri.toString();
    request.route = profile.getOutboundProxy();
    request.headers = "To: " + aor_.toString() + "\r\n";
    request.headers += "From: " + from.toString() + "\r\n";
    request.headers += "Call-ID: " + callId_ + "\r\n";
    request.headers += "CSeq: " + std::to_string(++cseq_) + " REGISTER\r\n";
    request.headers += "Contact: " + contact_.toString() + "\r\n";
    request.headers += "Expires: " + std::to_string(expires) + "\r\n";
    if (!profile.getUserAgent().empty()) {
        request.headers += "User-Agent: " + profile.getUserAgent() + "\r\n";
    }
    request.headers += "Content-Length: 0\r\n\r\n";

    lastExpires_ = expires;
    timerArmed_ = false;
    uint64_t id = handle_.getId();
    uint64_t attempt = ++attempt_;
    DialogUsageManager* dum = &dum_;
    request_ =
        dum_.stack().sendRequest(request, auth_.get(), [dum, id, attempt](const SipMessage& m) {
            dum->post([dum, id, attempt, m] {
                auto it = dum->registrations_.find(id);
                if (it != dum->registrations_.end()) {
                    it->second->dispatch(m, attempt);
                }
            });
        });
}

void ClientRegistration::removeMyBindings(bool stopRegisteringWhenDone) {
    if (ended_) {
        return;
    }
    stop();
    challengesInARow_ = 0;
    stopWhenDone_ = stopRegisteringWhenDone;
    state_ = State::Removing;
    sendRegister(0);
}

void ClientRegistration::dispatch(const SipMessage& response, uint64_t attempt) {
    if (response.statusCode() < 200 || ended_) {
        return;
    }
    if (attempt != attempt_) {
        // The answer to a REGISTER dropped or replaced while the answer waited in the queue:
        // a 2xx is still acknowledged, but it says nothing about the request now in flight.
        Trace("ClientRegistration: respuesta a un REGISTER anterior, ignorada");
        if (response.statusCode() < 300) {
            try {
                sendAck(response);
            } catch (const std::exception& e) {
                Trace(("ClientRegistration: ACK no enviado: " + std::string(e.what())).c_str());
            }
        }
        return;
    }
    request_ = 0;
    try {
        dispatchFinal(response);
    } catch (const std::exception& e) {
        // Whatever throws while a final response is handled (the ACK, a new request, a
        // handler) ends the registration as a failure, so nothing waits on it for ever.
        Trace(("Exception in ClientRegistration::dispatch: " + std::string(e.what())).c_str());
        if (!ended_) {
            endWithFailure(response);
        }
    }
}

void ClientRegistration::dispatchFinal(const SipMessage& response) {
    int code = response.statusCode();
    bool challenge = code == 401 || code == 407;
    if (!challenge) {
        challengesInARow_ = 0;
    }
    if (code < 300) {
        sendAck(response);
        onSuccessResponse(response);
        return;
    }
    if (challenge && dum_.clientAuthManager()) {
        // A challenge with a nonce not answered yet is answered, stale flag or not (a
        // registrar's nonces expire); the digest session refuses a nonce it has answered
        // already, which fails the registration. A registrar that challenges every answer with
        // a fresh nonce would otherwise get a new REGISTER for ever: at most two challenges in
        // a row are answered without a final answer between them, and a third fails.
        if (++challengesInARow_ > kMaxChallengesInARow) {
            Trace("ClientRegistration: desafio repetido sin progreso");
            fail(response);
            return;
        }
        if (!auth_) {
            auth_ = dum_.stack().makeDigestSession(
                [this](const std::string& realm, std::string* user, std::string* password) {
                    MasterProfile::DigestCredential credential;
                    if (!dum_.getMasterProfile()->getDigestCredential(realm, &credential)) {
                        return false;
                    }
                    *user = credential.user;
                    *password = credential.password;
                    return true;
                });
        }
        if (auth_->authenticate(response)) {
            sendRegister(lastExpires_);
            return;
        }
        Trace("ClientRegistration: desafio de autenticacion no respondido");
        fail(response);
        return;
    }
    if (code == 423 && !triedMinExpires_ && state_ != State::Removing) {
        int minExpires = LeadingInt(response.header("Min-Expires").value_or(""), 0);
        if (minExpires > 0) {
            triedMinExpires_ = true;
            registrationTime_ = minExpires;
            sendRegister(minExpires);
            return;
        }
    }
    if (maybeRetry(response)) {
        return;
    }
    fail(response);
}

void ClientRegistration::onSuccessResponse(const SipMessage& response) {
    ClientRegistrationHandler* handler = dum_.registrationHandler();
    if (state_ == State::Removing) {
        state_ = State::Removed;
        if (stopWhenDone_) {
            ended_ = true;
        }
        if (handler) {
            handler->onRemoved(handle_, response);
        }
        return;
    }
    int expires = expiryFrom(response);
    if (expires <= 0) {
        // A registrar that grants our binding no time would leave us unreachable with nothing
        // to renew it: renew on the time we asked for instead.
        expires = lastExpires_;
    }
    state_ = State::Registered;
    if (expires > 0 && !dum_.shuttingDown()) {
        timerArmed_ = true;
        timerAt_ = plat::TimeMs() + RefreshDelayMs(expires);
        retryState_ = State::Refreshing;
    }
    if (handler) {
        handler->onSuccess(handle_, response);
    }
}

bool ClientRegistration::maybeRetry(const SipMessage& response) {
    int code = response.statusCode();
    auto retryAfter = response.header("Retry-After");
    // Only a time-out asks for a retry: the registrar's 408, or the stack's own time-out or
    // transport failure, which stand for one. Every other final failure fails.
    bool retriable = code == 408 || (code == 503 && !response.isFromWire());
    ClientRegistrationHandler* handler = dum_.registrationHandler();
    if (!retriable || !handler || dum_.shuttingDown()) {
        return false;
    }
    State before = state_;
    int seconds =
        handler->onRequestRetry(handle_, LeadingInt(retryAfter.value_or("0"), 0), response);
    if (ended_ || state_ != before || request_) {
        return true; // the handler removed or restarted the registration itself
    }
    if (seconds < 0) {
        return false;
    }
    retryState_ = state_ == State::Removing ? State::Removing : State::Adding;
    state_ = State::Retrying;
    timerArmed_ = true;
    timerAt_ = plat::TimeMs() + static_cast<uint32_t>(seconds) * 1000u;
    return true;
}

void ClientRegistration::fail(const SipMessage& response) {
    char text[96];
    std::snprintf(text, sizeof(text), "ClientRegistration: registro fallido, codigo %d",
                  response.statusCode());
    Trace(text);
    endWithFailure(response);
}

void ClientRegistration::endWithFailure(const SipMessage& response) {
    stop();
    ClientRegistrationHandler* handler = dum_.registrationHandler();
    if (failureReported_ || !handler) {
        // The removal asked for by onFailure failed too: the handler has heard of the
        // failure once, and the registration ends now.
        ended_ = true;
        return;
    }
    failureReported_ = true;
    // The handler may still remove the bindings (removeMyBindings); the registration ends
    // when that removal ends, else as soon as the handler returns.
    handler->onFailure(handle_, response);
    if (!(state_ == State::Removing && request_ != 0)) {
        ended_ = true;
    }
}

void ClientRegistration::sendAck(const SipMessage& response) {
    if (!response.from().hasTag() || !response.to().hasTag()) {
        Trace("ClientRegistration: 2xx sin tag en From o To; el ACK va sin ese tag");
    }
    // An ACK that cannot be built or sent throws on: the caller ends the registration.
    dum_.stack().sendStateless(MakeRegistrationAck(aor_, response, *dum_.getMasterProfile()));
}

int ClientRegistration::expiryFrom(const SipMessage& response) const {
    for (const NameAddr& contact : response.contacts()) {
        if (SameAddress(contact.uri(), contact_.uri()) && contact.exists("expires")) {
            return LeadingInt(contact.param("expires"), lastExpires_);
        }
    }
    if (auto expires = response.header("Expires")) {
        return LeadingInt(*expires, lastExpires_);
    }
    return lastExpires_;
}

void ClientRegistration::checkTimers(uint32_t now) {
    if (!timerArmed_ || ended_ || static_cast<int32_t>(now - timerAt_) < 0) {
        return;
    }
    timerArmed_ = false;
    challengesInARow_ = 0;
    if (retryState_ == State::Removing) {
        state_ = State::Removing;
        sendRegister(0);
    } else {
        state_ = retryState_ == State::Refreshing ? State::Refreshing : State::Adding;
        sendRegister(registrationTime_);
    }
}

} // namespace sipua
