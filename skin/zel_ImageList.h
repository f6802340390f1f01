#pragma once
#include <memory>
#include <string>

#include "platform/res/ResourceModule.h"
#include "skin/zel_ImageItem.h"
#include "skin/zel_Wnd.h"

// The skin browser strip: one preview per skin module, ordered by language, fading in while
// the mouse is over it and out when it leaves, magnifying the previews near the cursor; a
// click selects a preview, a double-click notifies (list id, skin id) to the parent (which
// switches to that skin). Its owner scrolls it through SetScrollPos, with the range
// GetScrollWidth.
//
// Skin ids: area n; colour n + 1, the previews' captions (black when the skin has none). An
// area of width or height 0 or less holds no previews.
class zel_ImageList : public zel_Wnd {
public:
    ~zel_ImageList() override;

    void Draw(plat::Canvas& target, const plat::Rect& clip) override;
    plat::Rect GetRect() const override;
    // The whole form is recomposed: magnified previews may reach outside the area.
    void Invalidate() override;
    bool OnMouseEnter(uint32_t flags) override;
    void OnMouseLeave(uint32_t flags) override;
    void OnTimerTick() override;
    bool OnMouseMove(uint32_t flags, plat::Point point) override;
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    void OnLButtonDblClk(uint32_t flags, plat::Point point) override;

    // Empties the strip and takes area `id` and the caption colour; attaches it the first
    // time. False when the area is missing or its size is above kMaxSkinSide.
    bool CreateFromSkin(zel_Parent* parent, int id);
    // Adds the preview of `module` (bitmap 303, skin id 304, language 301) with its caption
    // in `face`; selected when `select` or when it is the current skin. False for a module
    // without a skin id or preview, for a skin id already shown, or for a strip that holds
    // no previews.
    bool AddSkin(const plat::ResourceModule* module, bool select, const std::string& face);
    void RemoveAll();
    // The width to scroll over: the previews' widths and gaps, less the area, plus 20.
    int32_t GetScrollWidth() const;
    void SetScrollPos(int32_t offset);
    // The selected preview's skin id, -1 when none.
    int32_t GetSelectedId() const;

    int32_t Count() const;
    const zel_ImageItem* First() const { return m_pFirst.get(); }
    float Fade() const { return m_fFade; }

    static constexpr int32_t kGap = 10;

    std::unique_ptr<zel_ImageItem> m_pFirst;
    zel_ImageItem* m_pSelected = nullptr;
    int32_t m_nScroll = 0;
    int32_t m_nMagnifierShift = 0;
    SkinPos m_AreaPos{0, 0};
    int32_t m_nAreaWidth = 0;
    int32_t m_nAreaHeight = 0;
    uint8_t m_bFadingIn = 0;
    float m_fFade = 1;
    float m_fCursorFraction = 1;
    uint32_t m_ColorKey = 0xFFFFFF;
    uint32_t m_CaptionColor = 0; // as the skin stores it: red in the low byte
};
