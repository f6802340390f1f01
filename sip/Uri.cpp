#include "sip/Uri.h"

#include "sip/LibreApi.h"
#include "sip/SipException.h"

namespace sipua {

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
        text += user_ + "@";
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
