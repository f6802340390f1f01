#include "skin/zel_Parent.h"

#include <algorithm>

void zel_Parent::SetOwnRect(const plat::Rect& r) {
    m_RectPos = {r.left, r.top};
    m_nRight = r.right;
    m_nBottom = r.bottom;
}

void zel_Parent::AddChild(zel_Wnd* child) {
    child->m_pParent = this;
    child->m_pNextHit = nullptr;
    child->m_pNextDraw = m_pLastChild;
    if (m_pLastChild) {
        m_pLastChild->m_pNextHit = child;
    } else {
        m_pFirstChild = child;
    }
    m_pLastChild = child;
    if (!m_pFocus && child->IsFocusable()) {
        m_pFocus = child;
    }
}

void zel_Parent::Create(zel_Parent* parent, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!m_pParent && parent) {
        parent->AddChild(this);
    }
    m_pPos = &m_RectPos;
    Invalidate(); // the old place
    SetOwnRect({x, y, x + width, y + height});
}

void zel_Parent::OffsetRect(plat::Point point) {
    SetOwnRect(OwnRect().Offset(-point.x, -point.y));
}

void zel_Parent::Invalidate() {
    if (m_pParent) {
        m_bDirty = 1;
        const plat::Rect r = OwnRect();
        m_pParent->InvalidateRect(&r);
    }
}

void zel_Parent::InvalidateRect(const plat::Rect* r) {
    if (!m_pParent) {
        return;
    }
    if (!r) {
        m_pParent->InvalidateRect(nullptr);
        return;
    }
    const plat::Rect own = OwnRect();
    plat::Rect up;
    up.left = r->left < 0 ? own.left : r->left + own.left;
    up.top = own.top + r->top;
    up.right = r->right > own.Width() ? own.right : r->right + own.left;
    up.bottom = own.top + r->bottom;
    m_pParent->InvalidateRect(&up);
}

plat::Rect zel_Parent::ClipToOwn(const plat::Rect& clip) const {
    const plat::Rect own = OwnRect();
    return {std::max(0, clip.left - own.left), std::max(0, clip.top - own.top),
            std::min(own.right, clip.right) - own.left,
            std::min(own.bottom, clip.bottom) - own.top};
}

void zel_Parent::DrawChildren(plat::Canvas& target, const plat::Rect& clip) {
    for (zel_Wnd* child = m_pLastChild; child; child = child->m_pNextDraw) {
        if (!child->m_bVisible) {
            continue;
        }
        const plat::Rect r = plat::Intersect(child->GetRect(), clip);
        if (!r.IsEmpty()) {
            child->Draw(target, r);
        }
    }
}

void zel_Parent::Draw(plat::Canvas& target, const plat::Rect& clip) {
    const plat::Point previous = target.Origin();
    target.SetOrigin({previous.x + m_RectPos.x, previous.y + m_RectPos.y});
    DrawChildren(target, ClipToOwn(clip));
    target.SetOrigin(previous);
}

void zel_Parent::AcquireTimer() {
    if (m_pParent) {
        m_pParent->AcquireTimer();
        ++m_nTimerRefs;
        m_nTimerHeld = 1;
    }
}

void zel_Parent::ReleaseTimer() {
    if (m_nTimerHeld && m_pParent) {
        m_pParent->ReleaseTimer();
        if (m_nTimerRefs-- <= 1) {
            m_nTimerRefs = 0;
            m_nTimerHeld = 0;
        }
    }
}

void zel_Parent::OnTimerTick() {
    for (zel_Wnd* child = m_pFirstChild; child; child = child->m_pNextHit) {
        if (child->m_nTimerHeld) {
            child->OnTimerTick();
        }
    }
}

void zel_Parent::CaptureChild(zel_Wnd* child, plat::Point origin) {
    if (m_pParent) {
        m_pParent->CaptureChild(child, {origin.x + m_RectPos.x, origin.y + m_RectPos.y});
    }
}

zel_Wnd* zel_Parent::HitFrom(zel_Wnd* from, plat::Point point, plat::Point* local) {
    for (zel_Wnd* child = from; child; child = child->m_pNextHit) {
        if (!child->m_bEnabled || !child->m_bVisible) {
            continue;
        }
        const plat::Rect r = child->GetRect();
        if (r.Contains(point)) {
            *local = {point.x - r.left, point.y - r.top};
            return child;
        }
    }
    return nullptr;
}

bool zel_Parent::OnLButtonDown(uint32_t flags, plat::Point point) {
    plat::Point local;
    for (zel_Wnd* child = HitFrom(m_pFirstChild, point, &local); child;
         child = HitFrom(child->m_pNextHit, point, &local)) {
        if (m_pHot && m_pHot != child) {
            m_pHot->OnMouseLeave(flags);
            child->OnMouseEnter(flags);
            m_pHot->OnLButtonUp(flags, local);
        }
        if (!child->OnLButtonDown(flags, local)) {
            continue; // falls through to the child below
        }
        if (child->IsFocusable()) {
            if (m_pFocus) {
                m_pFocus->HideCaret();
            }
            m_pFocus = child;
            child->ShowCaret();
        }
        m_pHot = child;
        return true;
    }
    return false;
}

bool zel_Parent::OnMouseMove(uint32_t flags, plat::Point point) {
    plat::Point local;
    for (zel_Wnd* child = HitFrom(m_pFirstChild, point, &local); child;
         child = HitFrom(child->m_pNextHit, point, &local)) {
        const bool took = child->OnMouseMove(flags, local);
        if (child == m_pHot) {
            return true;
        }
        const bool entered = child->OnMouseEnter(flags);
        if (took || entered) {
            if (m_pHot) {
                m_pHot->OnMouseLeave(flags);
            }
            m_pHot = child;
            return true;
        }
    }
    if (m_pHot) {
        zel_Wnd* hot = m_pHot;
        m_pHot = nullptr;
        hot->OnMouseLeave(flags);
    }
    return false;
}

void zel_Parent::OnLButtonUp(uint32_t flags, plat::Point point) {
    plat::Point local;
    zel_Wnd* child = HitFrom(m_pFirstChild, point, &local);
    if (!child) {
        return;
    }
    if (m_pHot && m_pHot != child) {
        zel_Wnd* hot = m_pHot;
        m_pHot = nullptr;
        hot->OnLButtonUp(flags, local);
        hot->OnMouseLeave(flags);
    }
    child->OnLButtonUp(flags, local);
}

void zel_Parent::OnLButtonDblClk(uint32_t flags, plat::Point point) {
    plat::Point local;
    if (zel_Wnd* child = HitFrom(m_pFirstChild, point, &local)) {
        child->OnLButtonDblClk(flags, local);
    }
}

void zel_Parent::OnMouseLeave(uint32_t flags) {
    if (m_pHot) {
        zel_Wnd* hot = m_pHot;
        m_pHot = nullptr;
        hot->OnLButtonUp(flags, {0, 0});
        hot->OnMouseLeave(flags);
    }
}
