#include "app/contacts/StoredText.h"

#include <cstdint>

namespace storedtext {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when there is
// none. The ranges are those of the Unicode standard's table of well-formed byte sequences.
size_t SequenceLength(std::string_view text) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(0);
    if (lead < 0x80) {
        return lead == 0 ? 0 : 1;
    }
    size_t length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0; // overlong below U+0800
        } else if (lead == 0xED) {
            high = 0x9F; // surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90; // overlong below U+10000
        } else if (lead == 0xF4) {
            high = 0x8F; // past U+10FFFF
        }
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool IsContinuation(char c) {
    return (static_cast<uint8_t>(c) & 0xC0) == 0x80;
}

} // namespace

std::string MakeValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t length = SequenceLength(text.substr(i));
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string CutAtCharBoundary(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    size_t end = maxBytes;
    while (end > 0 && IsContinuation(text[end])) {
        --end;
    }
    return std::string(text.substr(0, end));
}

std::string TrimTrailingBlanksAndControls(std::string_view text) {
    size_t end = text.size();
    while (end > 0) {
        uint8_t c = static_cast<uint8_t>(text[end - 1]);
        if (c > 0x20 && c != 0x7F) {
            break;
        }
        --end;
    }
    return std::string(text.substr(0, end));
}

std::string ForField(std::string_view text, size_t maxBytes) {
    return CutAtCharBoundary(MakeValidUtf8(text), maxBytes);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace storedtext
