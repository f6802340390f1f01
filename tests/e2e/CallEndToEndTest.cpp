#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "app/trace/TraceFile.h"
#include "sip/SipTrace.h"
#include "tests/e2e/BaresipProcess.h"
#include "tests/e2e/KamailioCallTest.h"
#include "tests/e2e/ScriptedCaller.h"
#include "tests/support/Eventually.h"
#include "tools/loopback/AudioAnalysis.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/PeerProcess.h"
#include "tools/loopback/TestSignal.h"

using Clock = std::chrono::steady_clock;

namespace {

// The program's trace log on standard error, for the test's output; the lines are kept.
class StderrTrace : public iTraceFile {
public:
    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }
    void WriteTime() override {}
    void NewLine() override {
        std::fprintf(stderr, "trace: %s\n", line_.c_str());
        lines_.push_back(line_);
        line_.clear();
    }
    void Write(const char* text) override { line_ += text; }
    int Count(const std::string& line) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
    }

private:
    std::recursive_mutex lock_;
    std::string line_;
    std::vector<std::string> lines_;
};
StderrTrace g_stderrTrace;

constexpr double kOurTone = 440;  // our microphone
constexpr double kFarTone = 1000; // baresip's sine
constexpr double kKeyLow = 770;   // key 5
constexpr double kKeyHigh = 1336;

// One work directory per process: the engine reads QUORVEX_AUDIO once, so every call of the
// process uses the same microphone and speaker files.
struct AudioFiles {
    std::string dir;
    std::string mic;
    std::string speaker;
    AudioFiles() {
        char tmpl[] = "/tmp/qve2eXXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        mic = dir + "/mic.wav";
        speaker = dir + "/speaker.wav";
        std::string error;
        loopback::WriteWav(mic, loopback::Tone(kOurTone, 120, -12), &error);
        // The tone of key 5 that the keypad plays into the call, beside the "program".
        std::string sounds = dir + "/sounds";
        mkdir(sounds.c_str(), 0700);
        loopback::WriteWav(sounds + "/5.wav", loopback::DualTone(kKeyLow, kKeyHigh, 0.4, -10),
                           &error);
        setenv("QUORVEX_AUDIO", ("file:in=" + mic + ",out=" + speaker).c_str(), 1);
    }
    ~AudioFiles() {
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) {
            // a leftover temp dir is harmless
        }
    }
};

AudioFiles& Files() {
    static AudioFiles files;
    return files;
}

// The strongest level of a tone over 100 ms windows in [from, to) seconds.
double PeakToneDb(const std::vector<int16_t>& s, double hz, double from, double to) {
    double best = -200;
    for (double t = from; t + 0.1 <= to; t += 0.05) {
        size_t b = static_cast<size_t>(t * loopback::kSampleRate);
        size_t e = static_cast<size_t>((t + 0.1) * loopback::kSampleRate);
        if (e > s.size()) {
            break;
        }
        best = std::max(best, loopback::ToneLevelDb(s, b, e, hz));
    }
    return best;
}

// Another copy of the media engine (the loopback peer, as a second softphone on the machine
// would be) holding port 8000 and its neighbour while it lives; its RTP goes to itself.
class PortHolder {
public:
    explicit PortHolder(const std::string& dir) : out_(dir + "/out.txt") {
        mkdir(dir.c_str(), 0700);
        std::string error;
        loopback::WriteWav(dir + "/mic.wav", loopback::Tone(300, 60, -20), &error);
        process_.Start(loopback::DefaultPeerProgram(),
                       {"--local-port", "8000", "--remote-port", "8000", "--seconds", "60", "--in",
                        dir + "/mic.wav", "--out", dir + "/speaker.wav", "--home", dir},
                       {}, out_, dir + "/err.txt", &error);
    }
    // Whether its media bound port 8000.
    bool Holds() const {
        Eventually([this] { return ReadTextFile(out_).find("SetAddresses=") != std::string::npos; },
                   3000);
        return ReadTextFile(out_).find("SetAddresses=0\n") != std::string::npos;
    }

private:
    std::string out_;
    PeerProcess process_; // killed when the holder goes
};

class CallEndToEndTest : public KamailioCallTest {
protected:
    void SetUp() override {
        Files();
        sipua::SetTraceSink([](const char* text) { std::fprintf(stderr, "sip: %s\n", text); });
        g_pTrace.store(&g_stderrTrace);
        KamailioCallTest::SetUp();
    }
    void TearDown() override {
        SignOut();
        far.reset();
        KamailioCallTest::TearDown();
        g_pTrace.store(nullptr);
        sipua::SetTraceSink(nullptr);
    }
    void StartFar(BaresipProcess::Options options = {}) {
        far = std::make_unique<BaresipProcess>(options);
        ASSERT_TRUE(far->ok()) << far->Log();
    }
    // Signs in as 1001 and opens the call logic, as the first success does.
    void SignIn() { ASSERT_TRUE(LoopbackPhone::SignIn(Files().dir)); }
    // Talks for 6 s with key 5 pressed at 3 s.
    void Talk() {
        Wait(3000);
        call->OnKeypad(CallLogic::kCmdKey0 + 5);
        Wait(3000);
    }
    std::vector<int16_t> Read(const std::string& path) {
        std::vector<int16_t> samples;
        std::string error;
        EXPECT_TRUE(loopback::ReadWav(path, &samples, &error)) << path << ": " << error;
        return samples;
    }
    // Calls baresip (1002), talks (Talk), runs `talking` and hangs up; each side heard the other.
    void CallTheFarEnd(const std::function<void()>& talking = {}) {
        StartFar();
        SignIn();
        call->PickNumber("1002");
        call->OnTalk();
        ASSERT_TRUE(Until([] { return g_PhoneState == PS_TALKING; }, 5000))
            << far->Log() << kamailio->Log();
        EXPECT_EQ(std::vector<std::string>{"1002"}, history.dialed);
        Talk();
        if (talking) {
            talking();
        }
        call->HangUp(true);
        EXPECT_EQ(PS_IDLE, g_PhoneState);
        EXPECT_TRUE(far->WaitForLog("terminated", 3000)) << far->Log();
        far->Stop();
        ExpectAudioBothWays();
    }
    // Each side heard the other: our speaker baresip's tone, baresip our tone and key 5.
    void ExpectAudioBothWays() {
        std::vector<std::string> recordings = far->Recordings("dec");
        ASSERT_EQ(1u, recordings.size());
        std::vector<int16_t> heardByFar = Read(recordings[0]);
        ASSERT_GT(heardByFar.size(), 5u * loopback::kSampleRate);
        EXPECT_GT(PeakToneDb(heardByFar, kOurTone, 1.0, 2.0), -25);
        EXPECT_GT(PeakToneDb(heardByFar, kKeyLow, 2.0, 5.0), -25);
        EXPECT_GT(PeakToneDb(heardByFar, kKeyHigh, 2.0, 5.0), -25);
        EXPECT_LT(PeakToneDb(heardByFar, kKeyHigh, 0.5, 1.5), -45); // not before the key
        std::vector<int16_t> heardByUs = Read(Files().speaker);
        ASSERT_GT(heardByUs.size(), 5u * loopback::kSampleRate);
        EXPECT_GT(PeakToneDb(heardByUs, kFarTone, 2.0, 3.0), -30);
    }

    std::unique_ptr<BaresipProcess> far;
};

} // namespace

TEST_F(CallEndToEndTest, AnOutgoingCallCarriesBothTonesAndTheKeyAndWeHangUp) {
    CallTheFarEnd();
}

TEST_F(CallEndToEndTest, WithPort8000HeldElsewhereTheCallTakes8002AndCarriesBothTones) {
    PortHolder holder(Files().dir + "/holder");
    ASSERT_TRUE(holder.Holds()) << "the second copy could not take port 8000";
    callView.onMediaLevel = [this] { call->OnMediaLevel(); };
    CallTheFarEnd([this] {
        // baresip's packets arrive: the lights follow the receive buffer.
        EXPECT_TRUE(std::count(callView.lights.begin(), callView.lights.end(), true) > 0);
    });
    EXPECT_EQ(1, g_stderrTrace.Count("puerto local RTP:8002"));
}

TEST_F(CallEndToEndTest, AnAnsweredCallWhoseFarEndSendsNothingLightsNothing) {
    SignIn();
    callView.onMediaLevel = [this] { call->OnMediaLevel(); };
    ScriptedCaller caller;
    ASSERT_TRUE(caller.ok());
    ASSERT_TRUE(caller.OpenMedia("127.0.0.3", 40000));
    const int cseq = caller.Send("INVITE", ScriptedCaller::Sdp("127.0.0.3", 40000));
    ASSERT_TRUE(Until([] { return g_PhoneState == PS_RINGING; }, 3000));
    call->OnTalk();
    std::string answer;
    ASSERT_TRUE(Until([&] { return caller.Answered(cseq, &answer); }, 3000));
    caller.Send("ACK", "", cseq);
    // Our packets reach the far end; none come back, past the receiver's first 3 s wait.
    for (int second = 0; second < 4; ++second) {
        Wait(1000);
        EXPECT_EQ((std::vector<bool>{false, false, false, false}), callView.lights) << second;
    }
    EXPECT_GT(caller.Media("127.0.0.3", 40000), 50);
    caller.Send("BYE");
    EXPECT_TRUE(Until([] { return g_PhoneState == PS_IDLE; }, 3000));
}

TEST_F(CallEndToEndTest, AnIncomingCallIsAnsweredAndTheFarEndHangsUp) {
    StartFar();
    SignIn();
    ASSERT_TRUE(far->Command("dial", "sip:1001@127.0.0.2"));
    ASSERT_TRUE(Until([] { return g_PhoneState == PS_RINGING; }, 5000)) << far->Log();
    EXPECT_EQ("repicando.wav", sounds.system);
    call->OnTalk();
    ASSERT_EQ(PS_TALKING, g_PhoneState);
    Talk();
    // A re-INVITE (baresip puts the call on hold and takes it back) is answered with our
    // unchanged SDP: the call stays up.
    ASSERT_TRUE(far->Command("hold"));
    Wait(600);
    ASSERT_TRUE(far->Command("resume"));
    Wait(600);
    EXPECT_EQ(PS_TALKING, g_PhoneState);
    EXPECT_EQ(std::string::npos, far->Log().find("session closed")) << far->Log();
    ASSERT_TRUE(far->Command("hangup"));
    EXPECT_TRUE(Until([] { return g_PhoneState == PS_IDLE; }, 3000));
    EXPECT_EQ(std::vector<std::string>{"1002"}, history.received);
    EXPECT_EQ(nullptr, g_pMedia);
    far->Stop();
    ExpectAudioBothWays();
}

TEST_F(CallEndToEndTest, ACallCancelledBeforeTheAnswerIsMissed) {
    StartFar();
    SignIn();
    ASSERT_TRUE(far->Command("dial", "sip:1001@127.0.0.2"));
    ASSERT_TRUE(Until([] { return g_PhoneState == PS_RINGING; }, 5000)) << far->Log();
    ASSERT_TRUE(far->Command("hangup"));
    EXPECT_TRUE(Until([] { return g_PhoneState == PS_IDLE; }, 3000));
    EXPECT_EQ(std::vector<std::string>{"1002"}, history.missed);
    EXPECT_EQ("", sounds.system);
    EXPECT_FALSE(handset.ringing);
    // The next call works.
    call->PickNumber("1002");
    call->OnTalk();
    EXPECT_TRUE(Until([] { return g_PhoneState == PS_TALKING; }, 5000)) << far->Log();
}

TEST_F(CallEndToEndTest, ABusyCalleeGivesTheBusyTone) {
    BaresipProcess::Options options;
    options.answer = "manual";
    StartFar(options);
    SignIn();
    call->PickNumber("1002");
    call->OnTalk();
    ASSERT_TRUE(Until([&] { return far->Log().find("ncoming call") != std::string::npos; }, 5000))
        << far->Log();
    ASSERT_TRUE(far->Command("hangup"));
    EXPECT_TRUE(Until([] { return g_PhoneState == PS_BUSY; }, 3000)) << far->Log();
    EXPECT_EQ("Ocupado.WAV", sounds.own);
    call->HangUp(true);
    EXPECT_EQ(PS_IDLE, g_PhoneState);
}
