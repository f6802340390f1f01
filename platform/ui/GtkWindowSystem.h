#pragma once
#include "platform/ui/Window.h"

namespace plat {

// Windows on GTK 3 over X11 (see GtkLayeredWindow). GUI thread.
class GtkWindowSystem final : public WindowSystem {
public:
    static GtkWindowSystem& Instance();
    // Null, with a trace line, when there is no display.
    std::unique_ptr<Window> CreateWindow(WindowEvents& events, Window* owner) override;
    // (0, 0) without a display.
    Point GetCursorPos() override;
    void ReleaseCapture() override;
};

} // namespace plat
