#include "platform/ui/GtkRuntime.h"

#include <gtk/gtk.h>

namespace plat {

bool EnsureGtk() {
    static const bool ready = [] {
        gdk_set_allowed_backends("x11");
        return gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    return ready;
}

} // namespace plat
