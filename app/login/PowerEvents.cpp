#include "app/login/PowerEvents.h"

#include <string>

#include "app/phone/SuspendRule.h"
#include "app/trace/TraceFile.h"

using Mode = plat::SleepInhibitor::Mode;

PowerEvents::PowerEvents(plat::SleepInhibitor& inhibitor, Broadcast broadcast)
    : m_Inhibitor(inhibitor), m_Broadcast(std::move(broadcast)),
      m_pPreviousWatcher(g_PhoneState.Watch(this)) {
    Follow(g_PhoneState);
}

PowerEvents::~PowerEvents() {
    g_PhoneState.Watch(m_pPreviousWatcher);
    Release(Mode::Block, &m_bBlockHeld);
    Release(Mode::Delay, &m_bDelayHeld);
}

void PowerEvents::OnSleepNotice(bool sleeping) {
    if (!sleeping) {
        AppTrace("CUserLogin: reanudacion");
        m_bAsleep = false;
        m_Broadcast(kPbtResumeSuspend);
        Follow(g_PhoneState);
        return;
    }
    AppTrace("CUserLogin: suspension, estado ", static_cast<int>(g_PhoneState));
    m_bAsleep = true;
    m_bSuspending = true;
    if (m_Broadcast(kPbtQuerySuspend) == kBroadcastQueryDeny) {
        // The block inhibitor was overridden: the suspend goes ahead all the same.
        AppTrace("CUserLogin: suspension forzada");
    }
    m_Broadcast(kPbtSuspend);
    m_bSuspending = false;
    Follow(g_PhoneState);
}

void PowerEvents::OnPhoneStateChanged(int32_t state) {
    Follow(state);
}

void PowerEvents::Follow(int32_t state) {
    if (m_bSuspending) {
        return;
    }
    const bool block = AnswerToSuspend(state) == SuspendAnswer::Deny;
    const bool delay = !m_bAsleep && state != PS_LOGGED_OUT && state != PS_REGISTERING;
    if (block) {
        Take(Mode::Block, &m_bBlockHeld);
    }
    if (delay) {
        Take(Mode::Delay, &m_bDelayHeld);
    }
    if (!block) {
        Release(Mode::Block, &m_bBlockHeld);
    }
    if (!delay) {
        Release(Mode::Delay, &m_bDelayHeld);
    }
}

void PowerEvents::Take(Mode mode, bool* held) {
    if (*held) {
        return;
    }
    std::string error;
    *held = m_Inhibitor.Take(mode, mode == Mode::Delay ? kDelayWhy : kBlockWhy, &error);
    if (!*held) {
        AppTrace(("CUserLogin: no se pudo inhibir la suspension: " + error).c_str());
    }
}

void PowerEvents::Release(Mode mode, bool* held) {
    if (*held) {
        m_Inhibitor.Release(mode);
        *held = false;
    }
}
