#include "skin/zel_Button.h"

#include <algorithm>

#include "skin/zel_Parent.h"

int32_t zel_Button::FrameHeight() const {
    return m_Bitmap.height / std::max(m_nFrames, 1);
}

bool zel_Button::CreateFromSkin(zel_Parent* parent, int id, int32_t frames) {
    m_pPos = GetSkinPos(id);
    if (!m_pParent && parent) {
        parent->AddChild(this);
        m_nId = static_cast<uint16_t>(id);
    }
    m_Bitmap.LoadFromSkin(id);
    m_nFrames = std::max(frames, 1);
    m_nState = 0;
    m_nFrameHeight = FrameHeight();
    Invalidate();
    return true;
}

void zel_Button::Draw(plat::Canvas& target, const plat::Rect& clip) {
    if (!m_Bitmap.surface.IsValid() || !m_pPos || !m_bVisible) {
        return;
    }
    m_nFrameHeight = FrameHeight();
    target.AlphaBlend(clip, m_Bitmap.surface, clip.left - m_pPos->x,
                      m_nState * m_nFrameHeight + clip.top - m_pPos->y);
}

plat::Rect zel_Button::GetRect() const {
    const plat::Point at = m_pPos ? plat::Point{m_pPos->x, m_pPos->y} : plat::Point{};
    if (!m_Bitmap.surface.IsValid()) {
        return {at.x, at.y, at.x, at.y};
    }
    return {at.x, at.y, at.x + m_Bitmap.width, at.y + FrameHeight()};
}

void zel_Button::SetState(int32_t state) {
    m_nState = state;
    Invalidate();
}
