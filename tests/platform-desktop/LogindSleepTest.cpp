// What the end-to-end test of suspend and resume does not reach: no bus, no logind, logind
// gone, a bus that never answers, and what the object leaves behind. On a private system bus
// with the fake logind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iterator>

#include "platform/core/Clock.h"
#include "platform/desktop/LogindSleep.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "tests/support/Eventually.h"
#include "tests/support/PrivateSystemBus.h"
#include "tests/support/RunningUnderCi.h"

namespace {

using Mode = plat::SleepInhibitor::Mode;

// The descriptors the process has open.
long OpenDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

TEST(LogindSleepTest, WhatIsHeldOrQueuedGoesWithTheObjectAndAMissingBusOrLogindIsSaid) {
    int notices = 0;
    std::string error;
    auto connect = [&] { return plat::LogindSleep::Connect([&](bool) { ++notices; }, &error); };
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/qv/socket", 1);
    EXPECT_EQ(nullptr, connect());
    EXPECT_EQ(0u, error.rfind("no system bus: ", 0)) << error;

    plat::ManualGuiDispatcher gui;
    PrivateSystemBus bus;
    if (!bus.ok()) {
        ASSERT_FALSE(RunningUnderCi()) << bus.Log();
        GTEST_SKIP() << "no dbus-daemon or no python3 GObject bindings";
    }
    auto logind = connect();
    ASSERT_NE(nullptr, logind) << error;
    ASSERT_TRUE(logind->Take(Mode::Block, "a call", &error)) << error;
    ASSERT_TRUE(logind->Take(Mode::Block, "again", &error)); // held: nothing more
    EXPECT_FALSE(bus.Suspend()); // refused while the block inhibitor is held
    bus.Resume();
    for (uint32_t t = plat::TimeMs(); gui.PendingCount() == 0 && plat::TimeMs() - t < 3000;) {
        plat::SleepMs(5);
    }
    logind.reset();
    EXPECT_EQ(1u, gui.PendingCount());
    gui.RunPending();
    EXPECT_EQ(0, notices); // the wake notice came after the object
    const std::vector<std::string> expected{"take block quorvex a call", "refused", "wake",
                                            "release block quorvex"};
    for (uint32_t t = plat::TimeMs(); bus.Events() != expected && plat::TimeMs() - t < 3000;) {
        plat::SleepMs(5);
    }
    EXPECT_EQ(expected, bus.Events());

    logind = connect();
    ASSERT_NE(nullptr, logind) << error;
    bus.StopLogind();
    EXPECT_FALSE(logind->Take(Mode::Delay, "to sign out", &error));
    EXPECT_EQ(0u, error.rfind("Inhibit: ", 0)) << error;
    EXPECT_EQ(nullptr, connect());
    EXPECT_EQ(0u, error.rfind("no logind on the system bus: ", 0)) << error;
}

TEST(LogindSleepTest, ABusThatTakesTheConnectionAndNeverAnswersIsGivenUpAtTheTimeLimit) {
    plat::ManualGuiDispatcher gui;
    PrivateSystemBus bus;
    if (!bus.ok()) {
        ASSERT_FALSE(RunningUnderCi()) << bus.Log();
        GTEST_SKIP() << "no dbus-daemon or no python3 GObject bindings";
    }
    std::string error;
    auto connect = [&] { return plat::LogindSleep::Connect([](bool) {}, &error); };
    // GLib's own threads and their descriptors come with the first connection, and stay.
    ASSERT_NE(nullptr, connect()) << error;
    // The daemon stopped: the bus still takes the connection (the kernel's backlog does) and
    // answers nothing, like any socket that accepts and never replies.
    bus.Freeze();
    const long descriptors = OpenDescriptors();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(nullptr, connect());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
    EXPECT_EQ("no system bus: no answer within 2000 ms", error);
    // The attempt was waited for and its connection closed, not left behind on a thread (GLib
    // may still be closing a descriptor that the first connection's set-up used).
    EXPECT_TRUE(Eventually([&] { return OpenDescriptors() <= descriptors; }, 1000))
        << OpenDescriptors() << " descriptors open, " << descriptors << " before";
}

} // namespace
