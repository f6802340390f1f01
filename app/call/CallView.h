#pragma once
#include <string>

#include "platform/ui/MessagePort.h"

// The call window as the call logic drives it. The skinned window implements it; tests use a
// fake. GUI thread only.
class CallView {
public:
    virtual ~CallView() = default;

    // Rewrites the status line (caption and number display) from the call state.
    virtual void UpdateStatus() = 0;
    // The number display (label 222) and the status caption (label 220).
    virtual void SetNumberDisplay(const std::string& text) = 0;
    virtual void SetStatusCaption(const std::string& text) = 0;
    // The four receive-quality lights, from the least to the most demanding test.
    virtual void SetQualityLights(bool first, bool second, bool third, bool fourth) = 0;
    // Flashes a skin button (keypad, talk, hang-up, backspace).
    virtual void FlashButton(unsigned id) = 0;

    // The window's own timers; each one fires CallLogic::OnTimer(id) until killed.
    virtual void SetTimer(unsigned id, unsigned periodMs) = 0;
    virtual void KillTimer(unsigned id) = 0;

    // An incoming call or a handset key: show the window, restore it from the minimised
    // state, put it topmost and bring it to the foreground.
    virtual void RaiseWindow() = 0;
    // The handset's hide key.
    virtual void HideWindow() = 0;
    // Where the media notifier posts WM_MEDIA_LEVEL; the window's own message port.
    virtual plat::PostTarget MessageTarget() const = 0;
    // The form's own key-down handling (focus cycling).
    virtual void OnBaseKeyDown(unsigned key) = 0;
    // The account balance record is reset at the end of a running call.
    virtual void ResetBalance() = 0;
    // Starts the program again and ends this process (resume from a critical suspend).
    virtual void RestartProgram() = 0;
};
