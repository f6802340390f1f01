#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace plat {

// A window message as posted: the number and its two parameters.
struct WindowMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// The receiving end of a window's posted messages. A window opens a port with its handler and
// closes it when it is destroyed; senders hold a PostTarget, which stays safe to use after the
// window is gone: what is posted to a closed port, or still queued when it closes, is dropped.
//
// Threads: Open and Close on the GUI thread; Post from any thread; the handler runs on the GUI
// thread (through the GUI dispatcher), in the order of posting.
class MessagePort : public std::enable_shared_from_this<MessagePort> {
public:
    using Handler = std::function<void(const WindowMessage&)>;

    static std::shared_ptr<MessagePort> Open(Handler handler);
    // Drops every later and still queued message. Idempotent.
    void Close();
    bool IsOpen() const;

    // Queues the message for the handler; never blocks, never runs the handler inline.
    // False when the port is already closed.
    bool Post(const WindowMessage& message);

private:
    explicit MessagePort(Handler handler) : handler_(std::move(handler)) {}
    void Deliver(const WindowMessage& message);

    mutable std::mutex lock_; // guards handler_
    Handler handler_;         // empty once closed
};

// What a sender keeps: a weak reference to a window's port. Copyable; empty by default.
class PostTarget {
public:
    PostTarget() = default;
    explicit PostTarget(const std::shared_ptr<MessagePort>& port) : port_(port) {}

    // Any thread. False when there is no target or it is gone (the message is dropped).
    bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) const {
        auto port = port_.lock();
        return port && port->Post(WindowMessage{message, wParam, lParam});
    }
    bool IsSet() const { return !port_.expired(); }

private:
    std::weak_ptr<MessagePort> port_;
};

} // namespace plat
