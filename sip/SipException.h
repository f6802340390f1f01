#pragma once
#include <stdexcept>
#include <string>

namespace sipua {

// What the adapter throws when a stack operation cannot be done (a port that cannot be bound,
// a request that cannot be built, a malformed URI).
class SipException : public std::runtime_error {
public:
    explicit SipException(const std::string& what) : std::runtime_error(what) {}
};

// Thrown when a handle is used after the object behind it has gone.
class HandleException : public SipException {
public:
    explicit HandleException(const std::string& what) : SipException(what) {}
};

} // namespace sipua
