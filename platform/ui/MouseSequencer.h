#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ui/Geometry.h"

namespace plat {

// Turns raw pointer input (presses, releases and motion of the left button, with the time of
// each) into window messages in the original platform's order:
// - a press or release at a position other than the last move's is preceded by a move there
//   (a position is the client point and the screen point: a window that moves under a still
//   cursor, as in a drag, moves the screen point only);
// - a press within kDoubleClickMs of the previous press (strictly less) and less than
//   kDoubleClickDistance pixels from it on each axis of the screen is a double-click instead
//   of a press;
//   the press after a double-click is a plain press again;
// - the flags are those after the event (a press has kMkLButton, its release not);
// - the pointer's arrival (Enter) is a move where it arrives, even to the place of the last
//   move: the pointer was elsewhere in between, and the window has to see it come back.
// Timestamps are milliseconds that may wrap around.
//
// Threads: one thread (the GUI thread).
class MouseSequencer {
public:
    static constexpr uint32_t kDoubleClickMs = 500;
    static constexpr int32_t kDoubleClickDistance = 2;

    enum class Kind { Move, Down, Up, DoubleClick };
    struct Message {
        Kind kind;
        uint32_t flags;
        Point point;
        bool operator==(const Message&) const = default;
    };

    // `flagsBefore`: the mouse-key flags (kMk*) before the event. Messages carry the client
    // point.
    std::vector<Message> Press(Point client, Point screen, uint32_t flagsBefore, uint32_t timeMs);
    std::vector<Message> Release(Point client, Point screen, uint32_t flagsBefore);
    // Nothing when the position did not change.
    std::vector<Message> Move(Point client, Point screen, uint32_t flags);
    // The pointer came into the window at this position: a move, even to the last move's
    // place. The last press stays (a double-click may span a quick leave and return).
    std::vector<Message> Enter(Point client, Point screen, uint32_t flags);
    // Forgets the last press (the next one is never a double-click) and the last position.
    void Reset();

private:
    void MoveTo(Point client, Point screen, uint32_t flags, std::vector<Message>* out);

    std::optional<std::pair<Point, Point>> lastMove_; // client, screen
    bool pressPending_ = false; // a press that a second one may turn into a double-click
    Point pressPoint_;
    uint32_t pressTime_ = 0;
};

} // namespace plat
