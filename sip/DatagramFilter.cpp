#include "sip/DatagramFilter.h"

#include <cctype>

namespace sipua {
namespace {

bool IsTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("-.!%*_+`'~").find(c) != std::string_view::npos;
}

bool IsStatusLine(std::string_view line) {
    constexpr std::string_view kVersion = "SIP/2.0 ";
    if (line.substr(0, kVersion.size()) != kVersion || line.size() < kVersion.size() + 3) {
        return false;
    }
    for (size_t i = 0; i < 3; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[kVersion.size() + i]))) {
            return false;
        }
    }
    return line.size() == kVersion.size() + 3 || line[kVersion.size() + 3] == ' ';
}

bool IsRequestLine(std::string_view line) {
    size_t method = 0;
    while (method < line.size() && IsTokenChar(line[method])) {
        ++method;
    }
    if (method == 0 || method >= line.size() || line[method] != ' ') {
        return false;
    }
    size_t uriEnd = line.find(' ', method + 1);
    if (uriEnd == std::string_view::npos || uriEnd == method + 1) {
        return false;
    }
    std::string_view uri = line.substr(method + 1, uriEnd - method - 1);
    return uri.find(':') != std::string_view::npos && line.substr(uriEnd + 1) == "SIP/2.0";
}

} // namespace

bool LooksLikeSipMessage(std::string_view datagram) {
    if (!datagram.empty() && datagram.size() <= 4 &&
        datagram.find_first_not_of("\r\n") == std::string_view::npos) {
        return true; // keep-alive
    }
    size_t lineEnd = datagram.find('\n');
    if (lineEnd == std::string_view::npos) {
        return false;
    }
    std::string_view line = datagram.substr(0, lineEnd);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (!IsStatusLine(line) && !IsRequestLine(line)) {
        return false;
    }
    return datagram.find("\r\n\r\n") != std::string_view::npos ||
           datagram.find("\n\n") != std::string_view::npos;
}

} // namespace sipua
