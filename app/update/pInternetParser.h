#pragma once
#include <string>
#include <utility>
#include <vector>

// The name-value pairs of the update server's form exchange: encoded as a form body for a
// request, parsed from the "[name=value&name=value]" part of a reply.
// Used by one thread at a time.
class pInternetParser {
public:
    // Appends a pair (names may repeat).
    void AddParam(const std::string& name, const std::string& value);
    // The value of the first pair with exactly this name (case-sensitive), or null.
    const std::string* FindParam(const std::string& name) const;
    void Clear() { params_.clear(); }
    size_t Count() const { return params_.size(); }

    // Replaces the pairs with those between the reply's first '[' and the next ']' (or the
    // end): each item may begin with one '&', which is skipped; its name runs to the next '='
    // (an item without '=' thus becomes part of the next item's name), its value to the next
    // '&' or ']'. Reading ends where no '=' is left. False, leaving the pairs as they were,
    // when the reply holds no '['.
    bool Parse(const std::string& reply);

    // The form body: name=value for each pair whose name and value are both non-empty, joined
    // by '&'; in values, bytes up to 32 and the form's own '&', '=' and '%' are written as '%'
    // and two upper-case hexadecimal digits.
    std::string Encode() const;

private:
    std::vector<std::pair<std::string, std::string>> params_;
};
