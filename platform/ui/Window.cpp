#include "platform/ui/Window.h"

#include <atomic>

#include "platform/ui/GtkWindowSystem.h"

namespace plat {
namespace {
std::atomic<WindowSystem*> g_windowSystem{nullptr};
} // namespace

WindowSystem& CurrentWindowSystem() {
    WindowSystem* installed = g_windowSystem.load();
    return installed ? *installed : GtkWindowSystem::Instance();
}

WindowSystem* SetWindowSystem(WindowSystem* system) {
    return g_windowSystem.exchange(system);
}

} // namespace plat
