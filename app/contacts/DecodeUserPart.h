#pragma once
#include <string>
#include <string_view>

// The user part of a SIP URI as a person reads and dials it: each escape "%hh" becomes its
// character ("12%23" is "12#"). An escape cut short ("%2", a trailing "%"), one that is not
// hexadecimal ("%zz"), and one that would give a control character (NUL, a line break) stay
// as they stand.
std::string DecodeUserPart(std::string_view user);
