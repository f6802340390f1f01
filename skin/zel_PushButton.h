#pragma once
#include "skin/zel_Button.h"

// A button that latches: a press (or entering with the button held) shows frame 2 and
// notifies, and from then on the mouse changes nothing until the program calls Release.
class zel_PushButton : public zel_Button {
public:
    bool OnMouseEnter(uint32_t flags) override;
    void OnMouseLeave(uint32_t flags) override;
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;

    // Latches without notifying.
    void Press();
    // Unlatches a pressed button.
    void Release();
};
