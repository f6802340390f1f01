#pragma once
#include <string>
#include <string_view>

#include "sip/Uri.h"

namespace sipua {

// A name-address as it stands in From, To and Contact: an optional display name, the URI in
// angle brackets, and the header parameters after it (";tag=...;expires=...").
class NameAddr {
public:
    NameAddr() = default;
    explicit NameAddr(Uri uri) : uri_(std::move(uri)) {}

    // Parses `"Name" <sip:...>;params` or a bare URI; throws SipException when it cannot.
    static NameAddr parse(std::string_view text);

    const Uri& uri() const { return uri_; }
    Uri& uri() { return uri_; }
    const std::string& displayName() const { return displayName_; }
    void displayName(std::string value) { displayName_ = std::move(value); }

    // Header parameters. A parameter without a value reads as "" with exists() true.
    bool exists(std::string_view name) const;
    std::string param(std::string_view name) const;
    void setParam(std::string_view name, std::string_view value);
    void removeParam(std::string_view name);
    const std::string& params() const { return params_; }

    // The "tag" parameter, or "" when there is none.
    std::string tag() const { return param("tag"); }
    bool hasTag() const { return exists("tag"); }

    // `"Name" <uri>;params` (the display name only when there is one).
    std::string toString() const;

    bool operator==(const NameAddr& other) const = default;

private:
    std::string displayName_;
    Uri uri_;
    std::string params_; // ";name=value;name"
};

} // namespace sipua
