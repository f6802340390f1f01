#include "app/call/PhoneState.h"

int32_t g_PhoneState = PS_LOGGED_OUT;
