#pragma once
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/ModalLoop.h"
#include "platform/ui/MouseSequencer.h"
#include "platform/ui/RecordingMessageBoxSink.h"
#include "platform/ui/Window.h"

namespace plat {

class FakeWindowSystem;

// A window of the fake window system: records what the program does to it (presents with a
// copy of the image, show commands, moves, timers, capture, modal loops) and lets a test send
// it input as the display would. Input goes through the same sequencing as real windows
// (moves before presses at new places, double-clicks by time and distance, a move where the
// pointer comes back after it was over something else). A modal loop that runs inside a press
// has the pointer: that press's release goes to it, not to the window. Timers run when the
// test fires them or, by the current clock, through FakeWindowSystem::RunDueTimers.
class FakeWindow final : public Window {
public:
    FakeWindow(FakeWindowSystem& system, WindowEvents& events, FakeWindow* owner);
    ~FakeWindow() override;

    // --- Window ---
    void Present(const Surface& image, uint8_t alpha, const Rect* changed = nullptr) override;
    void Show(int command) override;
    bool IsVisible() const override { return visible_; }
    bool IsMinimized() const override { return minimized_; }
    void BringToForeground() override { ++foregroundCount_; }
    void SetTitle(const std::string& title) override { title_ = title; }
    void SetTopmost(bool topmost) override { topmost_ = topmost; }
    Rect GetWindowRect() const override { return rect_; }
    void Move(int32_t x, int32_t y) override;
    void SetTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    void SetCapture() override;
    void ReleaseCapture() override;
    bool HasCapture() const override;
    Point GetCursorPos() const override;
    bool IsUnderCursor() const override;
    PostTarget GetPostTarget() const override { return PostTarget(port_); }
    int RunModal() override;
    void EndModal(int result) override;
    NativeWindow Native() const override { return nullptr; }

    // --- what the test reads ---
    int PresentCount() const { return presentCount_; }
    // A copy of the last image presented, and its alpha.
    const Surface& LastImage() const { return lastImage_; }
    uint8_t LastAlpha() const { return lastAlpha_; }
    // The part the last present said had changed (the whole image when it said nothing).
    Rect LastChanged() const { return lastChanged_; }
    // The running timers: id -> period.
    const std::map<uint32_t, uint32_t>& Timers() const { return timers_; }
    int LastShowCommand() const { return lastShow_; }
    int ForegroundCount() const { return foregroundCount_; }
    const std::string& Title() const { return title_; }
    bool IsTopmost() const { return topmost_; }
    int ModalRuns() const { return modalRuns_; }
    bool InModalLoop() const { return inModal_; }
    FakeWindow* Owner() const { return owner_; }

    // --- what the test does: input, in client coordinates unless named Screen ---
    void MoveMouse(Point client);
    void Press(Point client);
    void Release(Point client);
    void Click(Point client) {
        Press(client);
        Release(client);
    }
    void MoveMouseScreen(Point screen);
    void PressScreen(Point screen);
    void ReleaseScreen(Point screen);
    // Key down (and the character it types, unless the key-down is consumed), key up.
    void KeyDown(uint32_t vk, uint32_t ch = 0);
    void KeyUp(uint32_t vk);
    void TypeKey(uint32_t vk, uint32_t ch = 0) {
        KeyDown(vk, ch);
        KeyUp(vk);
    }
    // Runs timer `id` once, as its period elapsing would; false when it is not running.
    bool FireTimer(uint32_t id);
    void RequestClose();
    // Another program takes the mouse capture (the holder is told at once).
    void BreakCapture();

private:
    friend class FakeWindowSystem;
    template <typename F> void Deliver(F&& message);
    void DeliverMouse(const std::vector<MouseSequencer::Message>& messages);
    // The cursor is now at `screen`: a move where the pointer arrives, when it was over
    // something else since this window's last input.
    std::vector<MouseSequencer::Message> PointerAt(Point client, Point screen);

    FakeWindowSystem& system_;
    WindowEvents& events_;
    FakeWindow* owner_;
    std::shared_ptr<bool> alive_;
    std::shared_ptr<MessagePort> port_;
    MouseSequencer mouse_;
    uint32_t buttons_ = 0; // kMkLButton while the test holds the button
    uint64_t modalLoopsAtPress_ = 0;

    Rect rect_;
    bool visible_ = false;
    bool minimized_ = false;
    int lastShow_ = -1;
    int foregroundCount_ = 0;
    std::string title_;
    bool topmost_ = false;
    int presentCount_ = 0;
    Surface lastImage_;
    uint8_t lastAlpha_ = 0;
    Rect lastChanged_;
    std::map<uint32_t, uint32_t> timers_;
    std::map<uint32_t, uint32_t> due_; // id -> time of its next run
    bool pointerAway_ = true;          // the pointer was elsewhere since this window's input
    int modalRuns_ = 0;
    bool inModal_ = false;
    bool modalEnded_ = false;
    int modalResult_ = kModalAborted;
    bool pendingEnd_ = false;
    int pendingResult_ = 0;
};

// A window system without a display, for headless tests. Installs itself (and a recording
// message-box sink) for its lifetime. The cursor is where the test last sent mouse input or
// put it; the window under the cursor is the last shown visible window containing it, unless
// the test puts another program's window there. Press times and timers' due times come from
// the current clock (plat::TimeMs), so a FakeClock decides what is a double-click and when a
// timer runs.
//
// Threads: the test's thread stands in for the GUI thread.
class FakeWindowSystem final : public WindowSystem {
public:
    FakeWindowSystem();
    ~FakeWindowSystem() override;
    FakeWindowSystem(const FakeWindowSystem&) = delete;
    FakeWindowSystem& operator=(const FakeWindowSystem&) = delete;

    std::unique_ptr<Window> CreateWindow(WindowEvents& events, Window* owner) override;
    Point GetCursorPos() override { return cursor_; }
    void ReleaseCapture() override {
        if (captureHolder_) {
            captureHolder_->ReleaseCapture();
        }
    }

    void SetCursorPos(Point screen) {
        cursor_ = screen;
        NoteCursor();
    }
    // Puts another program's window under the cursor (true) or takes it away.
    void SetForeignWindowUnderCursor(bool foreign) {
        foreignUnderCursor_ = foreign;
        NoteCursor();
    }
    // Runs, once each, the timers of every window whose period has elapsed by the current
    // clock (as the display's loop would when it comes round); each starts its next period
    // then. Timers a run kills or sets are seen as they are when their turn comes. Returns
    // how many ran.
    int RunDueTimers();
    FakeWindow* CaptureHolder() const { return captureHolder_; }
    // The live windows, oldest first.
    const std::vector<FakeWindow*>& Windows() const { return windows_; }
    // Running timers of all live windows.
    size_t TimerCount() const;
    RecordingMessageBoxSink& MessageBoxes() { return boxes_; }
    // Runs inside each modal loop, as the user's actions while it runs; a loop whose script
    // does not end it returns kModalAborted.
    void SetModalScript(std::function<void(FakeWindow&)> script) {
        modalScript_ = std::move(script);
    }

private:
    friend class FakeWindow;
    FakeWindow* WindowUnderCursor() const;
    // The windows the pointer is no longer over remember that it left them.
    void NoteCursor();

    WindowSystem* previous_;
    RecordingMessageBoxSink boxes_;
    std::vector<FakeWindow*> windows_;
    std::vector<FakeWindow*> zOrder_; // bottom to top, visible or not
    FakeWindow* captureHolder_ = nullptr;
    Point cursor_;
    bool foreignUnderCursor_ = false;
    std::function<void(FakeWindow&)> modalScript_;
};

} // namespace plat
