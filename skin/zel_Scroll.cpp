#include "skin/zel_Scroll.h"

#include "platform/core/DebugOutput.h"

bool zel_Scroll::CreateFromSkin(zel_Parent* parent, int id, bool horizontal) {
    m_Thumb.m_bHorizontal = horizontal;
    m_Arrow1.CreateFromSkin(this, id, 3);
    m_Arrow2.CreateFromSkin(this, id + 1, 3);
    m_Thumb.CreateFromSkin(this, id + 2);
    if (!m_pParent && parent) {
        parent->AddChild(this);
    }
    m_pPos = &m_RectPos;
    m_nId = static_cast<uint16_t>(id);
    m_Thumb.m_nId = static_cast<uint16_t>(id);
    m_Arrow1.m_nId = static_cast<uint16_t>(id + 1);
    m_Arrow2.m_nId = static_cast<uint16_t>(id + 2);
    m_Track.CreateFromSkin(this, id + 3);
    m_fMin = m_fMax = 0;
    m_bVisible = 0;
    if (!m_Arrow1.m_pPos || !m_Arrow2.m_pPos || !m_Track.m_pPos) {
        plat::DebugOutput("zel_Scroll: the skin lacks a position of the scroll bar\n");
        return false;
    }
    const SkinPos origin = *m_Arrow1.m_pPos;
    const plat::Rect second = m_Arrow2.GetRect();
    SetOwnRect({origin.x, origin.y, second.right, second.bottom});
    auto relative = [&origin](const SkinPos* p) {
        return SkinPos{p->x - origin.x, p->y - origin.y};
    };
    m_Arrow1Pos = relative(m_Arrow1.m_pPos);
    m_Arrow2Pos = relative(m_Arrow2.m_pPos);
    m_TrackPos = relative(m_Track.m_pPos);
    m_Arrow1.m_pPos = &m_Arrow1Pos;
    m_Arrow2.m_pPos = &m_Arrow2Pos;
    m_Track.m_pPos = &m_TrackPos;

    const plat::Rect first = m_Arrow1.GetRect();
    const plat::Rect last = m_Arrow2.GetRect();
    if (horizontal) {
        m_Thumb.m_nMin = first.right;
        m_Thumb.m_OwnPos = {first.right, first.top};
        m_Thumb.m_nMax = last.left - m_Thumb.m_Bitmap.width;
    } else {
        m_Thumb.m_nMin = first.bottom;
        m_Thumb.m_OwnPos = {first.left, first.bottom};
        m_Thumb.m_nMax = last.top - m_Thumb.GetRect().Height();
    }
    return true;
}

void zel_Scroll::SetRange(int32_t minimum, int32_t maximum) {
    if (minimum < maximum) {
        m_bVisible = 1;
        m_fMin = static_cast<float>(minimum);
        m_fMax = static_cast<float>(maximum);
    } else {
        m_fMin = m_fMax = 0;
        m_bVisible = 0;
    }
    Invalidate();
}

float zel_Scroll::Fraction() const {
    const int32_t span = m_Thumb.m_nMax - m_Thumb.m_nMin;
    if (span <= 0) {
        return 0;
    }
    return static_cast<float>(m_Thumb.AxisPos() - m_Thumb.m_nMin) / static_cast<float>(span);
}

float zel_Scroll::GetPos() const {
    if (m_fMin >= m_fMax) {
        return 0;
    }
    return m_fMin + Fraction() * (m_fMax - m_fMin);
}

void zel_Scroll::Notify(uint16_t id, int32_t) {
    if (id == m_nId) {
        zel_Wnd::Notify(m_nId, 0);
        return;
    }
    float fraction = Fraction();
    if (id == m_Arrow1.m_nId) {
        if (!(fraction > 0)) {
            return;
        }
        fraction -= kArrowStep;
        if (fraction < 0) {
            fraction = 0;
        }
    } else if (id == m_Arrow2.m_nId) {
        if (!(fraction < 1)) {
            return;
        }
        fraction += kArrowStep;
        if (fraction > 1) {
            fraction = 1;
        }
    } else {
        return;
    }
    m_Thumb.SetAxisPos(
        m_Thumb.m_nMin +
        static_cast<int32_t>(static_cast<float>(m_Thumb.m_nMax - m_Thumb.m_nMin) * fraction));
    zel_Wnd::Notify(m_nId, 0);
    Invalidate();
}
