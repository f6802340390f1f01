#pragma once
#include <cstdint>

#include "platform/ui/Canvas.h"
#include "platform/ui/Geometry.h"
#include "skin/SkinResources.h"

class zel_Parent;

// A skinned control: not a window, but a node of the control tree that a form draws into its
// back buffer and routes mouse and keyboard events to. Positions and rectangles are in the
// parent's coordinates; points passed to the mouse operations are relative to the control's
// top-left corner. Children are linked in two orders without separate allocation: the hit
// order runs from the first-added child to the newest, the draw order the other way, so the
// first-added child is drawn on top and hit first.
//
// Threads: the GUI thread only.
class zel_Wnd {
public:
    virtual ~zel_Wnd() = default;
    zel_Wnd(const zel_Wnd&) = delete;
    zel_Wnd& operator=(const zel_Wnd&) = delete;

    // Draws the part of the control inside `clip` (parent coordinates) onto the target.
    virtual void Draw(plat::Canvas& target, const plat::Rect& clip) = 0;
    // The control's rectangle in the parent's coordinates.
    virtual plat::Rect GetRect() const = 0;
    virtual bool IsFocusable();
    virtual void SetEnabled(bool enabled);
    // Shares the form's animation timer: OnTimerTick arrives while a reference is held.
    virtual void AcquireTimer();
    virtual void ReleaseTimer();
    virtual void Invalidate();
    // Makes this control the parent's focused child; the one that had the focus loses its
    // caret and is deactivated.
    virtual void SetFocus();
    // Passes (id, value) up to the form's command handler.
    virtual void Notify(uint16_t id, int32_t value);
    virtual void OnTimerTick() {}
    virtual void OnCaptureLost() {}
    virtual void Deactivate() {}
    virtual void ShowCaret() {}
    virtual void HideCaret() {}
    // True when the control takes the hover.
    virtual bool OnMouseEnter(uint32_t flags);
    virtual void OnMouseLeave(uint32_t flags);
    // True when the control took the press.
    virtual bool OnLButtonDown(uint32_t flags, plat::Point point);
    virtual void OnLButtonUp(uint32_t flags, plat::Point point);
    virtual bool OnMouseMove(uint32_t flags, plat::Point point);
    virtual void OnLButtonDblClk(uint32_t flags, plat::Point point);
    virtual void OnKeyDown(uint32_t vk, uint32_t repeat, uint32_t flags);
    virtual void OnChar(uint32_t ch, uint32_t repeat, uint32_t flags);

    bool HasFocus() const;
    // The form sends every mouse event to this control until the capture ends.
    void CaptureMouse();
    // Hides or shows the control; the whole parent is redrawn.
    void SetVisible(bool visible);

    // The top-left corner: into a skin resource or the control's own fields; null until the
    // control is created from a skin.
    const SkinPos* m_pPos = nullptr;
    uint16_t m_nId = 0;
    zel_Parent* m_pParent = nullptr;
    uint8_t m_bDirty = 1;
    uint8_t m_bEnabled = 1;
    uint8_t m_bVisible = 1;
    // Nonzero while the control holds a reference on the animation timer.
    int32_t m_nTimerHeld = 0;
    zel_Wnd* m_pNextHit = nullptr;  // the child added after this one
    zel_Wnd* m_pNextDraw = nullptr; // the child added before this one

protected:
    zel_Wnd() = default;
};

// The cursor's position on the screen.
plat::Point GetCursorScreenPos();
// Ends the mouse capture of whichever form holds it.
void ReleaseMouseCapture();
