#pragma once
#include <string>

#include "sip/NameAddr.h"

// The text shown for an incoming call. With a display name in From: that name, cut at the
// second occurrence of the Request-URI's user part `requestUser` (blanks before the cut
// dropped, a closing quote added when the name starts with one); a name with fewer than two
// occurrences, or an empty `requestUser`, is kept whole. Without a display name: the user part
// of From with its escapes decoded (our own number is the Request-URI's user, never the
// caller's).
std::string CallerText(const sipua::NameAddr& from, const std::string& requestUser);
