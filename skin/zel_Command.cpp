#include "skin/zel_Command.h"

#include "platform/core/Clock.h"
#include "platform/ui/VirtualKeys.h"
#include "skin/CForm.h"

bool zel_Command::OnMouseEnter(uint32_t flags) {
    if (m_nState == 0) {
        SetState((flags & plat::kMkLButton) ? 2 : 1);
    }
    return true;
}

void zel_Command::OnMouseLeave(uint32_t) {
    if (m_nState != 0) {
        SetState(0);
    }
}

bool zel_Command::OnLButtonDown(uint32_t, plat::Point) {
    if (m_nState != 1) {
        return false;
    }
    SetState(2);
    Notify(m_nId, 0);
    return true;
}

void zel_Command::OnLButtonUp(uint32_t, plat::Point) {
    if (m_nState == 2) {
        SetState(1);
    }
}

void zel_Command::Flash() {
    if (m_nState != 0) {
        return;
    }
    SetState(1);
    zel_Wnd* root = this;
    while (root->m_pParent) {
        root = root->m_pParent;
    }
    if (auto* form = dynamic_cast<CForm*>(root)) {
        form->Compose();
    }
    plat::SleepMs(kFlashMs);
    SetState(0);
}
