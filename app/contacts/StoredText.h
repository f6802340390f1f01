#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// The rules every text of the contacts and the call history follows before it is stored or
// shown: valid UTF-8, no NUL, and no longer than its field, cut only between characters.
namespace storedtext {

// Field lengths in bytes, as the store's readers have always held them (24 and 39
// single-byte characters).
constexpr size_t kNameLength = 24;
constexpr size_t kNumberLength = 39;

// `text` with every byte that does not begin a well-formed UTF-8 sequence (stray continuation
// bytes, cut or overlong sequences, surrogates, code points past U+10FFFF) and every NUL
// replaced by U+FFFD.
std::string MakeValidUtf8(std::string_view text);

// The longest prefix of `text` that fits in `maxBytes` and ends on a character boundary.
// `text` must be valid UTF-8.
std::string CutAtCharBoundary(std::string_view text, size_t maxBytes);

// `text` without trailing blanks and control characters (bytes below 0x20 and 0x7F).
std::string TrimTrailingBlanksAndControls(std::string_view text);

// MakeValidUtf8, then CutAtCharBoundary: what a field of `maxBytes` stores of `text`.
std::string ForField(std::string_view text, size_t maxBytes);

// Whether two texts are equal when ASCII letters are compared without regard to case.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

} // namespace storedtext
