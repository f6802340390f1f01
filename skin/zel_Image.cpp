#include "skin/zel_Image.h"

#include "skin/zel_Parent.h"

bool zel_Image::CreateFromSkin(zel_Parent* parent, int id) {
    if (!m_pParent && parent) {
        parent->AddChild(this);
    } else {
        m_bDirty = 1;
    }
    m_pPos = GetSkinPos(id);
    return m_Bitmap.LoadFromSkin(id);
}

void zel_Image::Draw(plat::Canvas& target, const plat::Rect& clip) {
    if (!m_bVisible || !m_pPos || !m_Bitmap.surface.IsValid()) {
        return;
    }
    target.AlphaBlend(clip, m_Bitmap.surface, clip.left - m_pPos->x, clip.top - m_pPos->y);
}

plat::Rect zel_Image::GetRect() const {
    if (!m_pPos) {
        return {};
    }
    return {m_pPos->x, m_pPos->y, m_pPos->x + m_Bitmap.width, m_pPos->y + m_Bitmap.height};
}
