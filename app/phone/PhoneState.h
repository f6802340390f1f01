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

// Told of each change of the global call state, right after it happened.
class PhoneStateWatcher {
public:
    virtual void OnPhoneStateChanged(int32_t state) = 0;

protected:
    ~PhoneStateWatcher() = default;
};

// The global call state: read and assigned as a plain integer. Assigning a value other than
// the current one tells the watcher, when one is installed, so that what must follow the state
// (the sleep inhibitors) does so at once, whichever code moved it.
class PhoneStateVariable {
public:
    constexpr PhoneStateVariable() = default;
    PhoneStateVariable(const PhoneStateVariable&) = delete;
    PhoneStateVariable& operator=(const PhoneStateVariable&) = delete;

    PhoneStateVariable& operator=(int32_t state) {
        const bool changed = state != state_;
        state_ = state;
        if (changed && watcher_ != nullptr) {
            watcher_->OnPhoneStateChanged(state);
        }
        return *this;
    }
    operator int32_t() const { return state_; }

    // Installs `watcher` (null: none); returns the one it replaces.
    PhoneStateWatcher* Watch(PhoneStateWatcher* watcher) {
        PhoneStateWatcher* previous = watcher_;
        watcher_ = watcher;
        return previous;
    }

private:
    int32_t state_ = PS_LOGGED_OUT;
    PhoneStateWatcher* watcher_ = nullptr;
};

// GUI thread only.
extern PhoneStateVariable g_PhoneState;
