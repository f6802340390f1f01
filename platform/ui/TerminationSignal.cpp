#include "platform/ui/TerminationSignal.h"

#include <csignal>
#include <glib-unix.h>
#include <glib.h>

namespace plat {

TerminationSignal::TerminationSignal(Handler handler) : handler_(std::move(handler)) {
    watches_ = {{this, SIGTERM}, {this, SIGINT}};
    for (Watch& watch : watches_) {
        sources_.push_back(g_unix_signal_add(watch.signal, &TerminationSignal::OnSignal, &watch));
    }
}

TerminationSignal::~TerminationSignal() {
    Unwatch();
}

void TerminationSignal::Unwatch() {
    // The source being dispatched may go too: GLib destroys it once, whatever it returns.
    for (unsigned source : sources_) {
        g_source_remove(source);
    }
    sources_.clear();
}

int TerminationSignal::OnSignal(void* data) {
    const Watch watch = *static_cast<Watch*>(data);
    watch.owner->Unwatch();
    if (watch.owner->handler_) {
        watch.owner->handler_(watch.signal);
    }
    return G_SOURCE_REMOVE;
}

} // namespace plat
