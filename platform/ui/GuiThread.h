#pragma once
#include <functional>

namespace plat {

// Runs work on the GUI thread, posted from any thread. The program's dispatcher queues each task
// on GLib's default main context (an idle source: always deferred, never run inside Post, even
// when Post is called on the GUI thread); tests install a ManualGuiDispatcher and run the queue
// themselves.
class GuiDispatcher {
public:
    virtual ~GuiDispatcher() = default;
    // Any thread; never blocks on the GUI thread.
    virtual void Post(std::function<void()> task) = 0;
};

// The process-wide dispatcher: GLib's main context unless a test installed another.
GuiDispatcher& CurrentGuiDispatcher();
// Installs a dispatcher (nullptr restores GLib's); returns the one it replaced.
GuiDispatcher* SetGuiDispatcher(GuiDispatcher* dispatcher);

// Shorthand: posts `task` to the GUI thread.
inline void PostToGuiThread(std::function<void()> task) {
    CurrentGuiDispatcher().Post(std::move(task));
}

} // namespace plat
