#include "platform/ui/MessagePort.h"

#include "platform/ui/GuiThread.h"

namespace plat {

std::shared_ptr<MessagePort> MessagePort::Open(Handler handler) {
    return std::shared_ptr<MessagePort>(new MessagePort(std::move(handler)));
}

void MessagePort::Close() {
    Handler dropped;
    {
        std::lock_guard<std::mutex> lock(lock_);
        dropped.swap(handler_);
    }
    // The handler's captures are released outside the lock.
}

bool MessagePort::IsOpen() const {
    std::lock_guard<std::mutex> lock(lock_);
    return static_cast<bool>(handler_);
}

bool MessagePort::Post(const WindowMessage& message) {
    if (!IsOpen()) {
        return false;
    }
    std::weak_ptr<MessagePort> weak = weak_from_this();
    PostToGuiThread([weak, message] {
        if (auto port = weak.lock()) {
            port->Deliver(message);
        }
    });
    return true;
}

void MessagePort::Deliver(const WindowMessage& message) {
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(lock_);
        handler = handler_;
    }
    // Called without the lock, so the handler may close this port or post to it.
    if (handler) {
        handler(message);
    }
}

} // namespace plat
