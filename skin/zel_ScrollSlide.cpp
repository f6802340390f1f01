#include "skin/zel_ScrollSlide.h"

#include <algorithm>
#include <cstdlib>

#include "platform/core/DebugOutput.h"

bool zel_ScrollSlide::CreateFromSkin(zel_Parent* parent, int id) {
    m_nId = static_cast<uint16_t>(id);
    if (!m_pParent && parent) {
        parent->AddChild(this);
    } else {
        m_bDirty = 1;
    }
    m_pPos = &m_RectPos;
    m_Thumb.CreateFromSkin(this, id);
    m_Thumb.m_nId = static_cast<uint16_t>(id);
    m_Thumb.m_OwnPos = {0, 0};
    m_Thumb.m_nMin = 0;
    m_fMin = m_fMax = 0;
    const SkinPos* p1 = GetSkinPos(id + 1);
    const SkinPos* p2 = GetSkinPos(id + 2);
    if (!p1 || !p2) {
        plat::DebugOutput("zel_ScrollSlide: the skin lacks an end of the slider\n");
        m_bVisible = 0;
        m_Thumb.m_nMax = 0;
        return false;
    }
    m_bVisible = 1;
    const bool horizontal = std::abs(p2->y - p1->y) < std::abs(p2->x - p1->x);
    m_Thumb.m_bHorizontal = horizontal;
    const int32_t thumbWidth = m_Thumb.m_Bitmap.width;
    const int32_t thumbHeight = m_Thumb.GetRect().Height();
    int32_t length = 0;
    if (horizontal) {
        const int32_t low = std::min(p1->x, p2->x);
        const int32_t high = std::max(p1->x, p2->x);
        SetOwnRect({low, p1->y, high + thumbWidth, p1->y + thumbHeight});
        length = high - low;
    } else {
        const int32_t low = std::min(p1->y, p2->y);
        const int32_t high = std::max(p1->y, p2->y);
        SetOwnRect({p1->x, low, p1->x + thumbWidth, high + thumbHeight});
        length = high - low;
    }
    m_Thumb.m_nMax = length;
    Invalidate();
    return true;
}

void zel_ScrollSlide::SetRange(int32_t minimum, int32_t maximum) {
    if (minimum < maximum) {
        m_fMin = static_cast<float>(minimum);
        m_fMax = static_cast<float>(maximum);
    } else {
        m_fMin = m_fMax = 0;
    }
    Invalidate();
}

void zel_ScrollSlide::SetPos(float value) {
    if (m_fMin >= m_fMax) {
        return;
    }
    value = std::clamp(value, m_fMin, m_fMax);
    Invalidate();
    const float fraction = 1.0f - (value - m_fMin) / (m_fMax - m_fMin);
    m_Thumb.SetAxisPos(
        m_Thumb.m_nMin +
        static_cast<int32_t>(fraction * static_cast<float>(m_Thumb.m_nMax - m_Thumb.m_nMin)));
    Invalidate();
}

float zel_ScrollSlide::GetPos() const {
    if (m_fMin >= m_fMax) {
        return 0;
    }
    const int32_t span = m_Thumb.m_nMax - m_Thumb.m_nMin;
    const float fraction =
        span > 0 ? static_cast<float>(m_Thumb.AxisPos() - m_Thumb.m_nMin) / static_cast<float>(span)
                 : 0.0f;
    return m_fMin + (1.0f - fraction) * (m_fMax - m_fMin);
}
