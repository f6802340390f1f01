#include "skin/zel_Slide.h"

#include <cmath>

#include "platform/core/Clock.h"

zel_Slide* g_OpenSlideLeft = nullptr;
zel_Slide* g_OpenSlideRight = nullptr;

zel_Slide::~zel_Slide() {
    // The call window and its panels are rebuilt at each sign-in: no global may point here.
    if (g_OpenSlideLeft == this) {
        g_OpenSlideLeft = nullptr;
    }
    if (g_OpenSlideRight == this) {
        g_OpenSlideRight = nullptr;
    }
}

zel_Slide*& zel_Slide::GroupSlot() const {
    return m_nGroup == 0 ? g_OpenSlideLeft : g_OpenSlideRight;
}

int32_t zel_Slide::ParentWidth() const {
    return m_pParent ? m_pParent->GetRect().Width() : 0;
}

int32_t zel_Slide::ClosedX() const {
    return m_nGroup == 0 ? m_nClosedEdge - m_Background.m_Bitmap.width
                         : ParentWidth() - m_nClosedEdge;
}

int32_t zel_Slide::PeekX() const {
    return m_nGroup == 0 ? m_nPeekEdge - m_Background.m_Bitmap.width : ParentWidth() - m_nPeekEdge;
}

int32_t zel_Slide::OpenX() const {
    return m_nGroup == 0 ? 0 : ParentWidth() - m_Background.m_Bitmap.width;
}

void zel_Slide::SetX(int32_t x) {
    const plat::Rect r = OwnRect();
    SetOwnRect({x, r.top, x + r.Width(), r.bottom});
}

bool zel_Slide::CreateFromSkin(zel_Parent* parent, int id, uint8_t group) {
    if (m_bAnimating) {
        // The move in progress ends here: its timer reference goes back.
        zel_Parent::ReleaseTimer();
        m_bAnimating = 0;
    }
    const bool loaded = m_Background.CreateFromSkin(this, id);
    m_nClosedEdge = GetSkinValue(id + 1);
    m_nPeekEdge = GetSkinValue(id + 2);
    m_nGroup = group;
    if (!m_pParent || m_nState != kOpen) {
        m_nState = kClosed;
    }
    const int32_t width = m_Background.m_Bitmap.width;
    const int32_t x = group == 0 ? m_nClosedEdge - width : m_nClosedEdge;
    zel_Parent::Create(parent, x, GetSkinValue(id + 3), width, m_Background.m_Bitmap.height);
    return loaded;
}

void zel_Slide::AnchorOpen() {
    if (m_nState == kOpen) {
        SetX(OpenX());
    }
}

void zel_Slide::StartAnimation(int32_t from, int32_t to) {
    m_nFromX = from;
    m_nToX = to;
    m_nStartTime = plat::TimeMs();
    // One reference per running move: a move that starts before the last one ended keeps it.
    if (!m_bAnimating) {
        zel_Parent::AcquireTimer();
    }
    m_bAnimating = 1;
}

void zel_Slide::Close() {
    const int32_t from = X();
    if (GroupSlot() == this) {
        GroupSlot() = nullptr;
    }
    m_nState = kClosed;
    StartAnimation(from, ClosedX());
}

bool zel_Slide::OnMouseEnter(uint32_t) {
    if (m_nState == kClosed) {
        m_nState = kPeeking;
        StartAnimation(ClosedX(), PeekX());
    }
    return true;
}

void zel_Slide::OnMouseLeave(uint32_t flags) {
    zel_Parent::OnMouseLeave(flags);
    if (m_nState == kPeeking) {
        Close();
    }
}

bool zel_Slide::OnLButtonDown(uint32_t flags, plat::Point point) {
    if (m_nState == kOpen) {
        if (zel_Parent::OnLButtonDown(flags, point)) {
            return true;
        }
        if (m_nState == kOpen) {
            Close();
        }
        return true;
    }
    zel_Slide*& open = GroupSlot();
    if (open && open != this) {
        open->Close();
    }
    open = this;
    m_nState = kOpen;
    StartAnimation(X(), OpenX());
    return true;
}

bool zel_Slide::OnMouseMove(uint32_t flags, plat::Point point) {
    if (m_nState == kOpen && !m_bAnimating) {
        zel_Parent::OnMouseMove(flags, point);
    }
    return true;
}

void zel_Slide::OnTimerTick() {
    if (!m_bAnimating) {
        zel_Parent::OnTimerTick();
        return;
    }
    const uint32_t t = plat::TimeMs() - m_nStartTime;
    Invalidate();
    int32_t x;
    if (t > kDurationMs) {
        zel_Parent::ReleaseTimer();
        x = m_nToX;
        m_bAnimating = 0;
    } else {
        x = m_nFromX +
            static_cast<int32_t>(std::sin(t * 3.1415 / 2 / kDurationMs) * (m_nToX - m_nFromX));
    }
    SetX(x);
    Invalidate();
}

void zel_Slide::Draw(plat::Canvas& target, const plat::Rect& clip) {
    m_bDirty = 0;
    target.SetClipRects(m_pClip);
    const plat::Point previous = target.Origin();
    target.SetOrigin({previous.x + m_RectPos.x, previous.y + m_RectPos.y});
    const plat::Rect own = ClipToOwn(clip);
    // The background first, whatever the order its controls were added in.
    if (m_Background.m_bVisible) {
        const plat::Rect r = plat::Intersect(m_Background.GetRect(), own);
        if (!r.IsEmpty()) {
            m_Background.Draw(target, r);
        }
    }
    if (m_nState != kClosed || m_bAnimating) {
        for (zel_Wnd* child = m_pLastChild; child; child = child->m_pNextDraw) {
            if (child == &m_Background || !child->m_bVisible) {
                continue;
            }
            const plat::Rect r = plat::Intersect(child->GetRect(), own);
            if (!r.IsEmpty()) {
                child->Draw(target, r);
            }
        }
    }
    target.SetOrigin(previous);
    target.SetClipRects(nullptr);
}
