#include "sip/SipMessage.h"

#include <strings.h>

#include "sip/LibreApi.h"
#include "sip/LibreRef.h"
#include "sip/SipException.h"

namespace sipua {
namespace {

NameAddr FromTaddr(const struct sip_taddr& taddr) {
    std::string text = ToString(taddr.val);
    if (text.empty()) {
        return NameAddr();
    }
    try {
        return NameAddr::parse(text);
    } catch (const SipException&) {
        return NameAddr();
    }
}

// Splits a header value at the commas that stand outside quotes and angle brackets.
std::vector<std::string> SplitList(const std::string& value) {
    std::vector<std::string> parts;
    std::string current;
    bool quoted = false;
    int angle = 0;
    for (char c : value) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '<') {
            ++angle;
        } else if (!quoted && c == '>' && angle > 0) {
            --angle;
        } else if (!quoted && angle == 0 && c == ',') {
            parts.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(current);
    for (std::string& part : parts) {
        size_t first = part.find_first_not_of(" \t");
        size_t last = part.find_last_not_of(" \t");
        part = first == std::string::npos ? std::string() : part.substr(first, last - first + 1);
    }
    return parts;
}

struct HeaderWalk {
    std::vector<std::pair<std::string, std::string>>* headers;
    std::vector<NameAddr>* contacts;
};

bool CollectHeader(const struct sip_hdr* hdr, const struct sip_msg*, void* arg) {
    auto* walk = static_cast<HeaderWalk*>(arg);
    walk->headers->emplace_back(ToString(hdr->name), ToString(hdr->val));
    if (hdr->id == SIP_HDR_CONTACT) {
        for (const std::string& value : SplitList(ToString(hdr->val))) {
            try {
                walk->contacts->push_back(NameAddr::parse(value));
            } catch (const SipException&) {
                // A Contact that is not a SIP address ("*") is not one of the bindings.
            }
        }
    }
    return false;
}

} // namespace

SipMessage SipMessage::parse(std::string_view raw) {
    LibreRef<struct mbuf> mb(mbuf_alloc(raw.size() + 1));
    if (!mb) {
        throw SipException("sin memoria para el mensaje SIP");
    }
    mbuf_write_mem(mb.get(), reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
    mb->pos = 0;
    struct sip_msg* decoded = nullptr;
    int err = sip_msg_decode(&decoded, mb.get());
    LibreRef<struct sip_msg> msg(decoded);
    if (err || !msg) {
        throw SipException("mensaje SIP no valido");
    }
    return fromDecoded(msg.get());
}

SipMessage SipMessage::fromDecoded(const struct sip_msg* msg) {
    if (!msg) {
        throw SipException("mensaje SIP no valido");
    }
    SipMessage m;
    m.decoded_ = std::shared_ptr<const struct sip_msg>(AddRef(msg).release(), MemDeref());
    if (msg->mb) {
        // The whole datagram: libre's buffer holds it from its start to its end.
        m.raw_.assign(reinterpret_cast<const char*>(msg->mb->buf), msg->mb->end);
    }
    m.isRequest_ = msg->req;
    m.method_ = msg->req ? ToString(msg->met) : ToString(msg->cseq.met);
    if (msg->req) {
        try {
            m.requestUri_ = Uri::parse(ToString(msg->ruri));
        } catch (const SipException&) {
        }
    }
    m.statusCode_ = msg->scode;
    m.reason_ = ToString(msg->reason);
    m.from_ = FromTaddr(msg->from);
    m.to_ = FromTaddr(msg->to);
    m.callId_ = ToString(msg->callid);
    m.cseq_ = msg->cseq.num;

    if (pl_isset(&msg->via.sentby)) {
        m.hasVia_ = true;
        struct pl host;
        struct pl port;
        if (uri_decode_hostport(&msg->via.sentby, &host, &port) == 0) {
            m.topVia_.sentHost = ToString(host);
            m.topVia_.sentPort = pl_isset(&port) ? static_cast<int>(pl_u32(&port)) : 0;
        } else {
            m.topVia_.sentHost = ToString(msg->via.sentby);
        }
        struct pl value;
        if (msg_param_decode(&msg->via.params, "rport", &value) == 0) {
            m.topVia_.hasRport = true;
            if (pl_isset(&value)) {
                m.topVia_.rport = static_cast<int>(pl_u32(&value));
            }
        } else if (msg_param_exists(&msg->via.params, "rport", &value) == 0) {
            m.topVia_.hasRport = true;
        }
        if (msg_param_decode(&msg->via.params, "received", &value) == 0) {
            m.topVia_.received = ToString(value);
        }
    }

    HeaderWalk walk{&m.headers_, &m.contacts_};
    for (struct le* le = msg->hdrl.head; le; le = le->next) {
        CollectHeader(static_cast<const struct sip_hdr*>(le->data), msg, &walk);
    }
    if (msg->mb && mbuf_get_left(msg->mb) > 0) {
        m.body_.assign(reinterpret_cast<const char*>(mbuf_buf(msg->mb)), mbuf_get_left(msg->mb));
    }
    return m;
}

SipMessage SipMessage::makeLocalResponse(int code, std::string reason) {
    SipMessage m;
    m.fromWire_ = false;
    m.statusCode_ = code;
    m.reason_ = std::move(reason);
    return m;
}

std::optional<std::string> SipMessage::header(std::string_view name) const {
    for (const auto& [n, v] : headers_) {
        if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) {
            return v;
        }
    }
    return std::nullopt;
}

std::vector<std::string> SipMessage::headers(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [n, v] : headers_) {
        if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) {
            values.push_back(v);
        }
    }
    return values;
}

} // namespace sipua
