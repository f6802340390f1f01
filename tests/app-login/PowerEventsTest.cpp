#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "app/login/PowerEvents.h"
#include "app/phone/PhoneState.h"
#include "app/phone/SuspendRule.h"
#include "platform/desktop/testing/FakeSleepInhibitor.h"
#include "tests/app-login/FakeLoginView.h"

namespace {

class PowerEventsTest : public ::testing::Test {
protected:
    void SetUp() override { g_PhoneState = PS_LOGGED_OUT; }
    void TearDown() override { g_PhoneState = PS_LOGGED_OUT; }
    std::unique_ptr<PowerEvents> Make() {
        return std::make_unique<PowerEvents>(inhibitor, [this](unsigned e) { return Windows(e); });
    }
    // The windows as the program has them: the query hangs up a call being dialled, the
    // suspend hangs up, sends the removal of the registration and logs out.
    intptr_t Windows(unsigned event) {
        inhibitor.log.push_back("broadcast " + std::to_string(event));
        if (event == kPbtQuerySuspend && AnswerToSuspend(g_PhoneState) == SuspendAnswer::Deny) {
            return kBroadcastQueryDeny;
        }
        if (event == kPbtQuerySuspend && g_PhoneState == PS_DIALING) {
            g_PhoneState = PS_BUSY;
        } else if (event == kPbtSuspend && g_PhoneState != PS_LOGGED_OUT) {
            g_PhoneState = PS_IDLE;
            inhibitor.log.push_back("removal");
            g_PhoneState = PS_LOGGED_OUT;
        }
        return 1;
    }
    // What was taken, let go of and broadcast since the last look.
    std::string Since() {
        std::string fresh;
        for (const std::string& event : std::exchange(inhibitor.log, {})) {
            fresh += (fresh.empty() ? "" : ", ") + event;
        }
        return fresh;
    }

    TraceCapture trace;
    plat::FakeSleepInhibitor inhibitor;
};

TEST_F(PowerEventsTest, DelayWhileSignedInBlockWhileASuspendIsRefusedTakenBeforeLetGo) {
    g_PhoneState = PS_TALKING; // in a call when the events start
    auto power = Make();
    EXPECT_EQ("take block, take delay", Since());
    const std::pair<int32_t, const char*> steps[] = {
        {PS_IDLE, "release block"},     {PS_LOGGED_OUT, "release delay"},
        {PS_REGISTERING, "take block"}, {PS_IDLE, "take delay, release block"},
        {PS_ENTERING_NUMBER, ""},       {PS_DIALING, ""},
        {PS_EARLY_MEDIA, "take block"}, {PS_TALKING, ""},
        {PS_IDLE, "release block"},     {PS_RINGING, ""},
        {PS_TALKING, "take block"},     {PS_BUSY, ""},
        {PS_IDLE, "release block"},     {PS_IDLE, ""},
    };
    for (const auto& [state, expected] : steps) {
        g_PhoneState = state;
        EXPECT_EQ(expected, Since()) << state;
    }
    // One that cannot be taken is traced and asked for again at the next change.
    inhibitor.refuse = true;
    g_PhoneState = PS_TALKING;
    EXPECT_TRUE(trace.Has("CUserLogin: no se pudo inhibir la suspension: refused"));
    inhibitor.refuse = false;
    g_PhoneState = PS_EARLY_MEDIA;
    EXPECT_EQ("take block", Since());
    power.reset(); // lets go of both and stops watching
    g_PhoneState = PS_REGISTERING;
    EXPECT_EQ("release block, release delay", Since());
}

TEST_F(PowerEventsTest, TheDelayGoesOnlyAfterQueryAndSuspendAndComesBackAfterTheWake) {
    const std::pair<int32_t, const char*> cases[] = {
        {PS_LOGGED_OUT, "broadcast 0, broadcast 4"},
        {PS_IDLE, "broadcast 0, broadcast 4, removal, release delay"},
        // busy after the query, logged out in the suspend
        {PS_DIALING, "broadcast 0, broadcast 4, removal, release delay"},
        // a forced suspend during a call: hung up in the suspend, before the removal
        {PS_TALKING, "broadcast 0, broadcast 4, removal, release block, release delay"},
    };
    for (const auto& [state, sleep] : cases) {
        SCOPED_TRACE(state);
        g_PhoneState = state;
        auto power = Make();
        Since();
        power->OnSleepNotice(true);
        EXPECT_EQ(sleep, Since());
        EXPECT_EQ(state == PS_TALKING, trace.Has("CUserLogin: suspension forzada"));
        g_PhoneState = PS_IDLE; // asleep: no delay is taken
        EXPECT_EQ("", Since());
        power->OnSleepNotice(false);
        EXPECT_EQ("broadcast 7, take delay", Since());
    }
}

} // namespace
