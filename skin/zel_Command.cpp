#include "skin/zel_Command.h"

#include "platform/ui/VirtualKeys.h"
#include "skin/CForm.h"

zel_Command::~zel_Command() {
    if (m_pFlashForm) {
        m_pFlashForm->ForgetFlash(this);
    }
}

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

void zel_Command::OnLButtonDblClk(uint32_t flags, plat::Point point) {
    OnLButtonDown(flags, point);
}

CForm* zel_Command::OwningForm() {
    zel_Wnd* root = this;
    while (root->m_pParent) {
        root = root->m_pParent;
    }
    return dynamic_cast<CForm*>(root);
}

void zel_Command::Flash() {
    CForm* form = OwningForm();
    if (!form || (m_nState != 0 && !form->IsFlashing(this))) {
        return;
    }
    if (!form->StartFlash(this, kFlashMs)) {
        return;
    }
    m_pFlashForm = form;
    if (m_nState == 0) {
        SetState(1);
    }
}

void zel_Command::EndFlash() {
    m_pFlashForm = nullptr;
    const bool hovered = m_pParent && m_pParent->m_pHot == this;
    if (m_nState == 1 && !hovered) {
        SetState(0);
    }
}
