#include "skin/zel_Wnd.h"

#include "platform/ui/Window.h"
#include "skin/zel_Parent.h"

bool zel_Wnd::IsFocusable() {
    return false;
}

void zel_Wnd::SetEnabled(bool enabled) {
    if (m_bEnabled != static_cast<uint8_t>(enabled)) {
        Invalidate();
        m_bEnabled = enabled;
    }
}

void zel_Wnd::AcquireTimer() {
    if (!m_nTimerHeld && m_pParent) {
        m_pParent->AcquireTimer();
        m_nTimerHeld = 1;
    }
}

void zel_Wnd::ReleaseTimer() {
    if (m_nTimerHeld && m_pParent) {
        m_pParent->ReleaseTimer();
        m_nTimerHeld = 0;
    }
}

void zel_Wnd::Invalidate() {
    if (m_pParent) {
        m_bDirty = 1;
        const plat::Rect r = GetRect();
        m_pParent->InvalidateRect(&r);
    }
}

void zel_Wnd::SetFocus() {
    if (!m_pParent || !m_bEnabled) {
        return;
    }
    zel_Wnd* previous = m_pParent->m_pFocus;
    if (previous && previous != this) {
        // Only one caret: the control that loses the focus takes its caret away.
        previous->HideCaret();
    }
    if (previous) {
        previous->Deactivate();
    }
    m_pParent->m_pFocus = this;
}

void zel_Wnd::Notify(uint16_t id, int32_t value) {
    if (m_pParent) {
        m_pParent->Notify(id, value);
    }
}

bool zel_Wnd::OnMouseEnter(uint32_t) {
    return false;
}

void zel_Wnd::OnMouseLeave(uint32_t) {}

bool zel_Wnd::OnLButtonDown(uint32_t, plat::Point) {
    return false;
}

void zel_Wnd::OnLButtonUp(uint32_t, plat::Point) {}

bool zel_Wnd::OnMouseMove(uint32_t, plat::Point) {
    return false;
}

void zel_Wnd::OnLButtonDblClk(uint32_t, plat::Point) {}

void zel_Wnd::OnKeyDown(uint32_t, uint32_t, uint32_t) {}

void zel_Wnd::OnChar(uint32_t, uint32_t, uint32_t) {}

bool zel_Wnd::HasFocus() const {
    return m_pParent && m_pParent->m_pFocus == this;
}

void zel_Wnd::CaptureMouse() {
    if (m_pParent) {
        m_pParent->CaptureChild(this, m_pPos ? plat::Point{m_pPos->x, m_pPos->y} : plat::Point{});
    }
}

void zel_Wnd::SetVisible(bool visible) {
    if (m_bVisible != static_cast<uint8_t>(visible)) {
        m_bVisible = visible;
        if (m_pParent) {
            m_pParent->Invalidate();
        }
    }
}

plat::Point GetCursorScreenPos() {
    return plat::CurrentWindowSystem().GetCursorPos();
}

void ReleaseMouseCapture() {
    plat::CurrentWindowSystem().ReleaseCapture();
}
