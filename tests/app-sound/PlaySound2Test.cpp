#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "app/sound/PlaySound2.h"
#include "app/sound/WaveFilePlayer.h"
#include "app/trace/TraceFile.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/core/Paths.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/ui/testing/ManualOneShotTimer.h"
#include "tests/app-sound/RecordingAudioBackend.h"
#include "tests/app-sound/WavBuilder.h"
#include "tests/support/RecordingTraceLog.h"

namespace {

using soundtest::BuildWav;
using soundtest::RecordingAudioBackend;
using soundtest::Samples;
using soundtest::WavSpec;
using Lines = std::vector<std::string>;

constexpr int kHandset = 1;

class PlaySound2Test : public ::testing::Test {
protected:
    void SetUp() override {
        previousTrace_ = g_pTrace.exchange(&trace_);
        g_nWaveOutDev = kHandset;
    }
    void TearDown() override {
        CloseSoundPlayers();
        g_nWaveOutDev = -1;
        g_pTrace.store(previousTrace_);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir_.File(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return dir_.File(name);
    }
    std::string Tone(const std::string& name, size_t count, int16_t value,
                     plat::WaveDeviceFormat format = {}) {
        WavSpec spec;
        spec.format = format;
        spec.data = Samples(count, value);
        return Write(name, BuildWav(spec));
    }
    // What stream i has played once it reached `bytes` and then stayed quiet a while.
    size_t Settled(size_t i, size_t bytes) {
        RecordingAudioBackend::WaitFor([&] { return backend_.BytesOf(i) >= bytes; });
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        return backend_.BytesOf(i);
    }

    RecordingAudioBackend backend_;
    plat::ScopedAudioBackend scopedBackend_{backend_};
    RecordingTraceLog trace_;
    iTraceFile* previousTrace_ = nullptr;
    audiotest::TempDir dir_;
};

TEST_F(PlaySound2Test, EachParseFailureWritesItsTraceTextAndOpensNothing) {
    WavSpec avi, noFmt, cutFmt, hugeFmt, oddFmtAtEnd, noData;
    avi.form = "AVI ";
    noFmt.withFmt = false;
    cutFmt.fmtPresent = 10;
    cutFmt.withData = hugeFmt.withData = oddFmtAtEnd.withData = noData.withData = false;
    hugeFmt.fmtSize = 0x7FFFFFF0u;
    hugeFmt.fmtPresent = 18;
    oddFmtAtEnd.fmtSize = 17; // read whole, but its pad byte is missing
    oddFmtAtEnd.fmtPresent = 17;
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {{}, "PlaySound2: !mmioOpen"}, // no file
        {BuildWav(avi), "PlaySound2: !mmioDescend (1)"},
        {{'R', 'I', 'F', 'F', 4, 0}, "PlaySound2: !mmioDescend (1)"},
        {BuildWav(noFmt), "PlaySound2: !mmioDescend (2)"},
        {BuildWav(cutFmt), "PlaySound2: !mmioRead"},
        {BuildWav(hugeFmt), "PlaySound2: !mmioRead"},
        {BuildWav(oddFmtAtEnd), "PlaySound2: !mmioAscend"},
        {BuildWav(noData), "PlaySound2: !mmioDescend (3)"},
    };
    for (const auto& [bytes, text] : cases) {
        trace_.Clear();
        std::string path = bytes.empty() ? dir_.File("absent.wav") : Write("bad.wav", bytes);
        EXPECT_NE(PlaySound2(path.c_str(), false), 0);
        EXPECT_EQ(trace_.Lines(), Lines{text});
    }
    EXPECT_EQ(backend_.StreamCount(), 0u);
}

TEST_F(PlaySound2Test, FormatChunkSizesAroundSixteenBytes) {
    // 14 bytes leave the sample width unset, which no device takes; 16 has no extra-size
    // field; 18 and more carry one, which PCM ignores.
    const std::pair<uint32_t, const char*> cases[] = {
        {14, "PlaySound2: !waveOutOpen, mr=32(time)"}, {16, nullptr}, {18, nullptr}, {40, nullptr}};
    size_t streams = 0;
    for (const auto& [fmtSize, failure] : cases) {
        SCOPED_TRACE(fmtSize);
        trace_.Clear();
        WavSpec spec;
        spec.fmtSize = fmtSize;
        spec.data = Samples(80, 1000);
        PlaySound2(nullptr, false); // each file opens the device afresh
        int result = PlaySound2(Write("fmt.wav", BuildWav(spec)).c_str(), false);
        EXPECT_EQ(trace_.Lines(), failure ? Lines{failure} : Lines{});
        EXPECT_EQ(result == 0, failure == nullptr);
        if (failure == nullptr) {
            ASSERT_EQ(backend_.StreamCount(), ++streams);
            EXPECT_EQ(backend_.Get(streams - 1).format, plat::WaveDeviceFormat{});
            EXPECT_EQ(Settled(streams - 1, 160), 160u);
        }
    }
    EXPECT_EQ(backend_.StreamCount(), 3u);
}

TEST_F(PlaySound2Test, OnlyTheWholeBlocksPresentInTheFileAreReadAndPlayed) {
    struct Case {
        size_t present;   // data bytes in the file
        int64_t declared; // what the data chunk claims
        size_t played;
    };
    const Case cases[] = {
        {1001, 16000, 1000}, {1000, 0x7FFFFFFF, 1000}, {301, -1, 300}, {300, -1, 300}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        WavSpec spec;
        spec.data.assign(cases[i].present, 0x11);
        spec.dataDeclared = cases[i].declared;
        WaveFilePlayer player("PlaySound2"); // a fresh buffer each time
        EXPECT_EQ(player.Play(kHandset, Write("cut.wav", BuildWav(spec)), false), 0u);
        EXPECT_EQ(player.BufferCapacity(), cases[i].played) << "nothing set aside for a claim";
        EXPECT_EQ(Settled(i, cases[i].played), cases[i].played);
    }
}

TEST_F(PlaySound2Test, ALoopIsReplacedAtOnceAndAFileWithoutAWholeFrameOnlyStopsIt) {
    ASSERT_EQ(PlaySound2(Tone("ring.wav", 200, 0x1111).c_str(), true), 0);
    ASSERT_TRUE(RecordingAudioBackend::WaitFor([&] { return backend_.BytesOf(0) > 1200; }));
    ASSERT_EQ(PlaySound2(Tone("hangup.wav", 300, 0x2222).c_str(), false), 0);
    auto hangupBytes = [&] {
        std::vector<uint8_t> bytes = backend_.Get(0).bytes;
        return std::count(bytes.begin(), bytes.end(), 0x22);
    };
    ASSERT_TRUE(RecordingAudioBackend::WaitFor([&] { return hangupBytes() >= 600; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_EQ(backend_.StreamCount(), 1u); // same format: the device stays open
    std::vector<uint8_t> bytes = backend_.Get(0).bytes;
    auto first = std::find(bytes.begin(), bytes.end(), 0x22);
    EXPECT_TRUE(std::all_of(bytes.begin(), first, [](uint8_t b) { return b == 0x11; }));
    EXPECT_EQ(std::vector<uint8_t>(first, bytes.end()), Samples(300, 0x2222)) << "once, alone";

    ASSERT_EQ(PlaySound2(Tone("ring.wav", 200, 0x1111).c_str(), true), 0);
    WavSpec crumb; // one byte of a two-byte frame
    crumb.data = {0x42};
    trace_.Clear();
    EXPECT_NE(PlaySound2(Write("crumb.wav", BuildWav(crumb)).c_str(), true), 0);
    EXPECT_EQ(trace_.Lines(), Lines{"PlaySound2: sin datos"});
    size_t now = backend_.BytesOf(0);
    EXPECT_EQ(Settled(0, now), now);
}

TEST_F(PlaySound2Test, TheDeviceFollowsTheFormatAndANullPathClosesIt) {
    std::string narrow = Tone("a.wav", 160, 1);
    ASSERT_EQ(PlaySound2(narrow.c_str(), true), 0);
    ASSERT_EQ(PlaySound2(Tone("b.wav", 160, 2).c_str(), false), 0);
    EXPECT_EQ(backend_.StreamCount(), 1u);
    ASSERT_EQ(PlaySound2(Tone("c.wav", 320, 3, soundtest::Format(16000, 2)).c_str(), false), 0);
    ASSERT_EQ(backend_.StreamCount(), 2u) << "another format re-opens the device";
    EXPECT_TRUE(backend_.Get(0).closed);
    EXPECT_EQ(backend_.Get(1).format, soundtest::Format(16000, 2));
    EXPECT_EQ(backend_.Get(1).device, kHandset);
    EXPECT_EQ(Settled(1, 640), 640u);
    EXPECT_EQ(PlaySound2(nullptr, false), 0);
    EXPECT_TRUE(backend_.Get(1).closed);
    EXPECT_EQ(PlaySound2(nullptr, false), 0) << "stopping what is stopped";
    ASSERT_EQ(PlaySound2(narrow.c_str(), false), 0);
    EXPECT_EQ(backend_.Get(2).format, plat::WaveDeviceFormat{});
}

TEST_F(PlaySound2Test, WithoutAHandsetDeviceTheSystemSoundPlaysOnTheDefaultOne) {
    std::string tone = Tone("tone.wav", 160, 5);
    g_nWaveOutDev = -1;
    ASSERT_EQ(PlaySound2(tone.c_str(), false), 0);
    EXPECT_EQ(backend_.Get(0).device, plat::WAVE_MAPPER);
    // With a handset, its sounds have their own device; the system sound (an incoming ring)
    // goes on on the default one and stops alone.
    g_nWaveOutDev = kHandset;
    ASSERT_EQ(PlaySystemSound(tone.c_str(), true), 0);
    ASSERT_EQ(PlaySound2(tone.c_str(), false), 0);
    EXPECT_EQ(backend_.Get(1).device, kHandset);
    EXPECT_EQ(PlaySystemSound(nullptr, false), 0);
    EXPECT_TRUE(backend_.Get(0).closed);
    EXPECT_FALSE(backend_.Get(1).closed);
}

TEST_F(PlaySound2Test, ARefusedOpenOrResetTracesAndTheNextFileStartsAfresh) {
    const std::pair<plat::AudioOp, const char*> cases[] = {
        {plat::AudioOp::OutOpen, "PlaySound2: !waveOutOpen, mr=4(time)"},
        {plat::AudioOp::OutReset, "PlaySound2: !waveOutReset, mr=4(time)"},
    };
    std::string tone = Tone("tone.wav", 400, 5);
    for (const auto& [op, text] : cases) {
        SCOPED_TRACE(text);
        size_t before = backend_.StreamCount();
        trace_.Clear();
        backend_.InjectFault(op, plat::MMSYSERR_ALLOCATED);
        EXPECT_EQ(PlaySound2(tone.c_str(), true), static_cast<int>(plat::MMSYSERR_ALLOCATED));
        EXPECT_EQ(trace_.Lines(), Lines{text});
        EXPECT_TRUE(before == 0 || backend_.Get(before - 1).closed) << "a refused reset closes";
        ASSERT_EQ(PlaySound2(tone.c_str(), true), 0);
        EXPECT_GT(Settled(backend_.StreamCount() - 1, 1600), 800u);
    }
}

TEST_F(PlaySound2Test, TheBufferGrowsIsReusedAndIsFreedOnlyAfterTheDeviceCloses) {
    WaveFilePlayer player("PlaySound2");
    ASSERT_EQ(player.Play(kHandset, Tone("big.wav", 1000, 2), true), 0u);
    EXPECT_EQ(player.BufferCapacity(), 2000u);
    ASSERT_EQ(player.Play(kHandset, Tone("small.wav", 100, 1), true), 0u);
    EXPECT_EQ(player.BufferCapacity(), 2000u);
    ASSERT_TRUE(RecordingAudioBackend::WaitFor([&] { return backend_.BytesOf(0) > 4000; }));
    // Closed while the loop plays: device first, then the buffer (a device thread still
    // reading it would be reported under AddressSanitizer).
    player.Close();
    EXPECT_TRUE(backend_.Get(0).closed);
    EXPECT_EQ(player.BufferCapacity(), 0u);
}

// The idle close, timed by a timer the test fires and a clock it moves: the device closes once
// nothing has played for the idle time, counted from the end of the last sound.
TEST_F(PlaySound2Test, TheDeviceClosesOnceNothingHasPlayedForTheIdleTime) {
    constexpr uint32_t kIdleMs = 3000;
    const std::string tone = Tone("tone.wav", 160, 5);
    struct Case {
        uint32_t endedAtMs; // the clock when the sound ends
        uint32_t quietMs;   // the clock's move before the timer fires
        bool closed;
    };
    const Case cases[] = {{1000, kIdleMs - 1, false},
                          {1000, kIdleMs, true},
                          {1000, kIdleMs + 1, true},
                          {0xFFFFFF00u, kIdleMs, true}}; // across the clock's wrap
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        plat::FakeClock clock(cases[i].endedAtMs);
        plat::ScopedClock scopedClock(clock);
        auto* timer = new plat::ManualOneShotTimer;
        WaveFilePlayer player("PlaySound2", std::unique_ptr<plat::OneShotTimer>(timer), kIdleMs);
        ASSERT_EQ(player.Play(kHandset, tone, false), 0u);
        EXPECT_EQ(timer->Pending(), kIdleMs);
        ASSERT_TRUE(RecordingAudioBackend::WaitFor([&] { return !player.IsPlaying(); }));
        clock.Advance(cases[i].quietMs);
        ASSERT_TRUE(timer->Fire());
        EXPECT_EQ(!player.IsOpen(), cases[i].closed);
        EXPECT_EQ(backend_.Get(i).closed, cases[i].closed) << "its stream and thread end with it";
        EXPECT_EQ(timer->Pending(), cases[i].closed
                                        ? std::nullopt
                                        : std::optional<uint32_t>(kIdleMs - cases[i].quietMs));
    }
}

TEST_F(PlaySound2Test, ALoopOrALongSoundKeepsTheDeviceAndAFailedFileAfterALoopClosesIt) {
    plat::FakeClock clock(5000);
    plat::ScopedClock scopedClock(clock);
    auto* timer = new plat::ManualOneShotTimer;
    WaveFilePlayer player("PlaySound2", std::unique_ptr<plat::OneShotTimer>(timer), 3000);
    // A loop plays until it is replaced or stopped: no timer while it runs.
    ASSERT_EQ(player.Play(kHandset, Tone("ring.wav", 200, 1), true), 0u);
    EXPECT_EQ(timer->Pending(), std::nullopt);
    // A sound of a minute still plays when the timer comes: it waits another idle time.
    ASSERT_EQ(player.Play(kHandset, Tone("long.wav", 480000, 2), false), 0u);
    clock.Advance(60000);
    ASSERT_TRUE(timer->Fire());
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(timer->Pending(), 3000u);
    // A file without a whole frame, or a write the device refuses, stops the loop it replaces
    // and leaves nothing playing: the device closes after the idle time.
    WavSpec crumb;
    crumb.data = {0x42};
    const std::string files[] = {Write("crumb.wav", BuildWav(crumb)), Tone("tone.wav", 160, 5)};
    for (size_t i = 0; i < std::size(files); ++i) {
        SCOPED_TRACE(files[i]);
        ASSERT_EQ(player.Play(kHandset, Tone("ring.wav", 200, 1), true), 0u);
        if (i == 1) {
            backend_.InjectFault(plat::AudioOp::OutWrite, plat::MMSYSERR_NOMEM);
        }
        EXPECT_NE(player.Play(kHandset, files[i], true), 0u);
        EXPECT_FALSE(player.IsPlaying());
        EXPECT_EQ(timer->Pending(), 3000u);
        clock.Advance(3000);
        ASSERT_TRUE(timer->Fire());
        EXPECT_FALSE(player.IsOpen());
        EXPECT_TRUE(backend_.Get(i).closed);
    }
    // The next sound opens the device again.
    ASSERT_EQ(player.Play(kHandset, Tone("tone.wav", 160, 5), false), 0u);
    EXPECT_EQ(backend_.StreamCount(), 3u);
}

TEST(ResolveSoundPathTest, ProgramNamesBecomeFilesBesideTheProgram) {
    audiotest::TempDir dir;
    std::string base = dir.File(".");
    ASSERT_TRUE(plat::MakeDirs(dir.File("sounds")));
    std::ofstream(dir.File("sounds/Ocupado.WAV")) << "x";
    const std::pair<const char*, std::string> cases[] = {
        {"sounds\\Ocupado.WAV", base + "/sounds/Ocupado.WAV"},
        {"sounds\\ocupado.wav", base + "/sounds/Ocupado.WAV"},
        {"sounds/OCUPADO.wav", base + "/sounds/Ocupado.WAV"},
        {"sounds\\missing.wav", base + "/sounds/missing.wav"},
        {"/abs/x.wav", "/abs/x.wav"},
    };
    for (const auto& [given, expected] : cases) {
        EXPECT_EQ(ResolveSoundPath(given, base), expected) << given;
    }
}

} // namespace
