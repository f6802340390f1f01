#include "app/phone/RememberedPassword.h"

#include <cctype>
#include <cstdint>

std::string EncodeRememberedPassword(const std::string& password) {
    // Read "1" + password as atol does: blanks, a sign, then digits, in 32 bits.
    std::string text = "1" + password;
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    static const char kDigits[] = "0123456789abcdefghijklmno";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value % 25u]);
        value /= 25u;
    } while (value != 0);
    return out;
}

std::string DecodeRememberedPassword(const std::string& stored) {
    // Read as an unsigned base-25 number as strtoul does (saturating at 2^32 - 1).
    size_t i = 0;
    while (i < stored.size() && std::isspace(static_cast<unsigned char>(stored[i]))) {
        ++i;
    }
    uint64_t value = 0;
    bool overflow = false;
    for (; i < stored.size(); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(stored[i])));
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'o') {
            digit = c - 'a' + 10;
        } else {
            break;
        }
        value = value * 25u + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0x100000000ull; // stays above the limit without growing
        }
    }
    if (overflow) {
        value = 0xFFFFFFFFull;
    }
    std::string decimal = std::to_string(value);
    return decimal.substr(1);
}
