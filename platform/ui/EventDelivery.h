#pragma once
#include <memory>
#include <utility>
#include <vector>

#include "platform/ui/MouseSequencer.h"
#include "platform/ui/Window.h"

namespace plat {

// How a window hands its messages to its owner, the same for every window system: one message,
// then AfterMessage unless the owner destroyed the window inside it. `alive` is the window's
// own flag, turned false by its destructor; it is taken by value so that it outlives the
// window.
//
// Threads: the GUI thread.
template <typename F>
void DeliverWindowMessage(std::shared_ptr<bool> alive, WindowEvents& events, F&& message) {
    std::forward<F>(message)(events);
    if (*alive) {
        events.AfterMessage();
    }
}

// The mouse messages of one input event in order; those after one that destroyed the window
// are dropped.
void DeliverMouseMessages(std::shared_ptr<bool> alive, WindowEvents& events,
                          const std::vector<MouseSequencer::Message>& messages);

} // namespace plat
