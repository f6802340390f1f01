#include "skin/zel_TrackButton.h"

#include "platform/ui/VirtualKeys.h"
#include "skin/zel_Parent.h"

bool zel_TrackButton::CreateFromSkin(zel_Parent* parent, int id) {
    m_bDragging = 0;
    if (!m_pParent && parent) {
        parent->AddChild(this);
        m_pPos = &m_OwnPos;
    } else {
        m_bDirty = 1;
    }
    m_Bitmap.LoadFromSkin(id);
    m_nFrames = 3;
    m_nState = 0;
    m_nFrameHeight = FrameHeight();
    return true;
}

bool zel_TrackButton::OnLButtonDown(uint32_t, plat::Point) {
    if (!m_bDragging) {
        m_bDragging = 1;
        m_LastCursor = GetCursorScreenPos();
        CaptureMouse();
    }
    return true;
}

bool zel_TrackButton::OnMouseMove(uint32_t flags, plat::Point) {
    if (!m_bDragging) {
        return true;
    }
    if (!(flags & plat::kMkLButton)) {
        // The button came up where we did not see it: the drag ends and the capture with it.
        m_bDragging = 0;
        ReleaseMouseCapture();
        return true;
    }
    const plat::Point cursor = GetCursorScreenPos();
    const int32_t now = m_bHorizontal ? cursor.x : cursor.y;
    int32_t& last = m_bHorizontal ? m_LastCursor.x : m_LastCursor.y;
    if (now != last) {
        Invalidate();
        int32_t v = AxisPos() + (now - last);
        if (v < m_nMin) {
            v = m_nMin;
        } else if (v > m_nMax) {
            v = m_nMax;
        } else {
            last = now;
        }
        SetAxisPos(v);
        Invalidate();
        Notify(m_nId, 0);
    }
    return true;
}

void zel_TrackButton::OnLButtonUp(uint32_t, plat::Point) {
    if (m_bDragging) {
        m_bDragging = 0;
        ReleaseMouseCapture();
    }
}

void zel_TrackButton::OnMouseLeave(uint32_t) {
    m_bDragging = 0;
}

void zel_TrackButton::OnCaptureLost() {
    m_bDragging = 0;
}
