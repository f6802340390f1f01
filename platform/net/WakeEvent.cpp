#include "platform/net/WakeEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace plat {

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void WakeEvent::Set() {
    if (fd_ < 0) {
        return;
    }
    uint64_t one = 1;
    // A full counter (EAGAIN) means the event is already set.
    ssize_t n = write(fd_, &one, sizeof(one));
    (void)n;
}

void WakeEvent::Reset() {
    if (fd_ < 0) {
        return;
    }
    uint64_t value = 0;
    ssize_t n = read(fd_, &value, sizeof(value));
    (void)n;
}

bool WakeEvent::IsSet() const {
    if (fd_ < 0) {
        return false;
    }
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

} // namespace plat
