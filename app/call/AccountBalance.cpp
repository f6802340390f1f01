#include "app/call/AccountBalance.h"

void AccountBalance::Reset() {
    m_bCancel = true;
    {
        plat::CriticalSectionLock guard(m_Lock);
        m_Text.clear();
        m_Balance = 0;
    }
    m_bCancel = false;
}

AccountBalance::Snapshot AccountBalance::Read() const {
    plat::CriticalSectionLock guard(m_Lock);
    return {m_Balance, m_Text};
}

void AccountBalance::SetNotifyWindow(const plat::PostTarget& target) {
    plat::CriticalSectionLock guard(m_Lock);
    m_NotifyWindow = target;
}

void AccountBalance::Update(double balance, const std::string& text) {
    plat::PostTarget notify;
    {
        plat::CriticalSectionLock guard(m_Lock);
        m_Balance = balance;
        m_Text = text;
        notify = m_NotifyWindow;
    }
    notify.PostMessage(WM_BALANCE_CHANGED);
}
