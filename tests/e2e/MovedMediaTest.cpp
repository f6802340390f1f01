// A far phone that moves its media during a call, as a server does when it takes itself out of
// the media path or puts itself back: the program's answer to the re-INVITE, and where its RTP
// goes. The far phone is scripted by the test on 127.0.0.3 and 127.0.0.4.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/KamailioCallTest.h"
#include "tests/e2e/ScriptedCaller.h"
#include "tools/loopback/TestSignal.h"

namespace {

class MovedMediaTest : public KamailioCallTest {
protected:
    void SetUp() override {
        // A tone for microphone: the engine sends nothing for digital silence.
        const std::string mic = sandbox.Dir() + "/mic.wav";
        std::string error;
        ASSERT_TRUE(loopback::WriteWav(mic, loopback::Tone(440, 30, -12), &error)) << error;
        const std::string audio = "file:in=" + mic + ",out=" + sandbox.Dir() + "/speaker.wav";
        setenv("QUORVEX_AUDIO", audio.c_str(), 1);
        KamailioCallTest::SetUp();
        if (Ready()) {
            ASSERT_TRUE(SignIn(sandbox.Dir()));
            ASSERT_TRUE(far.ok());
        }
    }
    bool Answered(int cseq, std::string* body) {
        return Until([&] { return far.Answered(cseq, body); }, 3000);
    }

    ScriptedCaller far;
};

} // namespace

TEST_F(MovedMediaTest, AReInviteThatMovesTheFarEndsMediaMovesOursAndOurAnswerStaysTheSame) {
    struct Step {
        const char* name;
        const char* address; // the far end's media after the re-INVITE
        int port;
        const char* extra;
        bool moves;
    };
    const Step steps[] = {
        {"the port moves", "127.0.0.3", 40002, "", true},
        {"the address moves", "127.0.0.4", 40002, "", true},
        {"on hold", "127.0.0.4", 40002, "a=sendonly\r\n", false},
    };
    std::string address = "127.0.0.3";
    int port = 40000;
    ASSERT_TRUE(far.OpenMedia(address, port));
    ASSERT_TRUE(far.OpenMedia("127.0.0.3", 40002));
    ASSERT_TRUE(far.OpenMedia("127.0.0.4", 40002));
    int cseq = far.Send("INVITE", ScriptedCaller::Sdp(address, port));
    ASSERT_TRUE(Until([] { return g_PhoneState == PS_RINGING; }, 3000));
    call->OnTalk();
    std::string ours;
    ASSERT_TRUE(Answered(cseq, &ours));
    far.Send("ACK", "", cseq);
    ASSERT_TRUE(Until([&] { return far.Media(address, port) > 0; }, 3000));
    Wait(300);
    uint32_t ssrc = 0;
    far.Media(address, port, &ssrc);

    for (const Step& s : steps) {
        cseq = far.Send("INVITE", ScriptedCaller::Sdp(s.address, s.port, s.extra));
        std::string answer;
        ASSERT_TRUE(Answered(cseq, &answer)) << s.name;
        far.Send("ACK", "", cseq);
        EXPECT_EQ(ours, answer) << s.name;
        // What was on its way goes; then only the far end's new place gets our media.
        Wait(200);
        far.Media(address, port);
        far.Media(s.address, s.port);
        Wait(600);
        uint32_t now = 0;
        EXPECT_GE(far.Media(s.address, s.port, &now), 8) << s.name;
        if (s.moves) {
            EXPECT_EQ(0, far.Media(address, port)) << s.name;
        }
        EXPECT_EQ(!s.moves, ssrc == now) << s.name; // a new stream only when moved
        EXPECT_EQ(PS_TALKING, g_PhoneState) << s.name;
        address = s.address;
        port = s.port;
        ssrc = now;
    }
    far.Send("BYE");
    EXPECT_TRUE(Until([] { return g_PhoneState == PS_IDLE; }, 3000));
    EXPECT_EQ(nullptr, g_pMedia);
}
