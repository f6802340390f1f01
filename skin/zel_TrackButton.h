#pragma once
#include "skin/zel_Button.h"

// The draggable thumb of scroll bars and sliders: a press captures the mouse, moves with the
// button held move the thumb along one axis by the cursor's movement (screen coordinates),
// pinned between a minimum and a maximum, and notify (id, 0) to the owner. While pinned the
// reference point stays where the limit was reached, so the thumb moves back only once the
// cursor returns past it.
class zel_TrackButton : public zel_Button {
public:
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    void OnLButtonUp(uint32_t flags, plat::Point point) override;
    bool OnMouseMove(uint32_t flags, plat::Point point) override;
    void OnMouseLeave(uint32_t flags) override;
    void OnCaptureLost() override;

    // Bitmap `id` (3 frames); attaches the thumb the first time with its position pointer at
    // its own position. The owner sets the id, the limits, the axis and the position.
    bool CreateFromSkin(zel_Parent* parent, int id);

    // The thumb's coordinate on its axis.
    int32_t AxisPos() const { return m_bHorizontal ? m_OwnPos.x : m_OwnPos.y; }
    void SetAxisPos(int32_t v) { (m_bHorizontal ? m_OwnPos.x : m_OwnPos.y) = v; }

    uint8_t m_bHorizontal = 0;
    int32_t m_nMax = 0;
    int32_t m_nMin = 0;
    SkinPos m_OwnPos{0, 0};
    uint8_t m_bDragging = 0;
    plat::Point m_LastCursor;
};
