// What the status line shows, the countdown of a rated call, picked numbers, the handset's
// window and volume keys and the audio sliders.
#include "app/call/VolumeSettings.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"
#include "tests/app-call/CallFixture.h"

namespace {

using StatusLineTest = CallLogicTest;
using Status = CallLogic::StatusText;

constexpr int kKeep = CallLogic::kKeepCaption;

plat::IniFile VolumeIni() {
    return plat::IniFile(plat::JoinPath(plat::ConfigDir(), "quorvix.ini"));
}

std::string Shown(const std::optional<Status>& s) {
    if (!s) {
        return "(unchanged)";
    }
    return std::to_string(s->caption) + "|" + s->display + "|" + std::to_string(s->displayId);
}

TEST_F(StatusLineTest, EachStateShowsItsCaptionAndTheNumberThePeerOrTheBalance) {
    Dial("123"); // leaves "123" as the peer
    call->HangUp(true);
    call->HangUp(true);
    Type("12345678901234567"); // the keypad keeps 15
    const std::string number = "123456789012345";
    struct Case {
        int state;
        std::string balanceText;
        bool balanceView;
        std::string shown;
    };
    const Case cases[] = {
        {PS_ENTERING_NUMBER, "", false, "0|" + number + "|0"},
        {PS_ENTERING_NUMBER, "12.00 EUR", false, "0|" + number + "|0"},
        {PS_IDLE, "", false, "0|" + number + "|0"},
        {PS_LOGGED_OUT, "12.00 EUR", false, "43|12.00 EUR|0"},
        {PS_DIALING, "12.00 EUR", false, "42|123|0"},
        {PS_EARLY_MEDIA, "", false, "42|123|0"},
        {PS_TALKING, "", false, "41|123|0"},
        {PS_RINGING, "", false, "40|123|0"},
        {PS_BUSY, "", false, "39|123|0"},
        // The balance view while the state it was opened in lasts; "(Loading...)" until the
        // text comes.
        {PS_IDLE, "", true, "43||56"},
        {PS_IDLE, "7.50 EUR", true, "43|7.50 EUR|0"},
    };
    for (const Case& c : cases) {
        g_PhoneState = c.state;
        call->ShowBalanceView(c.balanceView);
        EXPECT_EQ(c.shown, Shown(call->ComposeStatus({1.0, c.balanceText})))
            << c.state << " " << c.balanceText;
    }
    // A balance view opened in another state closes at the next refresh.
    g_PhoneState = PS_IDLE;
    call->ShowBalanceView(true);
    g_PhoneState = PS_ENTERING_NUMBER;
    EXPECT_EQ("0|" + number + "|0", Shown(call->ComposeStatus({1.0, "5 EUR"})));
    EXPECT_FALSE(call->IsBalanceViewShown());
}

TEST_F(StatusLineTest, ARatedCallCountsDownTheMinutesTheBalanceBuys) {
    int calls = 0;
    auto answer = [&] {
        call->HangUp(true);
        Incoming(kPeerSdp, kCaller, "in-" + std::to_string(++calls));
        call->OnTalk();
        ASSERT_EQ(PS_TALKING, g_PhoneState);
    };
    answer();
    // Without a rate, or with no balance, the peer.
    EXPECT_EQ("41|Ana|0", Shown(call->ComposeStatus({6.5, ""})));
    call->SetRatePerMinute(0.1);
    EXPECT_EQ("41|Ana|0", Shown(call->ComposeStatus({0.0, ""})));
    EXPECT_EQ(0u, view.timers.count(CallLogic::kTimerCountdown));

    EXPECT_EQ("52|1:05:00|0", Shown(call->ComposeStatus({6.5, ""})));
    EXPECT_EQ(1000u, view.Period(CallLogic::kTimerCountdown));
    EXPECT_EQ("52|1:04:59|0", Shown(call->ComposeStatus({6.5, ""})));
    // Hanging up stops it, and so does the far end's; the next rated call counts again from
    // its balance.
    call->HangUp(true);
    EXPECT_EQ(0u, view.timers.count(CallLogic::kTimerCountdown));
    auto id = Incoming(kPeerSdp, kCaller, "ended-by-peer");
    call->OnTalk();
    call->SetRatePerMinute(0.1);
    EXPECT_EQ("52|1:05:00|0", Shown(call->ComposeStatus({6.5, ""})));
    stack.sessionEndedByPeer(id);
    Poll();
    EXPECT_EQ(0u, view.timers.count(CallLogic::kTimerCountdown));
    EXPECT_EQ(0, call->GetCountdown());
    EXPECT_EQ(0.0, call->GetRatePerMinute());
    struct Case {
        double balance;
        double rate;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        // Less than a minute: nothing at first, then the end of the time.
        {0.09, 0.1, {"(unchanged)", std::to_string(kKeep) + "|0:00:00|0"}},
        // Whole minutes only; 0.3 at 0.1 buys three of them, not two.
        {0.3, 0.1, {"52|0:03:00|0", "52|0:02:59|0"}},
        {0.19, 0.1, {"52|0:01:00|0"}},
        {1000.0, 0.01, {"52|1666:40:00|0"}},
    };
    for (const Case& c : cases) {
        answer();
        call->SetRatePerMinute(c.rate);
        for (const std::string& s : c.shown) {
            EXPECT_EQ(s, Shown(call->ComposeStatus({c.balance, ""}))) << c.balance;
        }
    }
    // The last second, then the end.
    answer();
    call->SetRatePerMinute(1.0);
    for (int i = 0; i < 59; ++i) {
        call->ComposeStatus({1.0, ""});
    }
    EXPECT_EQ("52|0:00:01|0", Shown(call->ComposeStatus({1.0, ""})));
    EXPECT_EQ(-1, call->GetCountdown());
    EXPECT_EQ(std::to_string(kKeep) + "|0:00:00|0", Shown(call->ComposeStatus({1.0, ""})));
    EXPECT_EQ("0:00:00", CountdownText(0));
    EXPECT_EQ("10:00:01", CountdownText(36001));
}

TEST_F(StatusLineTest, APickedNumberObeysTheKeypadsRulesAndTheUserPartsCharacters) {
    struct Case {
        const char* picked;
        const char* number; // nullptr: refused
    };
    const Case cases[] = {
        {"123456789012345", "123456789012345"},
        {"1234567890123456", nullptr}, // never a silently cut number
        {"", nullptr},
        {"+34-91 555", "+34-91555"}, // blanks typed into a contact are dropped
        {" 123 456\t789 012 345 ", "123456789012345"},
        {"123 456 789 012 3456", nullptr},
        {" \t ", nullptr},
        {"2002@evil.test", nullptr},
        {"2002;lr", nullptr},
        {"2002>", nullptr},
        {"2002\r\nBye", nullptr},
        {"*21#", "*21#"},
        {"alice.b", "alice.b"},
        {"caf\xc3\xa9", nullptr},
    };
    for (const Case& c : cases) {
        call->HangUp(true);
        Type("9");
        EXPECT_EQ(c.number != nullptr, call->PickNumber(c.picked)) << c.picked;
        EXPECT_EQ(c.number ? c.number : "9", call->GetDialedNumber()) << c.picked;
        EXPECT_EQ(c.number ? c.number : "9", view.number) << c.picked;
        EXPECT_EQ(PS_ENTERING_NUMBER, g_PhoneState);
    }
    // Not during a call.
    Incoming();
    EXPECT_FALSE(call->PickNumber("123"));
    EXPECT_EQ(PS_RINGING, g_PhoneState);
}

TEST_F(StatusLineTest, ACallersNameIsShownAsValidText) {
    Incoming(kPeerSdp, "\"An\xff\xc3\" <sip:2002@10.0.0.1>");
    EXPECT_EQ("An\xef\xbf\xbd\xef\xbf\xbd", call->GetPeerText());
}

TEST_F(StatusLineTest, HandsetKeysRaiseOrHideTheWindowAndStepTheSpeakerWithinItsRange) {
    struct Case {
        const char* stored; // nullptr: none
        int key;
        std::string after;
        bool applied;
    };
    const Case cases[] = {
        {nullptr, CallLogic::kUsbVolumeUp, "60", true},
        {"10", CallLogic::kUsbVolumeDown, "0", true},
        {"9", CallLogic::kUsbVolumeDown, "9", false},
        {"90", CallLogic::kUsbVolumeUp, "100", true},
        {"91", CallLogic::kUsbVolumeUp, "91", false},
        {"250", CallLogic::kUsbVolumeDown, "90", true},
    };
    Incoming();
    call->OnTalk(); // media run
    for (const Case& c : cases) {
        ASSERT_TRUE(VolumeIni().WriteString("vol", "spk", c.stored));
        media.calls.clear();
        const int raised = view.raised;
        call->OnUsbEvent(CallLogic::kUsbKeyDown, c.key);
        EXPECT_EQ(c.after, VolumeIni().GetString("vol", "spk", "")) << c.key << " " << c.after;
        EXPECT_EQ(c.applied ? std::vector<std::string>{"SetSpeakerVolume(-1," + c.after + ")"}
                            : std::vector<std::string>{},
                  media.calls)
            << c.after;
        EXPECT_EQ(raised + 1, view.raised);
    }
    // The hide key hides without raising first; a key-up raises; digits do neither.
    const int raised = view.raised;
    call->OnUsbEvent(CallLogic::kUsbKeyDown, CallLogic::kUsbHide);
    EXPECT_EQ(1, view.hidden);
    EXPECT_EQ(raised, view.raised);
    call->OnUsbEvent(CallLogic::kUsbKeyUp, 20);
    call->OnUsbEvent(CallLogic::kUsbDigit, 130);
    EXPECT_EQ(raised + 1, view.raised);
}

TEST_F(StatusLineTest, TheAudioSlidersSetTheRunningMediaAndAreStoredWithinTheirRange) {
    call->OnSpeakerSlider(35); // no media: stored only
    EXPECT_EQ(35, ReadVolume("spk"));
    EXPECT_TRUE(media.calls.empty());
    Incoming();
    call->OnTalk();
    media.calls.clear();
    call->OnMicrophoneSlider(120);
    call->OnSpeakerSlider(-4);
    EXPECT_EQ((std::vector<std::string>{"SetMicrophoneVolume(-1,100)", "SetSpeakerVolume(-1,0)"}),
              media.calls);
    EXPECT_EQ("100", VolumeIni().GetString("vol", "mic", ""));
    EXPECT_EQ("0", VolumeIni().GetString("vol", "spk", ""));
}

} // namespace
