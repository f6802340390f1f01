#pragma once
#include <cstdint>
#include <functional>

#include "app/phone/PhoneState.h"
#include "platform/desktop/SleepInhibitor.h"

// The desktop's sleep and wake notices, delivered to the windows as the power broadcast, and
// the sleep inhibitors that give the phone's answer to a suspend before it is asked:
// - while signed in (idle or in any call state) a delay inhibitor, so that a suspend waits
//   until the phone has hung up and removed its registration;
// - while the phone refuses a suspend (registering, talking, early media, busy tone) a block
//   inhibitor, so that none starts.
// A sleep notice is delivered as the query (a call being dialled or ringing is hung up) and
// then the suspend (the call window hangs up and logs out); only after both is the delay
// inhibitor let go, so the removal REGISTER has left before the computer sleeps. The state
// changes during those two do not move the inhibitors. Until the wake notice no delay
// inhibitor is taken; the wake notice is delivered as the resume (the login form signs in
// again 10 s later), and from then on the inhibitors follow the state again.
//
// GUI thread only. It is the watcher of g_PhoneState from construction to destruction.
class PowerEvents final : private PhoneStateWatcher {
public:
    // Delivers a power event to the windows at once; the call window's answer.
    using Broadcast = std::function<intptr_t(unsigned event)>;

    static constexpr char kDelayWhy[] = "Signing out of the phone service before sleeping";
    static constexpr char kBlockWhy[] = "A call or a sign-in is in progress";

    PowerEvents(plat::SleepInhibitor& inhibitor, Broadcast broadcast);
    ~PowerEvents();
    PowerEvents(const PowerEvents&) = delete;
    PowerEvents& operator=(const PowerEvents&) = delete;

    // PrepareForSleep: true before the computer sleeps, false after it woke.
    void OnSleepNotice(bool sleeping);

private:
    void OnPhoneStateChanged(int32_t state) override;
    // Takes what `state` wants before letting go of what it does not.
    void Follow(int32_t state);
    void Take(plat::SleepInhibitor::Mode mode, bool* held);
    void Release(plat::SleepInhibitor::Mode mode, bool* held);

    plat::SleepInhibitor& m_Inhibitor;
    Broadcast m_Broadcast;
    PhoneStateWatcher* m_pPreviousWatcher;
    bool m_bAsleep = false;     // between the sleep notice and the wake notice
    bool m_bSuspending = false; // the query and the suspend are being delivered
    bool m_bDelayHeld = false;
    bool m_bBlockHeld = false;
};
