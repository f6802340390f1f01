#pragma once
#include <cstdint>
#include <string>

namespace plat {

// IPv4 addresses as 32-bit values in network byte order, as they go into a sockaddr_in.

// Parses dotted-quad text ("192.0.2.1") with inet_pton: no name lookup, no shorthand forms.
// Returns false (and leaves *address alone) for anything else.
bool ParseIPv4(const char* text, uint32_t* address);
// The dotted-quad text of an address.
std::string FormatIPv4(uint32_t address);
// Whether an address can be sent to: not 0.0.0.0, not the limited broadcast 255.255.255.255.
bool IsUsableUnicastIPv4(uint32_t address);
// Resolves a host name or dotted text to its first IPv4 address with getaddrinfo. Returns 0,
// or the getaddrinfo error code (never 0 on failure).
int LookupIPv4(const char* host, uint32_t* address);

} // namespace plat
