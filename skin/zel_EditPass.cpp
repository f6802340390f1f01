#include "skin/zel_EditPass.h"

#include <algorithm>

#include "skin/Utf8Text.h"

bool zel_EditPass::CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font) {
    if (!zel_Edit::CreateFromSkin(parent, id, font)) {
        return false;
    }
    const plat::Size star = font ? font->Measure("*") : plat::Size{};
    m_nStarWidth = std::max(star.cx, 1);
    m_nCaretHeight = std::min(star.cy, m_nAreaHeight);
    UpdateCaret();
    Invalidate();
    return true;
}

void zel_EditPass::UpdateCaret() {
    HideCaret();
    m_nCaretX = CaretColumn(m_nCaretIndex * std::max(m_nStarWidth, 1));
    EnsureColumn(m_nCaretHeight);
}

bool zel_EditPass::OnLButtonDown(uint32_t, plat::Point point) {
    const int32_t star = std::max(m_nStarWidth, 1);
    m_nCaretIndex = std::clamp((star / 2 + point.x) / star, 0, Utf8Length(m_Text));
    UpdateCaret();
    ShowCaret();
    return true;
}

void zel_EditPass::RenderText() {
    if (!m_bDirty || !m_Bitmap.surface.IsValid() || m_nStarWidth < 1) {
        return;
    }
    m_bDirty = 0;
    {
        plat::Canvas canvas(m_Bitmap.surface);
        canvas.FillRect({0, 0, m_Bitmap.width, m_Bitmap.height}, plat::Rgb(255, 255, 255));
        const int32_t n = Utf8Length(m_Text);
        for (int32_t k = 0; k < n && m_pFont && k * m_nStarWidth < m_Bitmap.width; ++k) {
            canvas.DrawText(*m_pFont, "*", {k * m_nStarWidth, 0, m_Bitmap.width, m_Bitmap.height},
                            0, plat::Rgb(0, 0, 0));
        }
    }
    CoverageToAlpha();
}
