#pragma once
#include "skin/zel_Button.h"

// The push-and-notify button of the forms and the arrows of scroll bars: hover shows frame
// 1, a press on a hovered button shows frame 2 and notifies (own id, 0) at once, the release
// returns to frame 1. Entering with the button held shows frame 2 without notifying.
class zel_Command : public zel_Button {
public:
    bool OnMouseEnter(uint32_t flags) override;
    void OnMouseLeave(uint32_t flags) override;
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    void OnLButtonUp(uint32_t flags, plat::Point point) override;

    // Keyboard and handset feedback: a button at rest shows its hover frame on screen for
    // 150 ms (the GUI thread waits), then is back at rest for the next composition.
    void Flash();

    static constexpr uint32_t kFlashMs = 150;
};
