#include "platform/ui/GtkRuntime.h"

#include <gtk/gtk.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace plat {
namespace {

// Whether GDK_GL is the program's own setting rather than the user's.
std::atomic<bool> g_glOffSet{false};

} // namespace

bool EnsureGtk() {
    static const bool ready = [] {
        gdk_set_allowed_backends("x11");
        return gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    return ready;
}

void KeepGlOff() {
    if (!std::getenv("GDK_GL") && setenv("GDK_GL", "disable", 0) == 0) {
        g_glOffSet.store(true);
    }
}

std::vector<std::string> UserEnvironment() {
    const bool dropGl = g_glOffSet.load();
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (!(dropGl && std::strncmp(*entry, "GDK_GL=", 7) == 0)) {
            entries.emplace_back(*entry);
        }
    }
    return entries;
}

} // namespace plat
