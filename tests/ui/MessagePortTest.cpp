#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/MessagePort.h"

namespace {

TEST(MessagePortTest, PostsFromAnyThreadArriveOnTheDispatcherInOrderAndNeverInline) {
    plat::ManualGuiDispatcher gui;
    std::vector<uint32_t> seen;
    auto port = plat::MessagePort::Open([&](const plat::WindowMessage& m) {
        seen.push_back(m.message);
        EXPECT_EQ(m.wParam, m.message + 1u);
        EXPECT_EQ(m.lParam, -static_cast<intptr_t>(m.message));
    });
    plat::PostTarget target(port);
    std::thread sender([&] {
        for (uint32_t i = 1; i <= 50; ++i) {
            ASSERT_TRUE(target.PostMessage(i, i + 1, -static_cast<intptr_t>(i)));
        }
    });
    sender.join();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(gui.RunPending(), 50);
    ASSERT_EQ(seen.size(), 50u);
    for (uint32_t i = 0; i < 50; ++i) {
        EXPECT_EQ(seen[i], i + 1);
    }
}

TEST(MessagePortTest, AClosedOrDestroyedPortDropsQueuedAndLaterMessages) {
    plat::ManualGuiDispatcher gui;
    int handled = 0;
    auto port = plat::MessagePort::Open([&](const plat::WindowMessage&) { ++handled; });
    plat::PostTarget target(port);
    EXPECT_TRUE(target.PostMessage(1));
    port->Close();
    EXPECT_FALSE(target.PostMessage(2));
    gui.RunPending();
    EXPECT_EQ(handled, 0);

    // A window destroyed with messages still queued: they are dropped, not delivered to it.
    auto second = plat::MessagePort::Open([&](const plat::WindowMessage&) { ++handled; });
    plat::PostTarget secondTarget(second);
    EXPECT_TRUE(secondTarget.PostMessage(3));
    second.reset();
    EXPECT_FALSE(secondTarget.IsSet());
    EXPECT_FALSE(secondTarget.PostMessage(4));
    gui.RunPending();
    EXPECT_EQ(handled, 0);
    EXPECT_FALSE(plat::PostTarget().PostMessage(5));
}

TEST(MessagePortTest, AHandlerMayCloseItsPortAndTheRestIsDropped) {
    plat::ManualGuiDispatcher gui;
    std::shared_ptr<plat::MessagePort> port;
    int handled = 0;
    port = plat::MessagePort::Open([&](const plat::WindowMessage&) {
        ++handled;
        port->Close();
    });
    plat::PostTarget target(port);
    target.PostMessage(1);
    target.PostMessage(2);
    gui.RunPending();
    EXPECT_EQ(handled, 1);
}

} // namespace
