#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/Geometry.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/MessagePort.h"
#include "platform/ui/Surface.h"

namespace plat {

// Show commands, numbered as the original platform's.
constexpr int kSwHide = 0;
constexpr int kSwShowNormal = 1;
constexpr int kSwShowMinimized = 2;
constexpr int kSwShowMaximized = 3;
constexpr int kSwShowNoActivate = 4;
constexpr int kSwShow = 5;
constexpr int kSwMinimize = 6;
constexpr int kSwShowMinNoActive = 7;
constexpr int kSwShowNa = 8;
constexpr int kSwRestore = 9;

// The smallest timer period; shorter ones are raised to it, as the original platform does.
constexpr uint32_t kMinTimerPeriodMs = 10;

// What a window reports to its owner, one call per window message, in the original platform's
// order: a mouse press at a new position comes after a move to it, a second press within the
// double-click time and distance is a double-click, a release ends the capture's drag, and so
// on. After each message the window calls AfterMessage (the form composes there) unless the
// owner destroyed the window inside the message.
//
// Threads: every call arrives on the GUI thread.
class WindowEvents {
public:
    // Points are in client coordinates (relative to the window's top-left corner); the flags
    // are the mouse-key flags (kMk*) after the event, as the original platform reports them.
    virtual void OnLButtonDown(uint32_t flags, Point client) = 0;
    virtual void OnLButtonUp(uint32_t flags, Point client) = 0;
    virtual void OnLButtonDblClk(uint32_t flags, Point client) = 0;
    virtual void OnMouseMove(uint32_t flags, Point client) = 0;
    // The window lost the mouse capture (released, taken by another window, or broken).
    virtual void OnCaptureChanged() = 0;
    virtual void OnTimer(uint32_t id) = 0;
    // A key went down (virtual-key code). True when the key is consumed, so the character it
    // would type is not delivered.
    virtual bool OnKeyDown(uint32_t vk) = 0;
    virtual void OnKeyUp(uint32_t vk) = 0;
    // The character a key typed: a Unicode code point (8 backspace, 13 return, 27 escape,
    // 1-26 for Control with a letter).
    virtual void OnChar(uint32_t ch) = 0;
    // A message posted through the window's PostTarget.
    virtual void OnMessage(const WindowMessage& message) = 0;
    // The user asked to close the window (the window manager's close button).
    virtual void OnCloseRequest() = 0;
    virtual void AfterMessage() = 0;

protected:
    ~WindowEvents() = default;
};

// A top-level window without decorations whose pixels are a premultiplied 32-bit image with
// per-pixel alpha, shown with one constant alpha on top; clicks pass through where the image
// is fully transparent.
//
// Threads: GUI thread only, except GetPostTarget's target, which any thread may use.
// Destroying the window removes its timers, closes its message port (queued messages are
// dropped), releases the capture if it holds it (without calling back) and ends its modal loop.
class Window {
public:
    virtual ~Window() = default;

    // Shows `image` at once (the call returns with the pixels on screen), at the image's size,
    // with `alpha` (0-255) applied to every pixel. The image is kept for repaints until the
    // next Present. The input shape follows the pixels whose alpha is above 0. `changed`, when
    // given, is the only part of the image that differs from the last present (the window
    // then repaints and re-examines that part only).
    virtual void Present(const Surface& image, uint8_t alpha, const Rect* changed = nullptr) = 0;
    // A show command (kSw*).
    virtual void Show(int command) = 0;
    virtual bool IsVisible() const = 0;
    virtual bool IsMinimized() const = 0;
    virtual void BringToForeground() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // The window's icon (the task bar's and the window list's); nothing where there is none.
    virtual void SetIcon(const Surface&) {}
    // Keeps the window above the other programs' windows (true) or lets it go below them.
    virtual void SetTopmost(bool) {}

    // The window's screen rectangle, as this layer last placed it (moves take effect on the
    // display a little later; this answers at once).
    virtual Rect GetWindowRect() const = 0;
    // Moves the top-left corner; no change of size or stacking order.
    virtual void Move(int32_t x, int32_t y) = 0;

    // Starts or restarts timer `id` with `periodMs` (setting an id again replaces it).
    virtual void SetTimer(uint32_t id, uint32_t periodMs) = 0;
    // Nothing when the timer is not running.
    virtual void KillTimer(uint32_t id) = 0;

    // All mouse input goes to this window until ReleaseCapture. A window that held the
    // capture before gets OnCaptureChanged at once.
    virtual void SetCapture() = 0;
    // When this window holds the capture: releases it, and OnCaptureChanged arrives before
    // this call returns.
    virtual void ReleaseCapture() = 0;
    virtual bool HasCapture() const = 0;

    // The cursor's position on the screen.
    virtual Point GetCursorPos() const = 0;
    // True when the window under the cursor is this one.
    virtual bool IsUnderCursor() const = 0;

    // Where other threads post this window's messages; empty once the window is gone.
    virtual PostTarget GetPostTarget() const = 0;

    // Runs a loop until EndModal (or the window's destruction); other windows of the program
    // keep running. Returns EndModal's result, or kModalAborted.
    virtual int RunModal() = 0;
    virtual void EndModal(int result) = 0;

    // For message boxes and dialogs owned by this window.
    virtual NativeWindow Native() const = 0;

    static constexpr int kModalAborted = -1;
};

// Makes windows. The program uses GTK on X11; headless tests install a fake.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // A new hidden window reporting to `events`, which must outlive it; `owner` (optional)
    // keeps it above that window.
    virtual std::unique_ptr<Window> CreateWindow(WindowEvents& events, Window* owner) = 0;
    // The cursor's position on the screen.
    virtual Point GetCursorPos() = 0;
    // Releases the mouse capture, whichever window holds it (its OnCaptureChanged arrives
    // before this returns); nothing when none does.
    virtual void ReleaseCapture() = 0;
};

// The process-wide window system: GTK unless a test installed another. GUI thread.
WindowSystem& CurrentWindowSystem();
// Installs a window system (nullptr restores GTK's); returns the one it replaced.
WindowSystem* SetWindowSystem(WindowSystem* system);

} // namespace plat
