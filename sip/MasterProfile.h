#pragma once
#include <optional>
#include <string>
#include <vector>

#include "sip/NameAddr.h"
#include "sip/Uri.h"

namespace sipua {

// The settings every request of the manager takes: registration time, User-Agent, outbound
// proxy, default From and the digest credentials.
class MasterProfile {
public:
    struct DigestCredential {
        std::string realm;
        std::string user;
        std::string password;
    };

    void setDefaultRegistrationTime(int seconds) { registrationTime_ = seconds; }
    int getDefaultRegistrationTime() const { return registrationTime_; }

    void setUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }
    const std::string& getUserAgent() const { return userAgent_; }

    // Requests outside a dialog go to this URI's host and port instead of the Request-URI's.
    void setOutboundProxy(const Uri& proxy) { outboundProxy_ = proxy; }
    void unsetOutboundProxy() { outboundProxy_.reset(); }
    bool hasOutboundProxy() const { return outboundProxy_.has_value(); }
    const std::optional<Uri>& getOutboundProxy() const { return outboundProxy_; }

    void setDefaultFrom(const NameAddr& from) { defaultFrom_ = from; }
    const NameAddr& getDefaultFrom() const { return defaultFrom_; }

    // Adds or replaces the credential of `realm`.
    void setDigestCredential(const std::string& realm, const std::string& user,
                             const std::string& password);
    // The credential for a challenge's realm: the one of that realm, else the first one held
    // (the challenge is then answered with its own realm). False when none is held.
    bool getDigestCredential(const std::string& realm, DigestCredential* out) const;
    void clearDigestCredentials() { credentials_.clear(); }

private:
    int registrationTime_ = 3600;
    std::string userAgent_;
    std::optional<Uri> outboundProxy_;
    NameAddr defaultFrom_;
    std::vector<DigestCredential> credentials_;
};

} // namespace sipua
