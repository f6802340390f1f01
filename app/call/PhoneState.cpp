#include "app/call/PhoneState.h"

constinit PhoneStateVariable g_PhoneState;
