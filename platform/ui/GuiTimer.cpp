#include "platform/ui/GuiTimer.h"

#include <glib.h>

namespace plat {

void GuiTimer::Start(uint32_t delayMs, std::function<void()> task) {
    Cancel();
    task_ = std::move(task);
    source_ = g_timeout_add_full(G_PRIORITY_DEFAULT, delayMs, &GuiTimer::Fire, this, nullptr);
}

void GuiTimer::Cancel() {
    if (source_ != 0) {
        g_source_remove(source_);
        source_ = 0;
    }
    task_ = nullptr;
}

int GuiTimer::Fire(void* self) {
    auto* timer = static_cast<GuiTimer*>(self);
    // The source ends here; the task may start the timer again or destroy it.
    timer->source_ = 0;
    std::function<void()> task = std::move(timer->task_);
    timer->task_ = nullptr;
    if (task) {
        task();
    }
    return G_SOURCE_REMOVE;
}

} // namespace plat
