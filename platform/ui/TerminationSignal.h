#pragma once
#include <functional>
#include <vector>

namespace plat {

// Asks the program to end in order when the process gets SIGTERM (the session ending, kill) or
// SIGINT (Ctrl+C), instead of the process ending at once: the first of them is handed to the
// handler on the GUI thread, in GLib's default main context, which every modal loop of the
// program runs. From then on both end the process at once again, so a program that does not
// manage to end (a modal dialog waits for its answer) can still be ended.
//
// Threads: made, destroyed and handed the signal on the GUI thread.
class TerminationSignal {
public:
    using Handler = std::function<void(int signal)>;

    explicit TerminationSignal(Handler handler);
    ~TerminationSignal();
    TerminationSignal(const TerminationSignal&) = delete;
    TerminationSignal& operator=(const TerminationSignal&) = delete;

private:
    struct Watch {
        TerminationSignal* owner;
        int signal;
    };
    static int OnSignal(void* watch);
    // Gives the signals back their default action (GLib does when their last source goes).
    void Unwatch();

    Handler handler_;
    std::vector<Watch> watches_;
    std::vector<unsigned> sources_;
};

} // namespace plat
