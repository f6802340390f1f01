#include "app/phone/PhoneState.h"

constinit PhoneStateVariable g_PhoneState;
