#include "platform/ui/GtkWindowSystem.h"

#include <gtk/gtk.h>

#include "platform/core/DebugOutput.h"
#include "platform/ui/GtkLayeredWindow.h"
#include "platform/ui/GtkRuntime.h"

namespace plat {

GtkWindowSystem& GtkWindowSystem::Instance() {
    static GtkWindowSystem instance;
    return instance;
}

std::unique_ptr<Window> GtkWindowSystem::CreateWindow(WindowEvents& events, Window* owner) {
    if (!EnsureGtk()) {
        DebugOutput("GtkWindowSystem::CreateWindow: no display\n");
        return nullptr;
    }
    return std::make_unique<GtkLayeredWindow>(events, dynamic_cast<GtkLayeredWindow*>(owner));
}

Point GtkWindowSystem::GetCursorPos() {
    GdkDisplay* display = EnsureGtk() ? gdk_display_get_default() : nullptr;
    if (!display) {
        return {};
    }
    gint x = 0;
    gint y = 0;
    gdk_device_get_position(gdk_seat_get_pointer(gdk_display_get_default_seat(display)), nullptr,
                            &x, &y);
    return {x, y};
}

void GtkWindowSystem::ReleaseCapture() {
    if (GtkLayeredWindow* holder = GtkLayeredWindow::CaptureHolder()) {
        holder->ReleaseCapture();
    }
}

} // namespace plat
