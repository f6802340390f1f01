#include "platform/ui/GuiThread.h"

#include <atomic>
#include <glib.h>

namespace plat {
namespace {

class GlibDispatcher final : public GuiDispatcher {
public:
    void Post(std::function<void()> task) override {
        auto* held = new std::function<void()>(std::move(task));
        g_idle_add_full(G_PRIORITY_DEFAULT, &GlibDispatcher::RunOnce, held, &GlibDispatcher::Free);
    }

private:
    static gboolean RunOnce(gpointer data) {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
    }
    static void Free(gpointer data) { delete static_cast<std::function<void()>*>(data); }
};

GlibDispatcher g_glibDispatcher;
std::atomic<GuiDispatcher*> g_dispatcher{nullptr};

} // namespace

GuiDispatcher& CurrentGuiDispatcher() {
    GuiDispatcher* installed = g_dispatcher.load();
    return installed ? *installed : g_glibDispatcher;
}

GuiDispatcher* SetGuiDispatcher(GuiDispatcher* dispatcher) {
    return g_dispatcher.exchange(dispatcher);
}

} // namespace plat
