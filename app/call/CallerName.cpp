#include "app/call/CallerName.h"

#include "app/contacts/DecodeUserPart.h"

std::string CallerText(const sipua::NameAddr& from, const std::string& requestUser) {
    std::string name = from.displayName();
    if (name.empty()) {
        return DecodeUserPart(from.uri().user());
    }
    if (requestUser.empty()) {
        return name;
    }
    size_t first = name.find(requestUser);
    if (first == std::string::npos) {
        return name;
    }
    size_t second = name.find(requestUser, first + 1);
    if (second == std::string::npos) {
        return name;
    }
    std::string cut = name.substr(0, second);
    while (!cut.empty() && (cut.back() == ' ' || cut.back() == '\t')) {
        cut.pop_back();
    }
    if (!cut.empty() && cut.front() == '"') {
        cut += '"';
    }
    return cut;
}
