#pragma once
#include "skin/zel_Button.h"

class CForm;

// The push-and-notify button of the forms and the arrows of scroll bars: hover shows frame
// 1, a press on a hovered button shows frame 2 and notifies (own id, 0) at once, the release
// returns to frame 1. Entering with the button held shows frame 2 without notifying. The second
// press of a double-click is a press like the first (two quick clicks on a key are two digits).
class zel_Command : public zel_Button {
public:
    zel_Command() = default;
    ~zel_Command() override;

    bool OnMouseEnter(uint32_t flags) override;
    void OnMouseLeave(uint32_t flags) override;
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    void OnLButtonUp(uint32_t flags, plat::Point point) override;
    void OnLButtonDblClk(uint32_t flags, plat::Point point) override;

    // Keyboard and handset feedback: a button at rest shows its hover frame for kFlashMs
    // (the form's flash timer ends it), while the key is handled and drawn at once. Another
    // button's flash ends this one at once; the same key again keeps it lit kFlashMs more.
    // A button that the mouse hovers or presses shows that instead, and keeps it after the
    // flash. Nothing outside a form with a window. The form composes after the key's message.
    void Flash();
    // The flash is over (the form's timer, another button's flash): back at rest, unless the
    // pointer came onto the button meanwhile.
    void EndFlash();
    // The form that times this button's flash is going away.
    void FormGone() { m_pFlashForm = nullptr; }

    static constexpr uint32_t kFlashMs = 150;

private:
    CForm* OwningForm();

    CForm* m_pFlashForm = nullptr; // while the button flashes
};
