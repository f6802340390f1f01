// A private Xvfb with GTK on it for a whole test program, the main loop run until a condition
// holds, and the screen's pixels. Used from the test's thread (GTK's) only.
#pragma once

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/ui/GtkRuntime.h"
#include "tests/support/RunningUnderCi.h"
#include "tests/ui/XvfbDisplay.h"

// Register with ::testing::AddGlobalTestEnvironment(new XvfbGtkEnvironment(...)). Display()
// is null while the tests run when Xvfb, GTK or (if it is needed) xdotool is missing.
class XvfbGtkEnvironment : public ::testing::Environment {
public:
    explicit XvfbGtkEnvironment(const char* screen, bool needsXdotool = false)
        : screen_(screen), needsXdotool_(needsXdotool) {}
    void SetUp() override {
        if (needsXdotool_ && std::system("command -v xdotool >/dev/null 2>&1") != 0) {
            return;
        }
        display_ = std::make_unique<XvfbDisplay>(screen_);
        if (display_->Ok() && plat::EnsureGtk()) {
            current_ = display_.get();
        }
    }
    void TearDown() override { current_ = nullptr; }
    static XvfbDisplay* Display() { return current_; }

private:
    inline static XvfbDisplay* current_ = nullptr;
    const char* screen_;
    bool needsXdotool_;
    std::unique_ptr<XvfbDisplay> display_;
};

// For a test's SetUp: true when there is a display; otherwise the test is failed under CI
// and skipped elsewhere, saying `what` is missing.
inline bool DisplayReady(const char* what) {
    if (XvfbGtkEnvironment::Display()) {
        return true;
    }
    [what] {
        if (RunningUnderCi()) {
            FAIL() << what;
        }
        GTEST_SKIP() << what;
    }();
    return false;
}

// Runs the main loop until `done` or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (done()) {
            return true;
        }
        g_usleep(2000);
    }
    return done();
}

inline void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

// `keyval` pressed and released as the keyboard delivers it to `window` when it has the focus:
// GTK's own key bindings act on it.
inline void PressKey(GtkWidget* window, guint keyval) {
    GdkDisplay* display = gtk_widget_get_display(window);
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    ASSERT_TRUE(gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval,
                                                  &keys, &count));
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
        event->key.time = GDK_CURRENT_TIME;
        event->key.keyval = keyval;
        event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
    g_free(keys);
}

// The whole screen as it is now; pixels as RGB.
class Screenshot {
public:
    Screenshot() {
        GdkWindow* root = gdk_get_default_root_window();
        pixbuf_ = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root),
                                             gdk_window_get_height(root));
    }
    ~Screenshot() {
        if (pixbuf_) {
            g_object_unref(pixbuf_);
        }
    }
    Screenshot(const Screenshot&) = delete;
    Screenshot& operator=(const Screenshot&) = delete;

    uint32_t At(int x, int y) const {
        const guchar* p = gdk_pixbuf_get_pixels(pixbuf_) + y * gdk_pixbuf_get_rowstride(pixbuf_) +
                          x * gdk_pixbuf_get_n_channels(pixbuf_);
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    // Keeps the screen as a PNG file.
    void Save(const char* name) const { gdk_pixbuf_save(pixbuf_, name, "png", nullptr, nullptr); }

private:
    GdkPixbuf* pixbuf_ = nullptr;
};

// A window of one colour (0xRRGGBB) over the screen, below every window shown after it: where
// a form is transparent, the screen shows it.
class BackdropWindow {
public:
    explicit BackdropWindow(uint32_t rgb) : rgb_(rgb) {
        gtk_window_set_decorated(GTK_WINDOW(widget_), FALSE);
        gtk_widget_set_app_paintable(widget_, TRUE);
        gtk_widget_set_size_request(widget_, 4096, 4096);
        g_signal_connect(widget_, "draw", G_CALLBACK(Draw), this);
        gtk_widget_show(widget_);
    }
    ~BackdropWindow() { gtk_widget_destroy(widget_); }
    // Whether the screen shows it (at the top left corner, where no test puts a form).
    bool Shown() const { return Screenshot().At(0, 0) == rgb_; }

private:
    static gboolean Draw(GtkWidget*, cairo_t* cr, BackdropWindow* self) {
        cairo_set_source_rgb(cr, (self->rgb_ >> 16) / 255.0, ((self->rgb_ >> 8) & 0xFF) / 255.0,
                             (self->rgb_ & 0xFF) / 255.0);
        cairo_paint(cr);
        return TRUE;
    }
    uint32_t rgb_;
    GtkWidget* widget_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
};
