// The sound player on the real sound path: PlaySound2 through ALSA's default device into a
// PulseAudio daemon of the test's own, with the GUI thread's main loop running as in the
// program. After the hang-up tone no playback stream of this process stays on the server and
// the device's threads end, once the idle time has passed and not before.
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/sound/PlaySound2.h"
#include "app/sound/WaveFilePlayer.h"
#include "platform/audio/alsa/AlsaAudioBackend.h"
#include "tests/support/RunningUnderCi.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/PrivateSoundServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// How many of this process's threads carry `name`: the wave-out device's thread is
// "wave-out", the thread of PulseAudio's client library under ALSA's plugin "threaded-ml".
int ThreadsNamed(const std::string& name) {
    int n = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        n += comm == name ? 1 : 0;
    }
    return n;
}

// Runs the main loop until `done` holds or `limitMs` pass; whether it held.
bool RunLoopUntil(const std::function<bool()>& done, int limitMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() >= end) {
            return false;
        }
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(20000);
    }
    return true;
}

TEST(SoundServerIdleTest, NoStreamOrThreadOfThePlayerOutlivesTheIdleTimeAfterTheHangUpTone) {
    if (!loopback::PrivateSoundServer::Available()) {
        ASSERT_FALSE(RunningUnderCi()) << "pulseaudio or pactl is missing";
        GTEST_SKIP() << "pulseaudio or pactl is missing";
    }
    std::string error;
    const std::string dir = loopback::MakeWorkDir("quorvex-sound-idle-", &error);
    ASSERT_FALSE(dir.empty()) << error;
    loopback::PrivateSoundServer server;
    ASSERT_TRUE(server.Start(dir, {{"speaker"}}, &error)) << error;
    server.ExportEnv();
    plat::AlsaAudioBackend alsa;
    plat::ScopedAudioBackend scoped(alsa);
    const std::string ours = "application.process.id = \"" + std::to_string(getpid()) + "\"";
    auto streams = [&] {
        std::string listing;
        server.Pactl({"list", "sink-inputs"}, &listing);
        int n = 0;
        for (size_t at = listing.find(ours); at != std::string::npos;
             at = listing.find(ours, at + 1)) {
            ++n;
        }
        return n;
    };

    g_nWaveOutDev = -1;
    ASSERT_EQ(PlaySound2(QUORVEX_SOUNDS_DIR "/hangup.wav", false), 0);
    const auto played = Clock::now();
    EXPECT_EQ(streams(), 1) << "the tone plays on the server";
    EXPECT_EQ(ThreadsNamed("wave-out"), 1);
    EXPECT_EQ(ThreadsNamed("threaded-ml"), 1);
    EXPECT_TRUE(RunLoopUntil([&] { return streams() == 0; }, WaveFilePlayer::kIdleCloseMs + 4000))
        << "a playback stream stays";
    const auto closedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - played).count();
    constexpr long long kToneMs = 1250; // hangup.wav's length
    EXPECT_GE(closedMs, kToneMs + WaveFilePlayer::kIdleCloseMs)
        << "closed before the tone and the idle time had passed";
    EXPECT_TRUE(RunLoopUntil(
        [&] { return ThreadsNamed("wave-out") + ThreadsNamed("threaded-ml") == 0; }, 1000))
        << "the device's threads stay";
    std::printf("the stream went %lld ms after the tone started\n",
                static_cast<long long>(closedMs));
    CloseSoundPlayers();
    if (!HasFailure()) {
        loopback::RemoveTree(dir);
    }
}

} // namespace
