#pragma once
#include "skin/zel_Bitmap.h"
#include "skin/zel_Wnd.h"

// A skinned button: one frame of a bitmap whose frames are stacked vertically (frame 0
// normal, 1 hover, 2 pressed), frame k occupying rows k x frame height to (k + 1) x frame
// height - 1. By itself it takes no input; the subclasses add the behaviour.
class zel_Button : public zel_Wnd {
public:
    zel_Button() = default;

    void Draw(plat::Canvas& target, const plat::Rect& clip) override;
    plat::Rect GetRect() const override;

    // Position and bitmap `id` of the current skin; attaches the button to `parent` with that
    // id the first time. A missing position or bitmap leaves a button that draws nothing; a
    // frame count below 1 counts as 1. Always true.
    bool CreateFromSkin(zel_Parent* parent, int id, int32_t frames);

    int32_t m_nState = 0;  // 0 normal, 1 hover, 2 pressed
    int32_t m_nFrames = 0; // frames in the bitmap
    int32_t m_nFrameHeight = 0;
    zel_Bitmap m_Bitmap;

protected:
    void SetState(int32_t state);
    int32_t FrameHeight() const;
};
