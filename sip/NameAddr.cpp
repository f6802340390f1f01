#include "sip/NameAddr.h"

#include <strings.h>

#include "sip/LibreApi.h"
#include "sip/SipException.h"

namespace sipua {
namespace {

// Walks ";name=value;name" and calls f(name, value, hasValue, begin, end) for each entry,
// where [begin, end) is the entry's span including its leading ';'.
template <class F> void ForEachParam(const std::string& params, F f) {
    size_t pos = 0;
    while (pos < params.size()) {
        size_t start = params.find(';', pos);
        if (start == std::string::npos) {
            return;
        }
        size_t end = params.find(';', start + 1);
        if (end == std::string::npos) {
            end = params.size();
        }
        std::string entry = params.substr(start + 1, end - start - 1);
        size_t eq = entry.find('=');
        std::string name = entry.substr(0, eq);
        std::string value = eq == std::string::npos ? std::string() : entry.substr(eq + 1);
        if (f(name, value, start, end)) {
            return;
        }
        pos = end;
    }
}

bool SameName(const std::string& a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

NameAddr NameAddr::parse(std::string_view text) {
    struct sip_addr addr;
    struct pl p = ToPl(text);
    if (text.empty() || sip_addr_decode(&addr, &p) != 0) {
        throw SipException("direccion SIP no valida: " + std::string(text));
    }
    NameAddr result(Uri::parse(std::string_view(addr.auri.p, addr.auri.l)));
    std::string name = ToString(addr.dname);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    result.displayName_ = name;
    result.params_ = ToString(addr.params);
    return result;
}

bool NameAddr::exists(std::string_view name) const {
    bool found = false;
    ForEachParam(params_, [&](const std::string& n, const std::string&, size_t, size_t) {
        found = SameName(n, name);
        return found;
    });
    return found;
}

std::string NameAddr::param(std::string_view name) const {
    std::string value;
    ForEachParam(params_, [&](const std::string& n, const std::string& v, size_t, size_t) {
        if (SameName(n, name)) {
            value = v;
            return true;
        }
        return false;
    });
    return value;
}

void NameAddr::removeParam(std::string_view name) {
    size_t from = std::string::npos;
    size_t to = 0;
    ForEachParam(params_, [&](const std::string& n, const std::string&, size_t b, size_t e) {
        if (SameName(n, name)) {
            from = b;
            to = e;
            return true;
        }
        return false;
    });
    if (from != std::string::npos) {
        params_.erase(from, to - from);
    }
}

void NameAddr::setParam(std::string_view name, std::string_view value) {
    removeParam(name);
    params_ += ";" + std::string(name);
    if (!value.empty()) {
        params_ += "=" + std::string(value);
    }
}

std::string NameAddr::toString() const {
    std::string text;
    if (!displayName_.empty()) {
        text = "\"" + displayName_ + "\" ";
    }
    return text + "<" + uri_.toString() + ">" + params_;
}

} // namespace sipua
