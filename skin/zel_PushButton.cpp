#include "skin/zel_PushButton.h"

#include "platform/ui/VirtualKeys.h"

bool zel_PushButton::OnMouseEnter(uint32_t flags) {
    if (m_nState == 0) {
        if (flags & plat::kMkLButton) {
            m_nState = 2;
            Notify(m_nId, 0);
            Invalidate();
        } else {
            SetState(1);
        }
    }
    return true;
}

void zel_PushButton::OnMouseLeave(uint32_t) {
    if (m_nState == 1) {
        SetState(0);
    }
}

bool zel_PushButton::OnLButtonDown(uint32_t, plat::Point) {
    if (m_nState != 1) {
        return false;
    }
    SetState(2);
    Notify(m_nId, 0);
    return true;
}

void zel_PushButton::Press() {
    if (m_nState != 2) {
        SetState(2);
    }
}

void zel_PushButton::Release() {
    if (m_nState == 2) {
        SetState(0);
    }
}
