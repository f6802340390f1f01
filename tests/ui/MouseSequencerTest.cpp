#include <gtest/gtest.h>

#include "platform/ui/MouseSequencer.h"
#include "platform/ui/VirtualKeys.h"

namespace {

using plat::MouseSequencer;
using Kind = MouseSequencer::Kind;
using Msg = MouseSequencer::Message;

// A window at (100, 100): screen = client + 100.
plat::Point Screen(plat::Point client) {
    return {client.x + 100, client.y + 100};
}

// The second press of a pair, relative to the first at (50, 50).
TEST(MouseSequencerTest, ASecondPressIsADoubleClickOnlyWithinTimeAndDistance) {
    struct Case {
        uint32_t firstTime;
        uint32_t later; // ms after the first press
        int dx, dy;
        Kind expected;
    } cases[] = {
        {1000, 0, 0, 0, Kind::DoubleClick},
        {1000, 499, 0, 0, Kind::DoubleClick},
        {1000, 500, 0, 0, Kind::Down},
        {1000, 100, 1, -1, Kind::DoubleClick},
        {1000, 100, 2, 0, Kind::Down},
        {1000, 100, 0, -2, Kind::Down},
        {1000, 100, -1, 1, Kind::DoubleClick},
        // The millisecond count wraps between the presses.
        {0xFFFFFF00u, 300, 0, 0, Kind::DoubleClick},
        {0xFFFFFF00u, 500, 0, 0, Kind::Down},
    };
    for (const Case& c : cases) {
        MouseSequencer m;
        m.Press({50, 50}, Screen({50, 50}), 0, c.firstTime);
        m.Release({50, 50}, Screen({50, 50}), plat::kMkLButton);
        const plat::Point second{50 + c.dx, 50 + c.dy};
        auto out = m.Press(second, Screen(second), 0, c.firstTime + c.later);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back().kind, c.expected) << c.later << " ms, " << c.dx << "," << c.dy;
        EXPECT_EQ(out.back().flags, plat::kMkLButton);
    }
}

TEST(MouseSequencerTest, ThePressAfterADoubleClickIsPlainAndResetForgetsThePress) {
    MouseSequencer m;
    EXPECT_EQ(m.Press({5, 5}, {5, 5}, 0, 10).back().kind, Kind::Down);
    EXPECT_EQ(m.Press({5, 5}, {5, 5}, 0, 20).back().kind, Kind::DoubleClick);
    EXPECT_EQ(m.Press({5, 5}, {5, 5}, 0, 30).back().kind, Kind::Down);
    m.Reset();
    EXPECT_EQ(m.Press({5, 5}, {5, 5}, 0, 40).back().kind, Kind::Down);
    // The distance is measured on the screen: the same client point of a window that moved
    // is another place.
    EXPECT_EQ(m.Press({5, 5}, {25, 5}, 0, 50).back().kind, Kind::Down);
}

TEST(MouseSequencerTest, PressesAndReleasesAtANewPlaceComeAfterAMoveThere) {
    MouseSequencer m;
    // The first press ever: a move first.
    EXPECT_EQ(m.Press({3, 4}, Screen({3, 4}), 0, 0),
              (std::vector<Msg>{{Kind::Move, 0, {3, 4}}, {Kind::Down, plat::kMkLButton, {3, 4}}}));
    // A release somewhere else: a move with the button still held, then the release.
    EXPECT_EQ(m.Release({9, 4}, Screen({9, 4}), plat::kMkLButton),
              (std::vector<Msg>{{Kind::Move, plat::kMkLButton, {9, 4}}, {Kind::Up, 0, {9, 4}}}));
    // Where the last move was: no move.
    EXPECT_EQ(m.Press({9, 4}, Screen({9, 4}), plat::kMkShift, 5000),
              (std::vector<Msg>{{Kind::Down, plat::kMkLButton | plat::kMkShift, {9, 4}}}));
    EXPECT_TRUE(m.Move({9, 4}, Screen({9, 4}), plat::kMkLButton).empty());
    // A window dragged along with the cursor: the client point stays, the screen point moves.
    EXPECT_EQ(m.Move({9, 4}, {120, 104}, plat::kMkLButton),
              (std::vector<Msg>{{Kind::Move, plat::kMkLButton, {9, 4}}}));
    EXPECT_EQ(m.Move({10, 4}, {121, 104}, plat::kMkLButton).size(), 1u);
}

TEST(MouseSequencerTest, ThePointersArrivalIsAMoveEvenWhereItLeftAndKeepsTheLastPress) {
    MouseSequencer m;
    m.Press({9, 4}, Screen({9, 4}), 0, 1000);
    m.Release({9, 4}, Screen({9, 4}), plat::kMkLButton);
    EXPECT_EQ(m.Enter({9, 4}, Screen({9, 4}), 0), (std::vector<Msg>{{Kind::Move, 0, {9, 4}}}));
    EXPECT_TRUE(m.Move({9, 4}, Screen({9, 4}), 0).empty());
    EXPECT_EQ(m.Press({9, 4}, Screen({9, 4}), 0, 1100),
              (std::vector<Msg>{{Kind::DoubleClick, plat::kMkLButton, {9, 4}}}));
}

} // namespace
