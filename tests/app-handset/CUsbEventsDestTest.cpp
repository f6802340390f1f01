#include <gtest/gtest.h>

#include <thread>

#include "app/handset/CUsbEventsDest.h"
#include "platform/desktop/testing/FakeHandsetDriver.h"
#include "platform/ui/ManualGuiDispatcher.h"

namespace {

using plat::FakeHandsetDriver;

class CUsbEventsDestTest : public ::testing::Test {
protected:
    void TearDown() override {
        CUsbEventsDest::Close();
        CUsbEventsDest::EnableEvents(false);
        CUsbEventsDest::SetTargetWindow(plat::PostTarget());
    }
    std::vector<uint32_t> Codes() {
        std::vector<uint32_t> codes;
        for (const auto& call : driver_.Calls()) {
            codes.push_back(call.code);
        }
        return codes;
    }

    FakeHandsetDriver driver_;
    plat::ScopedHandsetDriver scoped_{driver_};
};

TEST_F(CUsbEventsDestTest, WithoutAHandsetOnlyTheOpenReachesTheDriver) {
    driver_.SetPresent(false);
    EXPECT_FALSE(CUsbEventsDest::Open());
    EXPECT_FALSE(CUsbEventsDest::IsOpen());
    EXPECT_EQ(CUsbEventsDest::Ring(), 0u);
    CUsbEventsDest::StopRing();
    CUsbEventsDest::ClearDisplay();
    CUsbEventsDest::Close();
    EXPECT_EQ(Codes(), std::vector<uint32_t>{plat::kHandsetOpen});
    EXPECT_EQ(CUsbEventsDest::DriverCallback(4, 20), 0u);
}

TEST_F(CUsbEventsDestTest, EachOperationCallsTheDriverWithItsArguments) {
    driver_.SetRingResult(7);
    ASSERT_TRUE(CUsbEventsDest::Open());
    EXPECT_TRUE(CUsbEventsDest::Open()) << "a second open answers at once";
    EXPECT_EQ(CUsbEventsDest::Ring(), 7u);
    CUsbEventsDest::StopRing();
    CUsbEventsDest::ClearDisplay();
    CUsbEventsDest::Close();
    CUsbEventsDest::Ring(); // closed: nothing more reaches the driver
    CUsbEventsDest::Close();

    struct Expected {
        uint32_t code;
        std::vector<uint8_t> in;
        uintptr_t value;
        bool withResult;
    };
    const Expected expected[] = {
        {plat::kHandsetOpen, {}, 0, false},
        {plat::kHandsetDisplayText, {'Q', 'u', 'o', 'r', 'v'}, 5, false},
        {plat::kHandsetRing, {1}, 1, true},
        {plat::kHandsetStopRing, {}, 0, true},
        {plat::kHandsetDisplayText, {0, 0, 0, 0, 0}, 5, false},
        {plat::kHandsetClose, {}, 0, false},
    };
    auto calls = driver_.Calls();
    ASSERT_EQ(calls.size(), std::size(expected));
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].code, expected[i].code);
        EXPECT_EQ(calls[i].in, expected[i].in);
        EXPECT_EQ(calls[i].withResult, expected[i].withResult);
        if (expected[i].code != plat::kHandsetOpen) {
            EXPECT_EQ(calls[i].value, expected[i].value);
        }
    }
    EXPECT_NE(calls[0].value, 0u) << "the open hands over a context";
    EXPECT_FALSE(driver_.IsOpen());
}

TEST_F(CUsbEventsDestTest, KeysArePostedToTheTargetOnTheGuiThreadOnlyWhenEnabledAndSet) {
    struct Case {
        const char* name;
        bool enabled;
        bool target;
        bool windowAlive;
        bool reopened; // closed and opened again after the target was set
        bool delivered;
    };
    const Case cases[] = {
        {"enabled, target set", true, true, true, false, true},
        {"events disabled", false, true, true, false, false},
        {"no target", true, false, true, false, false},
        {"target window gone", true, true, false, false, false},
        {"target forgotten by a close", true, true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::ManualGuiDispatcher gui;
        std::vector<plat::WindowMessage> seen;
        std::thread::id handlerThread;
        auto port = plat::MessagePort::Open([&](const plat::WindowMessage& m) {
            seen.push_back(m);
            handlerThread = std::this_thread::get_id();
        });
        CUsbEventsDest::EnableEvents(false);
        ASSERT_TRUE(CUsbEventsDest::Open()); // switches events on
        CUsbEventsDest::SetTargetWindow(c.target ? plat::PostTarget(port) : plat::PostTarget());
        if (!c.enabled) {
            CUsbEventsDest::EnableEvents(false);
        }
        if (!c.windowAlive) {
            port->Close();
        }
        if (c.reopened) {
            CUsbEventsDest::Close();
            ASSERT_TRUE(CUsbEventsDest::Open());
        }
        uint32_t posted = driver_.InjectEvent(CUsbEventsDest::kEventDigit, 133);
        EXPECT_EQ(posted, c.delivered ? 1u : 0u);
        EXPECT_TRUE(seen.empty()) << "posted, never handled on the driver's thread";
        gui.RunPending();
        if (c.delivered) {
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0].message, CUsbEventsDest::WM_USB_EVENT);
            EXPECT_EQ(seen[0].wParam, CUsbEventsDest::kEventDigit);
            EXPECT_EQ(seen[0].lParam, 133);
            EXPECT_EQ(handlerThread, std::this_thread::get_id());
        } else {
            EXPECT_TRUE(seen.empty());
        }
        CUsbEventsDest::Close();
    }
}

TEST_F(CUsbEventsDestTest, KeysFromTheDriverThreadWhileTheGuiClosesTheHandsetNeverBlock) {
    plat::ManualGuiDispatcher gui;
    auto port = plat::MessagePort::Open([](const plat::WindowMessage&) {});
    ASSERT_TRUE(CUsbEventsDest::Open());
    CUsbEventsDest::SetTargetWindow(plat::PostTarget(port));
    std::atomic<bool> stop{false};
    std::thread driverThread([&] {
        while (!stop.load()) {
            CUsbEventsDest::DriverCallback(CUsbEventsDest::kEventKeyDown, 20);
        }
    });
    for (int i = 0; i < 200; ++i) {
        CUsbEventsDest::Close();
        ASSERT_TRUE(CUsbEventsDest::Open());
        CUsbEventsDest::SetTargetWindow(plat::PostTarget(port));
    }
    stop = true;
    driverThread.join();
    gui.RunPending();
}

} // namespace
