#include <gtest/gtest.h>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/StreamPacer.h"
#include "platform/audio/WaveIn.h"
#include "platform/audio/WaveOut.h"
#include "platform/audio/alsa/AlsaAudioBackend.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"

using namespace plat;

namespace {

TEST(AudioBackendSetting, NamesTheBackendsAndRefusesBadTexts) {
    std::string error;
    auto null = MakeAudioBackend("null", &error);
    ASSERT_TRUE(null);
    EXPECT_STREQ(null->Name(), "null");
    auto alsa = MakeAudioBackend("alsa", &error);
    ASSERT_TRUE(alsa);
    EXPECT_STREQ(alsa->Name(), "alsa");
    auto file = MakeAudioBackend("file:in=/tmp/a.wav,out=/tmp/b.wav,speed=4", &error);
    ASSERT_TRUE(file);
    EXPECT_STREQ(file->Name(), "file");
    EXPECT_EQ(file->InputDeviceNames().size(), 1u);
    EXPECT_EQ(file->OutputDeviceNames().size(), 1u);

    for (const char* bad : {"pulse", "file:in", "file:in=a,speed=0", "file:speed=x",
                            "file:volume=3", "null:in=a.wav", "alsa:out=b"}) {
        error.clear();
        EXPECT_FALSE(MakeAudioBackend(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(StreamPacer, SleepsUntilTheBytesAreDueAndResynchronisesWhenLate) {
    FakeClock clock(1000);
    ScopedClock scoped(clock);
    StreamPacer pacer(16000, 1.0);
    EXPECT_EQ(pacer.Pace(160), 1000u); // plays from now
    EXPECT_EQ(clock.NowMs(), 1010u);   // and takes 10 ms
    EXPECT_EQ(pacer.Pace(320), 1010u);
    EXPECT_EQ(clock.NowMs(), 1030u);
    clock.Advance(500); // the writer stalled: a new timeline, no catching up
    EXPECT_EQ(pacer.Pace(160), 1530u);
    EXPECT_EQ(clock.NowMs(), 1540u);

    StreamPacer fast(16000, 4.0);
    uint32_t before = clock.NowMs();
    fast.Pace(640); // 40 ms of audio at four times the speed
    EXPECT_EQ(clock.NowMs() - before, 10u);
}

// There is no sound card on the build machines: the ALSA backend must fail cleanly there, and
// the test that needs a card is skipped.
TEST(AlsaBackend, FailsCleanlyWithoutACard) {
    AlsaAudioBackend alsa;
    if (!AlsaAudioBackend::Enumerate(false).empty()) {
        GTEST_SKIP() << "a sound card is present";
    }
    ScopedAudioBackend scoped(alsa);
    EXPECT_EQ(WaveOut::GetNumDevs(), 0u);
    WaveOut out;
    EXPECT_EQ(out.Open(0, audiotest::Pcm8k()), MMSYSERR_BADDEVICEID);
    MMRESULT result = out.Open(WAVE_MAPPER, audiotest::Pcm8k());
    if (result == MMSYSERR_NOERROR) {
        GTEST_SKIP() << "the default device opens (a sound server is running)";
    }
    EXPECT_FALSE(out.IsOpen());
    WaveIn in;
    EXPECT_NE(in.Open(WAVE_MAPPER, audiotest::Pcm8k()), MMSYSERR_NOERROR);
    EXPECT_FALSE(in.IsOpen());
}

TEST(AlsaBackend, PlaysAndRecordsOnARealCard) {
    if (AlsaAudioBackend::Enumerate(false).empty() || AlsaAudioBackend::Enumerate(true).empty()) {
        GTEST_SKIP() << "no sound card";
    }
    AlsaAudioBackend alsa;
    ScopedAudioBackend scoped(alsa);
    audiotest::CallbackLog log;
    WaveOut out;
    ASSERT_EQ(out.Open(
                  0, audiotest::Pcm8k(),
                  [](WaveOut*, uint32_t m, void* i, WaveHeader* h) {
                      static_cast<audiotest::CallbackLog*>(i)->Add(m, h);
                  },
                  &log),
              MMSYSERR_NOERROR);
    std::vector<char> silence(1600);
    WaveHeader header;
    header.lpData = silence.data();
    header.dwBufferLength = 1600;
    ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
    ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
    EXPECT_TRUE(log.WaitFor(WOM_DONE, 1));
    EXPECT_EQ(out.Close(), MMSYSERR_NOERROR);
}

} // namespace
