// Suspend and resume through the fake logind on a private system bus, signed in against
// kamailio: the login, call logic, power events and logind client wired as the form wires them.
#include <gtest/gtest.h>

#include <cmath>

#include "app/login/PowerEvents.h"
#include "platform/desktop/LogindSleep.h"
#include "tests/e2e/BaresipProcess.h"
#include "tests/e2e/KamailioCallTest.h"
#include "tests/support/PrivateSystemBus.h"

namespace {

using Events = std::vector<std::string>;
const std::string kTakeBlock = std::string("take block quorvex ") + PowerEvents::kBlockWhy;
const std::string kTakeDelay = std::string("take delay quorvex ") + PowerEvents::kDelayWhy;
const std::string kReleaseBlock = "release block quorvex";
const std::string kReleaseDelay = "release delay quorvex";

// When (microseconds since the epoch) the first event holding `what` was recorded; -1: none.
int64_t TimeOf(const Events& timed, const std::string& what) {
    for (const std::string& event : timed) {
        if (event.find(what) != std::string::npos) {
            return std::stoll(event);
        }
    }
    return -1;
}

// When kamailio saw the first removal REGISTER ("expires=0 ... time=<s>.<us>"); -1: never.
int64_t RemovalTime(const std::string& log) {
    const size_t removal = log.find(" expires=0 ");
    const size_t at = removal == std::string::npos ? removal : log.find("time=", removal);
    return at == std::string::npos ? -1 : std::llround(std::stod(log.substr(at + 5)) * 1e6);
}

class PowerEventsEndToEndTest : public KamailioCallTest {
protected:
    void SetUp() override {
        KamailioCallTest::SetUp();
        if (!Ready()) {
            return;
        }
        bus = std::make_unique<PrivateSystemBus>();
        if (!bus->ok()) {
            ASSERT_FALSE(RunningUnderCi()) << "the private system bus did not start\n"
                                           << bus->Log();
            GTEST_SKIP() << "no dbus-daemon or no python3 GObject bindings";
        }
        std::string error;
        logind = plat::LogindSleep::Connect(
            [this](bool sleeping) {
                if (power) {
                    power->OnSleepNotice(sleeping);
                }
            },
            &error);
        ASSERT_NE(nullptr, logind) << error;
        power = std::make_unique<PowerEvents>(
            *logind, [this](unsigned event) { return login ? login->OnPowerBroadcast(event) : 0; });
        // The call window hands the broadcast to the call logic and goes at the suspend.
        ASSERT_TRUE(SignIn(sandbox.Dir(), [](iTraceFile*) -> RTPInterface* { return nullptr; }));
        view.window->power = [this](unsigned event) {
            intptr_t answer = call->OnPowerBroadcast(event).value_or(0);
            if (event == kPbtSuspend) {
                call.reset();
            }
            return answer;
        };
    }
    void TearDown() override {
        power.reset();
        logind.reset();
        KamailioCallTest::TearDown();
    }
    bool EventsEndWith(const Events& tail) {
        return Until(
            [&] {
                Events events = bus->Events();
                return events.size() >= tail.size() &&
                       std::equal(tail.begin(), tail.end(), events.end() - tail.size());
            },
            5000);
    }

    std::unique_ptr<PrivateSystemBus> bus;
    std::unique_ptr<plat::LogindSleep> logind;
    std::unique_ptr<PowerEvents> power;
};

TEST_F(PowerEventsEndToEndTest, TheRemovalLeavesBeforeTheDelayIsLetGoAndTheWakeSignsInAgain) {
    ASSERT_TRUE(EventsEndWith({kTakeBlock, kTakeDelay, kReleaseBlock})) << bus->Log();
    ASSERT_TRUE(bus->Suspend());
    ASSERT_TRUE(EventsEndWith({kReleaseDelay, "sleep"})) << bus->Log() << kamailio->Log();
    // kamailio saw the removal REGISTER after the sleep notice, before the delay was let go.
    const Events logindTimes = bus->Events(true);
    const int64_t removal = RemovalTime(kamailio->Log());
    EXPECT_LT(TimeOf(logindTimes, " prepare"), removal) << kamailio->Log();
    EXPECT_LT(removal, TimeOf(logindTimes, kReleaseDelay));
    // Logged out: the form usable again, the call window and SIP objects gone, no message.
    EXPECT_EQ(PS_LOGGED_OUT, g_PhoneState);
    EXPECT_TRUE(view.formVisible);
    EXPECT_TRUE(view.controlsEnabled.back());
    EXPECT_EQ(1, view.callWindowsDestroyed);
    ASSERT_TRUE(Until([&] { return login->GetDum() == nullptr; }, 3000));
    EXPECT_TRUE(view.messages.empty());

    // The wake starts timer 1006; when its 10 s are over, the login signs in again.
    bus->Resume();
    ASSERT_TRUE(Until([&] { return view.HasTimer(CUserLogin::kTimerRelogin); }, 3000));
    EXPECT_EQ(10000u, view.timers.at(CUserLogin::kTimerRelogin).period);
    view.timers.at(CUserLogin::kTimerRelogin).due = plat::TimeMs();
    ASSERT_TRUE(Until([] { return g_PhoneState == PS_IDLE; }, 5000)) << kamailio->Log();
    EXPECT_EQ(2, view.callWindowsCreated);
    EXPECT_TRUE(EventsEndWith({"wake", kTakeBlock, kTakeDelay, kReleaseBlock}));
}

TEST_F(PowerEventsEndToEndTest, ACallHoldsTheBlockInhibitorSoASuspendIsRefusedUntilItEnds) {
    BaresipProcess far(BaresipProcess::Options{});
    ASSERT_TRUE(far.ok()) << far.Log();
    call->PickNumber("1002");
    call->OnTalk();
    ASSERT_TRUE(Until([] { return g_PhoneState == PS_TALKING; }, 5000)) << far.Log();
    ASSERT_TRUE(EventsEndWith({kReleaseBlock, kTakeBlock}));
    EXPECT_FALSE(bus->Suspend());
    call->HangUp(true);
    EXPECT_TRUE(EventsEndWith({"refused", kReleaseBlock}));
    EXPECT_TRUE(bus->Suspend());
    EXPECT_TRUE(EventsEndWith({kReleaseDelay, "sleep"}));
}

} // namespace
