#pragma once
#include <string>
#include <string_view>

namespace sipua {

// A SIP URI: scheme, user, host, port (0 = none given) and the raw parameter text (";lr;...").
class Uri {
public:
    Uri() = default;
    Uri(std::string user, std::string host, int port = 0)
        : user_(std::move(user)), host_(std::move(host)), port_(port) {}

    // Parses "sip:user@host:port;params"; throws SipException when it is not such a URI.
    static Uri parse(std::string_view text);

    const std::string& scheme() const { return scheme_; }
    const std::string& user() const { return user_; }
    const std::string& host() const { return host_; }
    int port() const { return port_; }
    const std::string& params() const { return params_; }

    Uri& scheme(std::string value) {
        scheme_ = std::move(value);
        return *this;
    }
    Uri& user(std::string value) {
        user_ = std::move(value);
        return *this;
    }
    Uri& host(std::string value) {
        host_ = std::move(value);
        return *this;
    }
    Uri& port(int value) {
        port_ = value;
        return *this;
    }
    Uri& params(std::string value) {
        params_ = std::move(value);
        return *this;
    }

    // "sip:user@host:port;params"; an IPv6 host goes in brackets. Characters the user part
    // may not hold (blanks, line breaks, '@', ...) are %-escaped; existing escapes stay.
    std::string toString() const;

    bool operator==(const Uri& other) const = default;

private:
    std::string scheme_ = "sip";
    std::string user_;
    std::string host_;
    int port_ = 0;
    std::string params_;
};

} // namespace sipua
