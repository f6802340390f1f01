#pragma once
#include <cstdint>
#include <string>

// Text fields count characters, not bytes: their texts are UTF-8.

// The number of characters of `text` (a byte that starts no valid sequence counts as one).
int32_t Utf8Length(const std::string& text);
// The byte offset of character `index` (the end when index is at or past the last).
size_t Utf8Offset(const std::string& text, int32_t index);
// The UTF-8 bytes of a character; empty for a value that is no character.
std::string Utf8Encode(uint32_t ch);
