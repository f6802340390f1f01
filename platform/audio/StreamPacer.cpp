#include "platform/audio/StreamPacer.h"

#include "platform/core/Clock.h"

namespace plat {

StreamPacer::StreamPacer(uint32_t bytesPerSecond, double speed)
    : bytesPerMs_(bytesPerSecond * (speed > 0 ? speed : 1.0) / 1000.0) {
    if (bytesPerMs_ <= 0) {
        bytesPerMs_ = 1;
    }
}

uint32_t StreamPacer::DueMs(uint64_t bytes) const {
    return startMs_ + static_cast<uint32_t>(static_cast<double>(bytes) / bytesPerMs_);
}

uint32_t StreamPacer::Pace(size_t bytes) {
    uint32_t now = TimeMs();
    if (!started_ || static_cast<int32_t>(now - DueMs(bytes_)) > static_cast<int32_t>(kResyncMs)) {
        started_ = true;
        startMs_ = now;
        bytes_ = 0;
    }
    uint32_t first = DueMs(bytes_);
    bytes_ += bytes;
    uint32_t due = DueMs(bytes_);
    int32_t wait = static_cast<int32_t>(due - now);
    if (wait > 0) {
        SleepMs(static_cast<uint32_t>(wait));
    }
    return first;
}

} // namespace plat
