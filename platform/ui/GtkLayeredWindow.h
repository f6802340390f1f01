#pragma once
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <vector>

#include "platform/ui/MouseSequencer.h"
#include "platform/ui/Window.h"

namespace plat {

// A Window on GTK 3 over X11: an undecorated top-level with the screen's RGBA visual whose
// pixels are painted synchronously (begin/end of a draw frame and a flush: no wait for the
// frame clock), with the form's constant alpha applied while painting. The input shape is
// the set of pixels with alpha above 0, set again only when it changes; without a compositor
// the same region is the bounding shape (the screen would show black where the image is
// transparent). Moves are asynchronous on X11, so the position is our own record; configure
// events update it only when no move of ours is on its way (the window manager moved us).
// Timers are GLib timeouts, removed with the window. The capture is a seat grab, with one
// holder for the whole program so that taking it tells the previous holder at once.
//
// Threads: GUI thread only (GTK is not thread-safe); posted messages arrive through the GUI
// dispatcher.
class GtkLayeredWindow final : public Window {
public:
    GtkLayeredWindow(WindowEvents& events, GtkLayeredWindow* owner);
    ~GtkLayeredWindow() override;
    GtkLayeredWindow(const GtkLayeredWindow&) = delete;
    GtkLayeredWindow& operator=(const GtkLayeredWindow&) = delete;

    void Present(const Surface& image, uint8_t alpha, const Rect* changed = nullptr) override;
    void Show(int command) override;
    bool IsVisible() const override;
    bool IsMinimized() const override { return iconified_; }
    void BringToForeground() override;
    void SetTitle(const std::string& title) override;
    void SetTopmost(bool topmost) override;
    void SetIcon(const Surface& icon) override;
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
    NativeWindow Native() const override { return widget_; }

    // The window that holds the mouse capture, or null.
    static GtkLayeredWindow* CaptureHolder();

private:
    struct TimerSlot {
        GtkLayeredWindow* window;
        uint32_t id;
    };
    struct ModalState {
        GMainLoop* loop = nullptr;
        bool ended = false;
        int result = kModalAborted;
    };

    // Runs one message on the owner, then AfterMessage unless the window died inside it.
    template <typename F> void Deliver(F&& message);
    void DeliverMouse(const std::vector<MouseSequencer::Message>& messages);
    void LoseCapture();
    void PaintNow(const Rect& area);
    // Whether the alpha of `area` differs from the last image's; keeps the new alpha.
    bool AlphaChanged(const Surface& image, const Rect& area);
    void Paint(cairo_t* cr);
    void ApplyShape();
    // The X bounding shape: the given rectangles, or none (the whole window) for null.
    void SetBoundingShape(const std::vector<Rect>* shape);
    void Resize(int32_t width, int32_t height);

    static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self);
    static gboolean OnButtonPress(GtkWidget*, GdkEventButton* e, gpointer self);
    static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* e, gpointer self);
    static gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer self);
    static gboolean OnEnter(GtkWidget*, GdkEventCrossing* e, gpointer self);
    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* e, gpointer self);
    static gboolean OnKeyRelease(GtkWidget*, GdkEventKey* e, gpointer self);
    static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer self);
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnGrabBroken(GtkWidget*, GdkEventGrabBroken* e, gpointer self);
    static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer self);
    static void OnRealize(GtkWidget*, gpointer self);
    static void OnCompositedChanged(GdkScreen*, gpointer self);
    static gboolean OnTimerSource(gpointer slot);

    WindowEvents& events_;
    std::shared_ptr<bool> alive_;
    GtkWidget* widget_ = nullptr;
    GdkScreen* screen_ = nullptr;
    MouseSequencer mouse_;
    std::shared_ptr<MessagePort> port_;
    std::map<uint32_t, guint> timers_;
    std::vector<std::shared_ptr<ModalState>> modal_;
    bool pendingEnd_ = false; // EndModal came before RunModal
    int pendingResult_ = 0;

    cairo_surface_t* image_ = nullptr; // the last presented image (a reference)
    uint8_t alpha_ = 255;
    std::vector<Rect> shape_;
    bool shapeValid_ = false;
    std::vector<uint8_t> alphaCopy_; // the last image's alpha channel, row by row

    Rect rect_;
    bool placed_ = false;      // moved at least once (else centred when first shown)
    bool movePending_ = false; // a move of ours that the display has not confirmed yet
    bool iconified_ = false;
};

} // namespace plat
