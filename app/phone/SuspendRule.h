#pragma once
#include <cstdint>

// The power events that reach the windows (the power broadcast's event number, as the original
// platform numbers them) and the answer that refuses a suspend.
constexpr unsigned kPbtQuerySuspend = 0;
constexpr unsigned kPbtSuspend = 4;
constexpr unsigned kPbtResumeCritical = 6;
constexpr unsigned kPbtResumeSuspend = 7;
constexpr intptr_t kBroadcastQueryDeny = 0x424D5144;

// How the phone answers a request to suspend the computer in each call state: a call being
// dialled or ringing is hung up and the suspend allowed; while registering, during a call with
// media (talking, early media) and while the busy tone plays the suspend is refused; in every
// other state it is allowed.
enum class SuspendAnswer { Allow, HangUpThenAllow, Deny };
SuspendAnswer AnswerToSuspend(int32_t state);
