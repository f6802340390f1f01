#pragma once
#include "skin/zel_Edit.h"

// The password field: one star per character; the caret moves by the star's width. The
// star is measured at each skin load (its width at least 1), and the caret column is made
// anew whenever the caret's height changes.
class zel_EditPass : public zel_Edit {
public:
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    void RenderText() override;
    bool CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font) override;
    void UpdateCaret() override;

    int32_t m_nStarWidth = 0;
};
