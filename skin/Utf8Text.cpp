#include "skin/Utf8Text.h"

namespace {

// The length of the sequence starting at `at`, at least 1 and never past the end.
size_t SequenceAt(const std::string& text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t n = lead < 0x80           ? 1
               : (lead >> 5) == 0x6  ? 2
               : (lead >> 4) == 0xE  ? 3
               : (lead >> 3) == 0x1E ? 4
                                     : 1;
    if (at + n > text.size()) {
        return 1;
    }
    for (size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return n;
}

} // namespace

int32_t Utf8Length(const std::string& text) {
    int32_t n = 0;
    for (size_t at = 0; at < text.size(); at += SequenceAt(text, at)) {
        ++n;
    }
    return n;
}

size_t Utf8Offset(const std::string& text, int32_t index) {
    size_t at = 0;
    for (int32_t i = 0; i < index && at < text.size(); ++i) {
        at += SequenceAt(text, at);
    }
    return at;
}

std::string Utf8Encode(uint32_t ch) {
    std::string out;
    if (ch < 0x80) {
        out.push_back(static_cast<char>(ch));
    } else if (ch < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else if (ch < 0x10000) {
        if (ch >= 0xD800 && ch <= 0xDFFF) {
            return out;
        }
        out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else if (ch < 0x110000) {
        out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    }
    return out;
}
