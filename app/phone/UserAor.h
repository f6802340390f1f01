#pragma once
#include "sip/NameAddr.h"

// The account's address of record: the typed user at the SIP server address, port 5060. The
// login form sets it at sign-in; the call window writes its user into every SDP it builds.
extern sipua::NameAddr g_UserAor;
