#pragma once
#include <string>

// The stored form of a remembered password (digit passwords; it is not a cipher): "1" and the
// password read as a 32-bit decimal number (wrapping), written in base 25 (0-9, a-o).
// Passwords of at most 9 digits come back unchanged.
std::string EncodeRememberedPassword(const std::string& password);
std::string DecodeRememberedPassword(const std::string& stored);
