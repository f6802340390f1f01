#include <gtest/gtest.h>

#include "app/phone/PhoneState.h"
#include "app/update/UpdateClient.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/store/IniFile.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "tests/app-update/UpdateTestSupport.h"

namespace {

// The offer and the restart on the GUI thread, without a server: the timers fire by hand.
class UpdateOfferTest : public ::testing::Test {
protected:
    void TearDown() override { g_PhoneState = PS_LOGGED_OUT; }
    std::unique_ptr<UpdateClient> Client() {
        UpdateSettings settings;
        settings.settingsIni = dir_.File("quorvix.ini");
        settings.downloadDir = dir_.File("downloads");
        return std::make_unique<UpdateClient>(host_, plat::PostTarget(), settings);
    }
    int Delay() {
        return plat::IniFile(dir_.File("quorvix.ini")).GetInt("general", "DelayDownload", -1);
    }

    audiotest::TempDir dir_;
    plat::ManualGuiDispatcher gui_;
    updatetest::FakeUpdateHost host_;
};

TEST_F(UpdateOfferTest, ADeclinedOfferSkipsThreeStartsAndTheFourthAsksAgain) {
    g_PhoneState = PS_IDLE;
    // Start-up by start-up: whether the offer was asked, and DelayDownload afterwards.
    const std::pair<bool, int> starts[] = {
        {true, 3}, {false, 2}, {false, 1}, {false, 0}, {true, 3}};
    for (size_t i = 0; i < std::size(starts); ++i) {
        SCOPED_TRACE(i);
        host_.messages.clear();
        auto client = Client();
        ASSERT_TRUE(client->OnTimer(UpdateClient::kTimerOffer));
        EXPECT_EQ(host_.messages.size(), starts[i].first ? 1u : 0u);
        EXPECT_EQ(Delay(), starts[i].second);
        EXPECT_FALSE(client->IsUpdateRunning()) << "a declined or postponed offer ends the work";
    }
}

TEST_F(UpdateOfferTest, TheOfferAndTheRestartWaitWhileACallOrALogInRuns) {
    const std::pair<PhoneStateValue, bool> states[] = {
        {PS_LOGGED_OUT, true},      {PS_REGISTERING, false}, {PS_IDLE, true},
        {PS_ENTERING_NUMBER, true}, {PS_DIALING, false},     {PS_TALKING, false},
        {PS_RINGING, false},        {PS_EARLY_MEDIA, false}, {PS_BUSY, false},
    };
    for (const auto& [state, acts] : states) {
        SCOPED_TRACE(state);
        g_PhoneState = state;
        host_ = {};
        auto client = Client();
        client->OnTimer(UpdateClient::kTimerOffer);
        client->OnTimer(UpdateClient::kTimerInstallerReady);
        EXPECT_EQ(host_.messages.size(), acts ? 2u : 0u);
        EXPECT_EQ(host_.timersKilled.size(), acts ? 2u : 0u) << "the timers keep running";
    }
}

TEST_F(UpdateOfferTest, ProgressMessagesWithoutAWindowAreIgnored) {
    plat::FakeDialogFactory dialogs;
    auto client = Client();
    EXPECT_TRUE(client->OnWindowMessage({0x8001, 500, 0}));
    EXPECT_TRUE(client->OnWindowMessage({0x8002, 0, 0}));
    EXPECT_FALSE(client->OnWindowMessage({0x8003, 0, 0}));
    EXPECT_TRUE(dialogs.Modeless().empty());
    ASSERT_TRUE(client->OnWindowMessage({0x8000, 0, 0}));
    ASSERT_EQ(dialogs.Modeless().size(), 1u);
    plat::FakeDialog& window = *dialogs.Modeless()[0];
    EXPECT_EQ(window.Title(), "QUORvex Update");
    EXPECT_EQ(window.GetText(plat::kIdOk), "Hide");
    EXPECT_EQ(window.RangeHigh(DownloadProgress::kProgressBar), 1000);
    EXPECT_TRUE(window.IsTopmost());
    EXPECT_EQ(window.Position(), std::make_pair(0, 0));
    window.Click(plat::kIdOk);
    EXPECT_FALSE(window.IsVisible()) << "Hide only hides";
    client->OnWindowMessage({0x8001, 640, 0});
    EXPECT_EQ(window.Pos(DownloadProgress::kProgressBar), 640);
    client->OnWindowMessage({0x8002, 0, 0});
    EXPECT_TRUE(dialogs.Modeless().empty());
}

} // namespace
