#include <gtest/gtest.h>

#include <deque>

#include "tests/skin/ControlProbe.h"
#include "tests/skin/TestSkin.h"

namespace {

using Log = std::vector<std::string>;

// A root with probes that log to one list.
class ControlTreeTest : public ::testing::Test {
protected:
    // A probe added to the root (the first added is on top).
    ControlProbe& Child(const char* name, plat::Rect rect, bool focusable = false) {
        ControlProbe& probe = probes_.emplace_back(name, rect, &log);
        probe.focusable = focusable;
        root.AddChild(&probe);
        return probe;
    }
    // Draws the tree's `clip` onto a 100 x 100 surface.
    plat::Surface Drawn(const plat::Rect& clip) {
        plat::Surface s;
        EXPECT_TRUE(s.Create(100, 100));
        plat::Canvas canvas(s);
        root.Draw(canvas, clip);
        return s;
    }

    Log log;
    RootProbe root;
    std::deque<ControlProbe> probes_;
};

TEST_F(ControlTreeTest, TheFirstAddedChildIsDrawnOnTopAndHitFirst) {
    ControlProbe& a = Child("A", {10, 10, 50, 50});
    ControlProbe& b = Child("B", {30, 30, 70, 70});
    a.color = plat::Rgb(255, 0, 0);
    b.color = plat::Rgb(0, 0, 255);
    const plat::Surface s = Drawn({0, 0, 100, 100});
    EXPECT_EQ(PixelAt(s, 40, 40), 0xFFFF0000u); // overlap: A on top
    EXPECT_EQ(PixelAt(s, 60, 60), 0xFF0000FFu);
    EXPECT_EQ(log, (Log{"B:draw 30,30,70,70", "A:draw 10,10,50,50"}));

    log.clear();
    EXPECT_TRUE(root.OnLButtonDown(0, {40, 40}));
    EXPECT_EQ(log, (Log{"A:down 30,30"}));
    EXPECT_EQ(root.m_pHot, &a);
}

TEST_F(ControlTreeTest, APressThatAChildRefusesFallsThroughWithTheHoverCallsStillMade) {
    ControlProbe& a = Child("A", {0, 0, 50, 50});
    ControlProbe& b = Child("B", {20, 20, 80, 80});
    ControlProbe& hot = Child("H", {80, 80, 100, 100});
    a.takesPress = false;
    root.m_pHot = &hot;
    EXPECT_TRUE(root.OnLButtonDown(0, {30, 30}));
    EXPECT_EQ(log, (Log{"H:leave", "A:enter", "H:up 30,30", "A:down 30,30", "H:leave", "B:enter",
                        "H:up 10,10", "B:down 10,10"}));
    EXPECT_EQ(root.m_pHot, &b);

    // Nobody takes it: false, and the hot child stays.
    log.clear();
    b.takesPress = false;
    root.m_pHot = nullptr;
    EXPECT_FALSE(root.OnLButtonDown(0, {30, 30}));
    EXPECT_EQ(root.m_pHot, nullptr);
}

TEST_F(ControlTreeTest, DisabledAndHiddenChildrenAreNeverHitOnlyHiddenOnesAreNotDrawn) {
    ControlProbe& disabled = Child("D", {0, 0, 100, 100});
    ControlProbe& hidden = Child("H", {0, 0, 100, 100});
    Child("B", {0, 0, 100, 100});
    disabled.m_bEnabled = 0;
    hidden.m_bVisible = 0;
    for (auto event : {0, 1, 2, 3}) {
        log.clear();
        switch (event) {
        case 0:
            root.OnLButtonDown(0, {5, 5});
            break;
        case 1:
            root.OnMouseMove(0, {5, 5});
            break;
        case 2:
            root.OnLButtonUp(0, {5, 5});
            break;
        case 3:
            root.OnLButtonDblClk(0, {5, 5});
            break;
        }
        ASSERT_FALSE(log.empty());
        for (const auto& line : log) {
            EXPECT_EQ(line.substr(0, 2), "B:") << line;
        }
    }
    log.clear();
    Drawn({0, 0, 10, 10});
    EXPECT_EQ(log, (Log{"B:draw 0,0,10,10", "D:draw 0,0,10,10"}));
}

TEST_F(ControlTreeTest, HoverMovesFromChildToChildAndEmptyAreaClearsIt) {
    Child("A", {0, 0, 40, 40});
    ControlProbe& b = Child("B", {50, 0, 90, 40});
    Child("R", {0, 50, 40, 90}).acceptsHover = false;

    EXPECT_TRUE(root.OnMouseMove(0, {10, 10}));
    EXPECT_TRUE(root.OnMouseMove(0, {11, 10})); // the hot child again: no enter
    log.clear();
    EXPECT_TRUE(root.OnMouseMove(0, {60, 10}));
    EXPECT_EQ(log, (Log{"B:move 10,10", "B:enter", "A:leave"}));
    EXPECT_EQ(root.m_pHot, &b);

    // A child that neither takes the move nor the hover: as empty area.
    log.clear();
    EXPECT_FALSE(root.OnMouseMove(0, {10, 60}));
    EXPECT_EQ(log, (Log{"R:move 10,10", "R:enter", "B:leave"}));
    EXPECT_EQ(root.m_pHot, nullptr);

    // An up-event on another child makes the hot one let go.
    root.OnMouseMove(0, {10, 10});
    log.clear();
    root.OnLButtonUp(0, {60, 5});
    EXPECT_EQ(log, (Log{"A:up 10,5", "A:leave", "B:up 10,5"}));
    EXPECT_EQ(root.m_pHot, nullptr);

    // Leaving the container: the hot child gets an up at (0, 0) and a leave.
    root.OnMouseMove(0, {60, 5});
    log.clear();
    root.OnMouseLeave(0);
    EXPECT_EQ(log, (Log{"B:up 0,0", "B:leave"}));
}

TEST_F(ControlTreeTest, ForwardedRectanglesAreClippedHorizontallyToTheContainer) {
    zel_Parent box;
    box.Create(&root, 20, 30, 50, 40); // (20, 30)-(70, 70)
    root.invalidated.clear();
    struct Case {
        plat::Rect r;
        plat::Rect up;
    } cases[] = {
        {{0, 0, 10, 10}, {20, 30, 30, 40}},   {{-1, 0, 10, 10}, {20, 30, 30, 40}},
        {{-5, -5, 60, 45}, {20, 25, 70, 75}}, // only the horizontal extent is clipped
        {{10, 0, 50, 5}, {30, 30, 70, 35}},   {{10, 0, 51, 5}, {30, 30, 70, 35}},
        {{10, 0, 49, 5}, {30, 30, 69, 35}},
    };
    for (const Case& c : cases) {
        box.InvalidateRect(&c.r);
        ASSERT_FALSE(root.invalidated.empty());
        EXPECT_EQ(root.invalidated.back(), c.up) << c.r.left << "," << c.r.right;
    }
    box.InvalidateRect(nullptr);
    EXPECT_EQ(root.invalidated.back(), (plat::Rect{-1, -1, -1, -1}));

    // SetVisible with the value it has does nothing; a change redraws the whole parent.
    ControlProbe child("C", {0, 0, 5, 5}, &log);
    box.AddChild(&child);
    root.invalidated.clear();
    child.SetVisible(true);
    EXPECT_TRUE(root.invalidated.empty());
    child.SetVisible(false);
    EXPECT_EQ(root.invalidated, (std::vector<plat::Rect>{{20, 30, 70, 70}}));
}

TEST_F(ControlTreeTest, ContainersCountEveryTimerReferenceLeavesHoldOne) {
    zel_Parent panel;
    panel.Create(&root, 0, 0, 50, 50);
    ControlProbe leaf("L", {0, 0, 5, 5}, &log);
    ControlProbe idle("I", {0, 0, 5, 5}, &log);
    panel.AddChild(&leaf);
    panel.AddChild(&idle);

    leaf.AcquireTimer();
    leaf.AcquireTimer(); // a leaf holds one reference at most
    EXPECT_EQ(root.timerRefs, 1);
    panel.AcquireTimer(); // a container's own acquisitions all count
    panel.AcquireTimer();
    EXPECT_EQ(root.timerRefs, 3);
    EXPECT_EQ(panel.m_nTimerRefs, 3);

    log.clear();
    panel.OnTimerTick();
    EXPECT_EQ(log, (Log{"L:tick"})); // only holders tick

    leaf.ReleaseTimer();
    leaf.ReleaseTimer();
    EXPECT_EQ(root.timerRefs, 2);
    panel.ReleaseTimer();
    EXPECT_EQ(panel.m_nTimerHeld, 1);
    panel.ReleaseTimer();
    EXPECT_EQ(root.timerRefs, 0);
    EXPECT_EQ(panel.m_nTimerHeld, 0);
    panel.ReleaseTimer(); // nothing left to give back
    EXPECT_EQ(root.timerRefs, 0);
}

TEST_F(ControlTreeTest, FocusMovedByTheProgramLeavesOneCaret) {
    ControlProbe& a = Child("A", {0, 0, 5, 5}, true);
    ControlProbe& b = Child("B", {0, 10, 5, 15}, true);
    EXPECT_EQ(root.m_pFocus, &a); // the first focusable child added
    b.SetFocus();
    EXPECT_EQ(log, (Log{"A:hide", "A:deactivate"}));
    EXPECT_TRUE(b.HasFocus());
    log.clear();
    b.SetFocus(); // already focused: no caret taken away
    EXPECT_EQ(log, (Log{"B:deactivate"}));
    b.m_bEnabled = 0;
    log.clear();
    a.m_bEnabled = 0;
    a.SetFocus(); // disabled controls do not take the focus
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(b.HasFocus());
}

} // namespace
