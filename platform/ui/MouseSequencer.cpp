#include "platform/ui/MouseSequencer.h"

#include <cstdlib>

#include "platform/ui/VirtualKeys.h"

namespace plat {

void MouseSequencer::MoveTo(Point client, Point screen, uint32_t flags, std::vector<Message>* out) {
    const std::pair<Point, Point> at{client, screen};
    if (!lastMove_ || *lastMove_ != at) {
        out->push_back({Kind::Move, flags, client});
        lastMove_ = at;
    }
}

std::vector<MouseSequencer::Message> MouseSequencer::Press(Point client, Point screen,
                                                           uint32_t flagsBefore, uint32_t timeMs) {
    std::vector<Message> out;
    MoveTo(client, screen, flagsBefore, &out);
    const Point point = screen;
    const uint32_t flags = flagsBefore | kMkLButton;
    const bool isDouble = pressPending_ && timeMs - pressTime_ < kDoubleClickMs &&
                          std::abs(point.x - pressPoint_.x) < kDoubleClickDistance &&
                          std::abs(point.y - pressPoint_.y) < kDoubleClickDistance;
    if (isDouble) {
        pressPending_ = false;
        out.push_back({Kind::DoubleClick, flags, client});
    } else {
        pressPending_ = true;
        pressPoint_ = point;
        pressTime_ = timeMs;
        out.push_back({Kind::Down, flags, client});
    }
    return out;
}

std::vector<MouseSequencer::Message> MouseSequencer::Release(Point client, Point screen,
                                                             uint32_t flagsBefore) {
    std::vector<Message> out;
    MoveTo(client, screen, flagsBefore, &out);
    out.push_back({Kind::Up, flagsBefore & ~kMkLButton, client});
    return out;
}

std::vector<MouseSequencer::Message> MouseSequencer::Move(Point client, Point screen,
                                                          uint32_t flags) {
    std::vector<Message> out;
    MoveTo(client, screen, flags, &out);
    return out;
}

std::vector<MouseSequencer::Message> MouseSequencer::Enter(Point client, Point screen,
                                                           uint32_t flags) {
    lastMove_.reset();
    return Move(client, screen, flags);
}

void MouseSequencer::Reset() {
    lastMove_.reset();
    pressPending_ = false;
}

} // namespace plat
