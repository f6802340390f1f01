#include "platform/ui/GtkRuntime.h"

#include <gtk/gtk.h>

#include <cstdlib>

namespace plat {

bool EnsureGtk() {
    static const bool ready = [] {
        gdk_set_allowed_backends("x11");
        return gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    return ready;
}

void KeepGlOff() {
    setenv("GDK_GL", "disable", 0);
}

} // namespace plat
