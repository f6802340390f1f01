#pragma once
#include <cstdint>

// The softphone's one global call state. The login form moves it between logged out,
// registering and idle; the call window moves it through the call states.
enum PhoneStateValue : int32_t {
    PS_LOGGED_OUT = 0,
    PS_REGISTERING = 1,
    PS_IDLE = 2,
    PS_ENTERING_NUMBER = 3,
    PS_DIALING = 4,
    PS_TALKING = 5,
    PS_RINGING = 7,
    PS_EARLY_MEDIA = 8,
    PS_BUSY = 9,
};

// GUI thread only.
extern int32_t g_PhoneState;
