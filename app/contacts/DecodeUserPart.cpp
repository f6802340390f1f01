#include "app/contacts/DecodeUserPart.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string DecodeUserPart(std::string_view user) {
    std::string out;
    out.reserve(user.size());
    for (size_t i = 0; i < user.size(); ++i) {
        if (user[i] == '%' && i + 2 < user.size()) {
            const int high = HexValue(user[i + 1]);
            const int low = HexValue(user[i + 2]);
            const int value = high < 0 || low < 0 ? -1 : high * 16 + low;
            if (value >= 0x20 && value != 0x7F) {
                out += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        out += user[i];
    }
    return out;
}
