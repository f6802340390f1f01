#pragma once
#include <cstdint>
#include <string>

// A window's rectangle in screen coordinates.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The main call window as the login form's SIP logic drives it.
class CallWindow {
public:
    virtual ~CallWindow() = default;
    virtual WindowRect GetWindowRect() const = 0;
    // Moves the window's top-left corner; no change of size or z-order.
    virtual void MoveTo(int x, int y) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Shows the window, restores it when minimised and brings it to the foreground (a click
    // on the tray icon).
    virtual void BringToFront() = 0;
    // Hangs up the current call (user = true: as the hang-up key does).
    virtual void HangUp(bool user) = 0;
    // A power event, as the power broadcast delivers it: the window's answer (0 for none). A
    // suspend hangs up and logs out, which destroys the window.
    virtual intptr_t PowerBroadcast(unsigned event) = 0;
    // Destroys the window; the object is gone afterwards.
    virtual void Destroy() = 0;
};

// The window operations the login form's SIP logic needs. The skinned login form implements
// it; tests use a fake. GUI thread only.
class LoginView {
public:
    enum class Owner { Form, CallWindow };

    // Message box flags and results, numbered as the original platform's.
    static constexpr unsigned kMbOk = 0x0;
    static constexpr unsigned kMbYesNo = 0x4;
    static constexpr unsigned kMbIconQuestion = 0x20;
    static constexpr int kIdOk = 1;
    static constexpr int kIdYes = 6;
    static constexpr int kIdNo = 7;

    virtual ~LoginView() = default;

    virtual std::string GetUserText() const = 0;
    virtual std::string GetPasswordText() const = 0;
    // The user field, the password field and the log-in button.
    virtual void EnableLoginControls(bool enable) = 0;

    virtual void ShowForm() = 0;
    virtual void HideForm() = 0;
    virtual WindowRect GetFormRect() const = 0;
    virtual void BringToForeground() = 0;
    // Whether a notification area holds the tray icon (LoginLink::IsTrayIconEmbedded).
    virtual bool IsTrayIconEmbedded() const = 0;

    virtual void SetTimer(unsigned id, unsigned periodMs) = 0;
    virtual void KillTimer(unsigned id) = 0;
    // The form base's own timer handling (caret, animation, mouse-leave).
    virtual void OnBaseTimer(unsigned id) = 0;

    // A message box with a text from the string table and the product name as caption.
    virtual int MessageBoxById(unsigned stringId, unsigned flags, Owner owner) = 0;
    // Ends the form's modal loop, which ends the program.
    virtual void EndDialog() = 0;

    // Builds the modeless main call window; it clears *slot when it is destroyed.
    virtual CallWindow* CreateCallWindow(CallWindow** slot) = 0;

    // Handset key events to the form on or off.
    virtual void SetHandsetEvents(bool on) = 0;
};
