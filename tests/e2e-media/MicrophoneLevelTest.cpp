// The microphone level through the sound server, as a user has it: a PulseAudio daemon of the
// test's own, the call's microphone the monitor of a null sink that a 1000 Hz sine at -6 dBFS
// plays into, and the server's default source another one. The level is an amplitude gain on
// the source the call records from (pactl reads it), and the far end gets the tone that much
// quieter (measured on the RTP payload A sends). The sinks render in small blocks, as a sound
// card's do, so the start of the recording is sent at once; a peer held up long enough for
// its playback to underrun recovers and says so on its debug output.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "media/codec/G711Codec.h"
#include "tests/support/RunningUnderCi.h"
#include "tools/loopback/AudioAnalysis.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/PrivateSoundServer.h"
#include "tools/loopback/TestSignal.h"

namespace {

using namespace loopback;

constexpr int kToneHz = 1000;
constexpr double kSourceDbfs = -6.02; // module-sine plays at half full scale
// What the transmit chain's voice-band filter leaves of a 1000 Hz tone.
constexpr double kFilterAtToneDb = -3.4;

// The first frame leaves once it is recorded (20 ms) and the server, which starts the stream in
// a few ms, has handed it over in its small blocks: 30 to 60 ms here. Ten frames leave room for
// a loaded machine; a recording that loses or holds back its start takes longer.
constexpr int64_t kFirstToneBoundUs = 200000;
constexpr int kToneSeenPeak = 1000; // -30 dBFS; the tone arrives at -15 dBFS or more
constexpr auto kStall = std::chrono::milliseconds(300); // outlasts the playback ring and buffer

// The PCMU samples A sent from `fromUs` after its StartTX on; `firstToneUs` gets when the first
// packet that carries the tone passed the relay (-1: none did).
std::vector<int16_t> SentFrom(const CallOutcome& outcome, int64_t fromUs, int64_t* firstToneUs) {
    std::vector<int16_t> samples;
    *firstToneUs = -1;
    for (const RtpRelay::Packet& p : outcome.aToB) {
        const int64_t atUs = p.timeUs - outcome.a.Value("tx_start_us");
        for (uint8_t code : p.payload) {
            const int16_t sample = tamsor::G711Codec::DecodeSample(code, tamsor::G711Codec::kMuLaw);
            if (p.payloadType == 0 && *firstToneUs < 0 && std::abs(sample) >= kToneSeenPeak) {
                *firstToneUs = atUs;
            }
            if (p.payloadType == 0 && atUs >= fromUs) {
                samples.push_back(sample);
            }
        }
    }
    return samples;
}

TEST(MicrophoneLevelTest, TheLevelIsAnAmplitudeGainOnTheRecordedSourceAndReachesTheFarEnd) {
    if (!PrivateSoundServer::Available()) {
        ASSERT_FALSE(RunningUnderCi()) << "pulseaudio or pactl is missing";
        GTEST_SKIP() << "pulseaudio or pactl is missing";
    }
    std::string error;
    const std::string dir = MakeWorkDir("quorvex-mic-level-", &error);
    ASSERT_FALSE(dir.empty()) << error;
    const std::vector<PrivateSoundServer::Sink> sinks = {{"decoy"},
                                                         {"a_mic", kToneHz, true},
                                                         {"a_spk", 0, true},
                                                         {"b_mic", 0, true},
                                                         {"b_spk", 0, true}};
    PrivateSoundServer server;
    ASSERT_TRUE(server.Start(dir, sinks, &error)) << error;
    ASSERT_TRUE(server.Pactl({"set-default-source", "decoy.monitor"}));

    // The level, what pactl shows for the recorded source and what A sends against level 100.
    const struct {
        int level;
        double db;
        const char* mute;
    } cases[] = {{100, 0.0, "Mute: no"}, {50, -6.02, "Mute: no"}, {0, -INFINITY, "Mute: yes"}};
    double fullToneDb = kNoSignalDb;
    for (const auto& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level));
        CallSetup setup;
        setup.workDir = dir + "/level-" + std::to_string(c.level);
        ASSERT_EQ(mkdir(setup.workDir.c_str(), 0700), 0);
        setup.seconds = 5;
        setup.fileAudio = false;
        setup.a.env = server.EnvFor("a_spk", "a_mic.monitor");
        setup.b.env = server.EnvFor("b_spk", "b_mic.monitor");
        setup.a.env.push_back("QUORVEX_AUDIO=alsa");
        setup.b.env.insert(setup.b.env.end(), {"QUORVEX_AUDIO=alsa", "QUORVEX_DEBUG=1"});
        setup.a.micLevel = c.level;
        double sourceDb = 1, decoyDb = 1;
        std::string mute;
        setup.whileRunning = [&](pid_t, pid_t b) {
            std::this_thread::sleep_for(std::chrono::seconds(2)); // the level is set by now
            EXPECT_TRUE(server.SourceVolumeDb("a_mic.monitor", &sourceDb));
            EXPECT_TRUE(server.SourceVolumeDb("decoy.monitor", &decoyDb));
            EXPECT_TRUE(server.Pactl({"get-source-mute", "a_mic.monitor"}, &mute));
            kill(b, SIGSTOP); // as a loaded machine would hold it up
            std::this_thread::sleep_for(kStall);
            kill(b, SIGCONT);
        };
        CallOutcome outcome;
        ASSERT_TRUE(RunLoopbackCall(setup, &outcome, &error)) << error;
        EXPECT_TRUE(std::isinf(c.db) ? sourceDb == -INFINITY : std::abs(sourceDb - c.db) <= 0.01)
            << sourceDb;
        EXPECT_EQ(decoyDb, 0.0) << "the server's default source is not the one recorded";
        EXPECT_NE(mute.find(c.mute), std::string::npos) << mute;
        const std::string& traceB = outcome.b.stderrText;
        EXPECT_NE(traceB.find("alsa: recovering playback default: Broken pipe"), std::string::npos)
            << "B's speaker underran without a trace: " << traceB;
        EXPECT_EQ(traceB.find("write failed"), std::string::npos) << "not recovered: " << traceB;

        int64_t firstToneUs = -1;
        const std::vector<int16_t> sent = SentFrom(outcome, 1000000, &firstToneUs);
        const double toneDb = ToneLevelDb(sent, 0, sent.size(), kToneHz);
        std::printf("level %d: source %.2f dB, tone sent at %.2f dBFS, its first packet %lld us "
                    "after StartTX (-1: none)\n",
                    c.level, sourceDb, toneDb, static_cast<long long>(firstToneUs));
        if (c.level == 100) {
            fullToneDb = toneDb;
            EXPECT_NEAR(toneDb, kSourceDbfs + kFilterAtToneDb, 0.5);
        }
        if (std::isinf(c.db)) {
            EXPECT_LT(toneDb, -80.0) << "level 0 sends no tone";
        } else {
            EXPECT_NEAR(toneDb - fullToneDb, c.db, 0.3);
            EXPECT_GE(firstToneUs, 0);
            EXPECT_LE(firstToneUs, kFirstToneBoundUs) << "the start of the recording is not sent";
        }
    }
    if (!HasFailure()) {
        RemoveTree(dir);
    } else {
        std::printf("microphone level files kept in %s\n", dir.c_str());
    }
}

} // namespace
