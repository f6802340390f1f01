#include "sip/Uri.h"

#include <cstring>

#include "sip/LibreApi.h"
#include "sip/SipException.h"

namespace sipua {
namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The user part as it may stand in a URI: characters outside the user set (blanks, line
// breaks, '@', '<', '>', ':', quotes, ...) are %-escaped, so a typed name can never end the
// URI or the header line early. Escapes already present (a parsed URI) stay as they are.
std::string EscapeUser(const std::string& user) {
    static const char kAllowed[] = "-_.!~*'()&=+$,;?/";
    static const char kHexDigits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < user.size(); ++i) {
        const char c = user[i];
        const auto u = static_cast<unsigned char>(c);
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    (c != '\0' && std::strchr(kAllowed, c) != nullptr) ||
                    (c == '%' && i + 2 < user.size() && IsHex(user[i + 1]) && IsHex(user[i + 2]));
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += kHexDigits[u >> 4];
            out += kHexDigits[u & 15];
        }
    }
    return out;
}

} // namespace

Uri Uri::parse(std::string_view text) {
    struct uri decoded;
    struct pl p = ToPl(text);
    if (text.empty() || uri_decode(&decoded, &p) != 0 || !pl_isset(&decoded.host)) {
        throw SipException("URI no valido: " + std::string(text));
    }
    Uri uri;
    uri.scheme_ = ToString(decoded.scheme);
    uri.user_ = ToString(decoded.user);
    uri.host_ = ToString(decoded.host);
    uri.port_ = decoded.port;
    uri.params_ = ToString(decoded.params);
    return uri;
}

std::string Uri::toString() const {
    std::string text = scheme_ + ":";
    if (!user_.empty()) {
        text += EscapeUser(user_) + "@";
    }
    if (host_.find(':') != std::string::npos) {
        text += "[" + host_ + "]";
    } else {
        text += host_;
    }
    if (port_ > 0) {
        text += ":" + std::to_string(port_);
    }
    return text + params_;
}

} // namespace sipua
