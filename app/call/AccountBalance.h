#pragma once
#include <atomic>
#include <string>

#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"
#include "platform/ui/MessagePort.h"

// The account's balance as a balance source reports it: the amount in the account's currency,
// the text to show for it, and the window to tell (WM_BALANCE_CHANGED) when they change. The
// call window reads it for its status line and the low-balance warning; the end of a running
// call resets it.
//
// Threads: a balance source may run on a thread of its own; it writes under m_Lock and checks
// m_bCancel while it works. The GUI thread sets the notify window and reads through Read(),
// under the lock too.
class AccountBalance {
public:
    static constexpr uint32_t WM_BALANCE_CHANGED = 0x800B;

    struct Snapshot {
        double balance = 0;
        std::string text;
    };

    AccountBalance() = default;
    ~AccountBalance() { Reset(); }
    AccountBalance(const AccountBalance&) = delete;
    AccountBalance& operator=(const AccountBalance&) = delete;

    // Makes a source that is at work give up (the cancel flag), waits for one that holds the
    // lock to finish, then empties the text and zeroes the balance.
    void Reset();
    Snapshot Read() const;
    // The window told of each change (an empty target: none).
    void SetNotifyWindow(const plat::PostTarget& target);
    // What a balance source calls with a new figure: the record changes under the lock, then
    // the notify window is told.
    void Update(double balance, const std::string& text);

    double m_Balance = 0;
    std::string m_Text;
    plat::PostTarget m_NotifyWindow;
    plat::AutoResetEvent m_Event;
    std::atomic<bool> m_bCancel{false};
    mutable plat::CriticalSection m_Lock;
};

// The program's one record, built among the program's static objects.
extern AccountBalance g_Balance;
