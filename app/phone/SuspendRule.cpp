#include "app/phone/SuspendRule.h"

#include "app/phone/PhoneState.h"

SuspendAnswer AnswerToSuspend(int32_t state) {
    switch (state) {
    case PS_DIALING:
    case PS_RINGING:
        return SuspendAnswer::HangUpThenAllow;
    case PS_REGISTERING:
    case PS_TALKING:
    case PS_EARLY_MEDIA:
    case PS_BUSY:
        return SuspendAnswer::Deny;
    default:
        return SuspendAnswer::Allow;
    }
}
