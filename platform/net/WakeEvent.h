#pragma once

namespace plat {

// A wake-up that a poll() can wait on together with sockets: an eventfd that stays readable
// from Set() until Reset(). A thread blocked in UdpSocket::WaitReadable with this event returns
// at once when another thread sets it.
//
// Threads: Set, Reset and IsSet may be called from any thread (eventfd operations are atomic).
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // False when the eventfd could not be created; Set and Reset then do nothing and waits
    // fall back to their time-outs.
    bool IsValid() const { return fd_ >= 0; }
    void Set();
    void Reset();
    // Whether the event is set, without changing it.
    bool IsSet() const;
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

} // namespace plat
