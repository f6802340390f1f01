#include "platform/net/IPv4Address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace plat {

bool ParseIPv4(const char* text, uint32_t* address) {
    if (!text || !address) {
        return false;
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, text, &parsed) != 1) {
        return false;
    }
    *address = parsed.s_addr;
    return true;
}

std::string FormatIPv4(uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &a, text, sizeof(text))) {
        return "0.0.0.0";
    }
    return text;
}

bool IsUsableUnicastIPv4(uint32_t address) {
    return address != htonl(INADDR_ANY) && address != htonl(INADDR_BROADCAST);
}

int LookupIPv4(const char* host, uint32_t* address) {
    if (!host || !address) {
        return EAI_NONAME;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    int rc = getaddrinfo(host, nullptr, &hints, &result);
    if (rc != 0) {
        return rc;
    }
    rc = EAI_NONAME;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in sin;
            std::memcpy(&sin, ai->ai_addr, sizeof(sin));
            *address = sin.sin_addr.s_addr;
            rc = 0;
            break;
        }
    }
    freeaddrinfo(result);
    return rc;
}

} // namespace plat
