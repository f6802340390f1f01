#pragma once
#include "skin/zel_Wnd.h"

// A control that holds other controls: routes the mouse to the child under it (keeping a hot,
// hovered child), remembers the focused child, draws its visible children, forwards their
// invalid rectangles and timer references up to the form, and counts the timer references
// held below it. Every operation visits only enabled and visible children, except drawing,
// which needs visible only.
//
// Threads: the GUI thread only.
class zel_Parent : public zel_Wnd {
public:
    zel_Parent() = default;

    void Draw(plat::Canvas& target, const plat::Rect& clip) override;
    plat::Rect GetRect() const override { return OwnRect(); }
    void Invalidate() override;
    void AcquireTimer() override;
    void ReleaseTimer() override;
    void OnTimerTick() override;
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    void OnLButtonUp(uint32_t flags, plat::Point point) override;
    bool OnMouseMove(uint32_t flags, plat::Point point) override;
    void OnLButtonDblClk(uint32_t flags, plat::Point point) override;
    void OnMouseLeave(uint32_t flags) override;

    // `r` in this container's coordinates (null: the whole container) goes up to the form,
    // horizontally clipped to the container.
    virtual void InvalidateRect(const plat::Rect* r);
    // `origin`: the child's top-left in this container's coordinates.
    virtual void CaptureChild(zel_Wnd* child, plat::Point origin);

    // Appends a child (top of the hit order, drawn first); the first focusable child added
    // becomes the focused child.
    void AddChild(zel_Wnd* child);
    // Attaches the container to `parent` the first time and gives it its rectangle.
    void Create(zel_Parent* parent, int32_t x, int32_t y, int32_t width, int32_t height);
    // Moves the rectangle by minus `point` (makes a member container relative to its owner).
    void OffsetRect(plat::Point point);

    plat::Rect OwnRect() const { return {m_RectPos.x, m_RectPos.y, m_nRight, m_nBottom}; }
    // Sets the rectangle; the position pointer keeps pointing at its top-left corner.
    void SetOwnRect(const plat::Rect& r);

    // The own rectangle: its top-left pair is what the position pointer points at.
    SkinPos m_RectPos{0, 0};
    int32_t m_nRight = 0;
    int32_t m_nBottom = 0;
    zel_Wnd* m_pLastChild = nullptr;  // head of the draw order
    zel_Wnd* m_pFirstChild = nullptr; // head of the hit order
    int32_t m_nTimerRefs = 0;
    zel_Wnd* m_pHot = nullptr;
    zel_Wnd* m_pFocus = nullptr;

protected:
    // The first enabled, visible child in hit order at or after `from` whose rectangle holds
    // `point`; sets *local to the point relative to it.
    static zel_Wnd* HitFrom(zel_Wnd* from, plat::Point point, plat::Point* local);
    // Draws every visible child that meets `clip` (own coordinates).
    void DrawChildren(plat::Canvas& target, const plat::Rect& clip);
    // `clip` (parent coordinates) converted to own coordinates and cut to the rectangle.
    plat::Rect ClipToOwn(const plat::Rect& clip) const;
};
