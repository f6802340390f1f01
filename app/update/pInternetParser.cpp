#include "app/update/pInternetParser.h"

void pInternetParser::AddParam(const std::string& name, const std::string& value) {
    params_.emplace_back(name, value);
}

const std::string* pInternetParser::FindParam(const std::string& name) const {
    for (const auto& [n, v] : params_) {
        if (n == name) {
            return &v;
        }
    }
    return nullptr;
}

bool pInternetParser::Parse(const std::string& reply) {
    size_t open = reply.find('[');
    if (open == std::string::npos) {
        return false;
    }
    params_.clear();
    size_t end = reply.find(']', open + 1);
    std::string body =
        reply.substr(open + 1, end == std::string::npos ? std::string::npos : end - open - 1);
    size_t pos = 0;
    while (pos < body.size()) {
        if (body[pos] == '&') {
            ++pos; // an item may begin with one '&'
        }
        // The name runs to the next '=', over any '&' on the way.
        size_t equals = body.find('=', pos);
        if (equals == std::string::npos) {
            break; // no '=' left: no further item
        }
        size_t valueEnd = body.find('&', equals + 1);
        if (valueEnd == std::string::npos) {
            valueEnd = body.size();
        }
        params_.emplace_back(body.substr(pos, equals - pos),
                             body.substr(equals + 1, valueEnd - equals - 1));
        pos = valueEnd;
    }
    return true;
}

std::string pInternetParser::Encode() const {
    static const char kHex[] = "0123456789ABCDEF";
    std::string body;
    for (const auto& [name, value] : params_) {
        if (name.empty() || value.empty()) {
            continue;
        }
        if (!body.empty()) {
            body += '&';
        }
        body += name;
        body += '=';
        for (char c : value) {
            auto byte = static_cast<unsigned char>(c);
            if (byte <= 32 || c == '&' || c == '=' || c == '%') {
                body += '%';
                body += kHex[byte >> 4];
                body += kHex[byte & 0xF];
            } else {
                body += c;
            }
        }
    }
    return body;
}
