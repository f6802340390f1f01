#include "app/call/CallSoundPlayers.h"
#include "app/call/StoreHistoryRecorder.h"
#include "app/call/UsbCallHandset.h"
#include "tests/app-call/CallFixture.h"

using KeypadTest = CallLogicTest;

TEST_F(KeypadTest, TheNumberTakesFifteenKeysAHeldDigitOnceAndTheFirstKeyReplacesTheLastNumber) {
    struct Case {
        const char* name;
        std::vector<std::string> presses; // each entry: characters typed without a key release
        std::string number;
        int tones;
    };
    const Case cases[] = {
        {"sixteen digits keep fifteen, the 16th silent",
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1", "2", "3", "4", "5", "6"},
         "123456789012345",
         15},
        {"a held digit counts once", {"555"}, "5", 1},
        {"the same digit twice needs a release", {"5", "5"}, "55", 2},
        {"'#' and '*' repeat while held", {"##", "**"}, "##**", 4},
        {"other characters are ignored", {"a", " ", "+"}, "", 0},
    };
    for (const Case& c : cases) {
        call->HangUp(true); // back to idle; a leftover number is replaced by the first key
        sounds.played.clear();
        for (const std::string& press : c.presses) {
            for (char ch : press) {
                call->OnChar(ch);
            }
            call->OnKeyUp(0);
        }
        EXPECT_EQ(c.number, call->GetDialedNumber()) << c.name;
        EXPECT_EQ(c.number, view.number) << c.name;
        EXPECT_EQ(static_cast<size_t>(c.tones), sounds.played.size()) << c.name;
        call->OnBackspace();
        call->OnBackspace();
    }
    Type("78");
    call->OnTalk();
    call->HangUp(true);
    call->HangUp(true);
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    Type("9"); // the number left from the last call is replaced
    EXPECT_EQ("9", call->GetDialedNumber());
    EXPECT_EQ("once:9.wav", sounds.played.back());
}

TEST_F(KeypadTest, BackspaceRemovesOneKeyWhileEnteringAndClearsALeftoverNumberWhole) {
    Type("123");
    call->OnKeyDown(8);
    EXPECT_EQ("12", call->GetDialedNumber());
    EXPECT_EQ(PS_ENTERING_NUMBER, g_PhoneState);
    call->OnBackspace();
    call->OnBackspace();
    EXPECT_EQ(PS_IDLE, g_PhoneState); // empty again
    Type("45");
    call->OnTalk();
    call->HangUp(true);
    call->HangUp(true);
    ASSERT_EQ("45", call->GetDialedNumber());
    call->OnBackspace(); // idle: the whole leftover number goes
    EXPECT_EQ("", call->GetDialedNumber());
    EXPECT_EQ(PS_IDLE, g_PhoneState);
}

TEST_F(KeypadTest, KeysDuringACallPlayIntoTheCallAndLocallyWithoutChangingTheNumber) {
    auto id = Dial("12");
    stack.sessionAnswered(id, kPeerSdp);
    Poll();
    sounds.played.clear();
    call->OnChar('#');
    call->OnChar('7');
    EXPECT_EQ("12", call->GetDialedNumber());
    EXPECT_EQ(1, Count("PlayFile(n.wav,1,100)"));
    EXPECT_EQ(1, Count("PlayFile(7.wav,1,100)"));
    EXPECT_EQ((std::vector<std::string>{"once:n.wav", "once:7.wav"}), sounds.played);
    char key = 0;
    EXPECT_EQ("/opt/quorvex/sounds/a.wav", call->GetKeySoundFile(CallLogic::kCmdKeyStar, &key));
    EXPECT_EQ('*', key);

    mediaNull = true; // a call without media: the tone is only played here
    call->HangUp(true);
    id = Dial("3");
    stack.sessionAnswered(id, kPeerSdp);
    Poll();
    media.calls.clear();
    call->OnKeyUp(0);
    call->OnChar('1');
    EXPECT_EQ(0, Count("PlayFile"));
    EXPECT_EQ("once:1.wav", sounds.played.back());
}

TEST_F(KeypadTest, HandsetKeys) {
    struct Case {
        int type;
        int code;
        std::string number; // after the key, from "5"
        unsigned flashed;
    };
    const Case cases[] = {
        {11, 128, "50", CallLogic::kCmdKey0},
        {11, 137, "59", CallLogic::kCmdKey0 + 9},
        {11, 139, "5*", CallLogic::kCmdKeyStar},
        {11, 140, "5#", CallLogic::kCmdKeyHash},
        {11, 138, "5", 0},
        {11, 141, "5", 0},
        {4, 20, "", CallLogic::kCmdBackspace},
        {5, 20, "5", 0},
        {4, 19, "", CallLogic::kCmdHangUp},
    };
    for (const Case& c : cases) {
        call->HangUp(true);
        Type("5");
        view.flashed.clear();
        call->OnUsbEvent(c.type, c.code);
        EXPECT_EQ(c.number, call->GetDialedNumber()) << c.type << "/" << c.code;
        if (c.flashed) {
            EXPECT_EQ(std::vector<unsigned>{c.flashed}, view.flashed) << c.type << "/" << c.code;
        } else {
            EXPECT_TRUE(view.flashed.empty()) << c.type << "/" << c.code;
        }
    }
    // The clear key held one second clears the number and leaves the number state.
    call->HangUp(true);
    Type("56");
    call->OnUsbEvent(4, 20);
    EXPECT_EQ(1000u, view.Period(CallLogic::kTimerClearHeld));
    call->OnTimer(CallLogic::kTimerClearHeld);
    EXPECT_EQ("", call->GetDialedNumber());
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_FALSE(view.timers.count(CallLogic::kTimerClearHeld));
    // The talk key (145) dials; then talk does nothing more.
    Type("7");
    call->OnUsbEvent(11, 145);
    EXPECT_EQ(PS_DIALING, g_PhoneState);
}

TEST_F(KeypadTest, TheProgramsHistoryRecorderWritesTheStoreAndTheHandsetWithoutDeviceIsQuiet) {
    CallHistory store(sandbox.Registry());
    StoreHistoryRecorder recorder(store);
    recorder.AddDialed(sipua::NameAddr::parse("\"Ana\" <sip:2002@10.0.0.1>"));
    recorder.AddMissed(sipua::NameAddr::parse("<sip:3003@10.0.0.1>"));
    ASSERT_EQ(1u, store.Reload(HistoryList::Dialed).size());
    std::string number;
    EXPECT_TRUE(store.GetNumber(HistoryList::Missed, 0, &number));
    EXPECT_EQ("3003", number);
    UsbCallHandset handset; // no handset open: nothing happens
    handset.Ring();
    handset.StopRing();
    handset.ClearDisplay();
    CallSoundPlayers players; // built, not played: tests have no sound device
    (void)players;
}
