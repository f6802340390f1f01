#pragma once
#include <cstdint>
#include <vector>

#include "skin/zel_Bkgrd.h"
#include "skin/zel_Parent.h"

// A panel that lives mostly behind an edge of its parent and slides out: it peeks out when
// the mouse enters its visible strip, opens on a click, and slides back when the mouse leaves
// a peeking panel, when the user clicks an empty part of the open panel, or when another
// panel of its group opens. Group 0 panels hang at the parent's left edge, group 1 panels at
// its right; at most one panel per group is open. Every move takes 700 ms, eased with a sine,
// on the form's animation timer (one reference while a move runs). The application's panels
// derive from it and add their controls as its children.
//
// Skin ids for base n: background bitmap n; values n + 1 (closed edge: how much shows when
// closed), n + 2 (peek edge) and n + 3 (y).
class zel_Slide : public zel_Parent {
public:
    enum State : int32_t { kClosed = 0, kPeeking = 1, kOpen = 2 };
    static constexpr uint32_t kDurationMs = 700;

    ~zel_Slide() override;

    void Draw(plat::Canvas& target, const plat::Rect& clip) override;
    void OnTimerTick() override;
    bool OnMouseEnter(uint32_t flags) override;
    void OnMouseLeave(uint32_t flags) override;
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    bool OnMouseMove(uint32_t flags, plat::Point point) override;

    // Loads the panel; an open panel stays open through a re-skin. A group 1 panel is placed
    // at x = closed edge; its form then moves it to its closed place (ClosedX). False when the
    // background is missing.
    bool CreateFromSkin(zel_Parent* parent, int id, uint8_t group);
    // An open panel moves to its open place for the parent's current width (after a re-skin).
    void AnchorOpen();
    // Slides the panel closed.
    void Close();

    // The panel's left edge closed, peeking and open, for the parent's current width.
    int32_t ClosedX() const;
    int32_t PeekX() const;
    int32_t OpenX() const;
    // Moves the left edge, keeping the width.
    void SetX(int32_t x);
    int32_t X() const { return m_RectPos.x; }

    // Set by the form: the panel draws only inside these rectangles (target pixels); not owned.
    const std::vector<plat::Rect>* m_pClip = nullptr;
    zel_Bkgrd m_Background;
    int32_t m_nClosedEdge = 0;
    int32_t m_nPeekEdge = 0;
    int32_t m_nFromX = 0;
    int32_t m_nToX = 0;
    int32_t m_nState = kClosed;
    uint32_t m_nStartTime = 0;
    uint8_t m_nGroup = 0;
    uint8_t m_bAnimating = 0;

private:
    void StartAnimation(int32_t from, int32_t to);
    int32_t ParentWidth() const;
    zel_Slide*& GroupSlot() const;
};

// The open (or opening) panel of group 0 and of group 1, or null; shared by all forms.
extern zel_Slide* g_OpenSlideLeft;
extern zel_Slide* g_OpenSlideRight;
