#include "media/devices/WaveAudioSink.h"

#include <chrono>

#include "media/devices/WaveAudioSource.h"
#include "media/testing/DeviceTestSupport.h"
#include "platform/audio/WaveOut.h"
#include "platform/audio/alsa/AlsaAudioBackend.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"

using namespace tamsor;

using namespace devicetest;

namespace {

class WaveAudioSinkTest : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        backend = std::make_unique<plat::FileAudioBackend>("", File("speaker.wav"), 50.0);
        scoped = std::make_unique<plat::ScopedAudioBackend>(*backend);
        WaveAudioSink::ResetBytesPlayed();
    }
    void TearDown() override {
        scoped.reset();
        DeviceFixture::TearDown();
    }
    // Pushes one sample (data, or silence of silenceMs when data is empty).
    void Push(WaveAudioSink& sink, const std::vector<uint8_t>& data, int silenceMs = 0) {
        AudioSample* sample = nullptr;
        ASSERT_EQ(AudioSampleManager::GetInstance()->GetAudioSample(&sample, &sink), 0);
        sample->SetFormat(MakeWaveFormat(FORMAT_PCM16));
        if (!data.empty()) {
            std::memcpy(sample->GetData(), data.data(), data.size());
        }
        sample->SetDataSize(static_cast<int>(data.size()));
        if (data.empty()) {
            sample->SetSilenceMs(silenceMs);
        }
        sink.TakeNextAudioSample(sample, nullptr);
        sample->Release(&sink);
    }

    std::unique_ptr<plat::FileAudioBackend> backend;
    std::unique_ptr<plat::ScopedAudioBackend> scoped;
};

TEST_F(WaveAudioSinkTest, AToneThroughTheSinkThreadComesOutBitExact) {
    const size_t frames = 30;
    std::vector<int16_t> tone = Tone(160 * frames);
    std::vector<std::vector<uint8_t>> chunks;
    for (size_t i = 0; i < frames; ++i) {
        std::vector<int16_t> part(tone.begin() + 160 * i, tone.begin() + 160 * (i + 1));
        chunks.push_back(Bytes(part));
    }
    FrameSource source(chunks);
    WaveAudioSink sink;
    sink.SetNumFrames(6);
    ASSERT_EQ(Connect(&source, &sink), 0);
    ASSERT_EQ(sink.StartSinkThread(), 0);
    EXPECT_TRUE(sink.IsOpen());
    ASSERT_TRUE(Eventually([&] { return WaveAudioSink::GetBytesPlayed() == 320 * frames; }));
    // Stopping lets the queued buffers play out before the device is reset.
    ASSERT_EQ(sink.StopSinkThread(), 0);
    EXPECT_FALSE(sink.IsOpen());
    Disconnect(&source, &sink);
    EXPECT_EQ(ReadWav(File("speaker.wav")), Bytes(tone));
    EXPECT_GE(log.Count("WaveAudioSink::RenderAudioSamples: !sample"), 1)
        << "the source ran dry after the tone";
}

TEST_F(WaveAudioSinkTest, FramesAreCutToTheFrameSizeAndSilenceIsWrittenAsZeros) {
    WaveAudioSink sink;
    sink.SetFrameSize(320);
    sink.SetNumFrames(4);
    ASSERT_EQ(sink.StartSink(), 0);
    EXPECT_EQ(sink.SinkStarted(), -10) << "already open";
    std::vector<uint8_t> loud = Bytes(Tone(320, 9000)); // 640 bytes: only 320 are played
    Push(sink, loud);
    Push(sink, {}, 20);
    Push(sink, {}, 40); // 40 ms of silence: still one frame of 320 bytes
    ASSERT_EQ(sink.StopSink(), 0);
    EXPECT_EQ(sink.SinkStopped(), -10) << "not open";
    std::vector<uint8_t> written = ReadWav(File("speaker.wav"));
    ASSERT_EQ(written.size(), 960u);
    EXPECT_TRUE(std::equal(loud.begin(), loud.begin() + 320, written.begin()));
    EXPECT_TRUE(
        std::all_of(written.begin() + 320, written.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(WaveAudioSink::GetBytesPlayed(), 960u);
}

TEST_F(WaveAudioSinkTest, VolumeIsAppliedOnlyWhileOpen) {
    std::atomic<size_t> played{0};
    backend->SetPlayObserver([&](uint64_t, size_t bytes, uint32_t) { played += bytes; });
    WaveAudioSink sink;
    sink.SetVolume(10); // closed: no effect, not remembered
    ASSERT_EQ(sink.StartSink(), 0);
    std::vector<int16_t> level(160, 10000);
    // The device applies the volume as it plays, so each frame is played before the next
    // volume is set.
    Push(sink, Bytes(level));
    ASSERT_TRUE(Eventually([&] { return played == 320; }));
    sink.SetVolume(50); // 0x7FFF7FFF
    Push(sink, Bytes(level));
    ASSERT_TRUE(Eventually([&] { return played == 640; }));
    sink.SetVolume(150); // full scale
    Push(sink, Bytes(level));
    ASSERT_EQ(sink.StopSink(), 0);
    backend->SetPlayObserver(nullptr);
    std::vector<uint8_t> written = ReadWav(File("speaker.wav"));
    ASSERT_EQ(written.size(), 960u);
    int16_t first, second, third;
    std::memcpy(&first, written.data(), 2);
    std::memcpy(&second, written.data() + 320, 2);
    std::memcpy(&third, written.data() + 640, 2);
    EXPECT_EQ(first, 10000);
    EXPECT_EQ(second, 10000 * 32767 / 65535);
    EXPECT_EQ(third, 10000);
}

TEST_F(WaveAudioSinkTest, AStopAfterFailedWritesDoesNotWaitForThem) {
    WaveAudioSink sink;
    sink.SetNumFrames(6);
    ASSERT_EQ(sink.StartSink(), 0);
    backend->InjectFault(plat::AudioOp::OutWrite, plat::MMSYSERR_ERROR, -1);
    std::vector<uint8_t> frame = Bytes(Tone(160));
    for (int i = 0; i < 6; ++i) {
        Push(sink, frame);
    }
    EXPECT_EQ(log.Count("WaveAudioSink::RenderAudioSamples: !waveOutWrite, mmr=1(time)"), 6);
    EXPECT_EQ(log.Count("WaveAudioSink::RenderAudioSamples: !waveOutWrite"), 6);
    EXPECT_EQ(WaveAudioSink::GetBytesPlayed(), 0u);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(sink.StopSink(), 0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    // The drain budget is 100 waits of 50 ms; none of them may be spent on these headers.
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
    backend->ClearFaults();
}

TEST_F(WaveAudioSinkTest, AFailedStartClosesTheDevice) {
    WaveAudioSink sink;
    sink.SetNumFrames(2);
    backend->InjectFault(plat::AudioOp::OutPrepare, plat::MMSYSERR_INVALPARAM, -1);
    EXPECT_EQ(sink.StartSinkThread(), -40);
    EXPECT_FALSE(sink.IsOpen());
    EXPECT_EQ(log.Count("WaveAudioSink::BeginAudioRender: !waveOutPrepareHeader, result=11(time)"),
              2);
    backend->ClearFaults();
    // The output device is free again: the file device takes one open at a time.
    plat::WaveOut probe;
    EXPECT_EQ(probe.Open(0, plat::WaveDeviceFormat{}), plat::MMSYSERR_NOERROR);
    probe.Close();
    sink.StopSinkThread();
}

TEST_F(WaveAudioSinkTest, OnlyTheLastHeadersFailureFailsTheStart) {
    WaveAudioSink sink;
    sink.SetNumFrames(3);
    backend->InjectFault(plat::AudioOp::OutPrepare, plat::MMSYSERR_NOMEM, 1);
    ASSERT_EQ(sink.StartSink(), 0) << "the first header failed, the last one did not";
    EXPECT_EQ(log.Count("WaveAudioSink::BeginAudioRender: !waveOutPrepareHeader, result=7(time)"),
              1);
    ASSERT_EQ(sink.StopSink(), 0);
}

TEST_F(WaveAudioSinkTest, OpenIsRetriedOnceAfterOneSecond) {
    plat::FakeClock clock;
    plat::ScopedClock fake(clock);
    WaveAudioSink sink;
    backend->InjectFault(plat::AudioOp::OutOpen, plat::MMSYSERR_ALLOCATED, 1);
    ASSERT_EQ(sink.StartSink(), 0);
    EXPECT_EQ(log.Count("WaveAudioSink::BeginAudioRender: !waveOutOpen (1), mr=4(time)"), 1);
    auto sleeps = clock.Sleeps();
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 1000u), sleeps.end());
    ASSERT_EQ(sink.StopSink(), 0);

    backend->InjectFault(plat::AudioOp::OutOpen, plat::MMSYSERR_ALLOCATED, 2);
    EXPECT_EQ(sink.StartSinkThread(), -40);
    EXPECT_EQ(log.Count("WaveAudioSink::BeginAudioRender: !waveOutOpen (2), mr=4(time)"), 1);
    sink.StopSinkThread();
    EXPECT_EQ(sink.StartSink(), 0) << "a failed start leaves nothing behind";
    ASSERT_EQ(sink.StopSink(), 0);
}

TEST_F(WaveAudioSinkTest, AResetThatKeepsFailingLeavesTheDeviceOpenAfterFortyTries) {
    plat::FakeClock clock;
    plat::ScopedClock fake(clock);
    WaveAudioSink sink;
    ASSERT_EQ(sink.StartSink(), 0);
    backend->InjectFault(plat::AudioOp::OutReset, plat::MMSYSERR_ERROR, -1);
    EXPECT_EQ(sink.StopSink(), -20);
    EXPECT_TRUE(sink.IsOpen());
    auto sleeps = clock.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 50u), 40);
    backend->ClearFaults();
    EXPECT_EQ(sink.StopSink(), 0);
    EXPECT_FALSE(sink.IsOpen());
}

TEST_F(WaveAudioSinkTest, ACloseThatKeepsFailingDropsTheHandle) {
    plat::FakeClock clock;
    plat::ScopedClock fake(clock);
    WaveAudioSink sink;
    ASSERT_EQ(sink.StartSink(), 0);
    backend->InjectFault(plat::AudioOp::OutClose, plat::MMSYSERR_ERROR, 40);
    EXPECT_EQ(sink.EndAudioRender(), -30);
    backend->ClearFaults();
    // The device was released behind the dropped handle, so it opens again.
    EXPECT_EQ(sink.BeginAudioRender(), 0);
    EXPECT_EQ(sink.EndAudioRender(), 0);
}

TEST_F(WaveAudioSinkTest, NoBuffersMeansRenderingWaitsUntilStopped) {
    FrameSource source({Bytes(Tone(160))});
    WaveAudioSink sink;
    sink.SetNumFrames(0);
    Connect(&source, &sink);
    ASSERT_EQ(sink.StartSinkThread(), 0);
    ASSERT_TRUE(Eventually([&] { return source.Given() == 1; }));
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(sink.StopSinkThread(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900))
        << "the stop wakes the wait for a buffer";
    Disconnect(&source, &sink);
    EXPECT_EQ(WaveAudioSink::GetBytesPlayed(), 0u);
}

TEST_F(WaveAudioSinkTest, TwoHundredStartStopCycles) {
    plat::FakeClock clock;
    plat::ScopedClock fake(clock);
    std::vector<std::vector<uint8_t>> frames(4000, Bytes(Tone(160)));
    FrameSource source(frames);
    WaveAudioSink sink;
    sink.SetNumFrames(6);
    Connect(&source, &sink);
    std::atomic<bool> done{false};
    std::thread volume([&] {
        unsigned v = 0;
        while (!done) {
            sink.SetVolume(v++ % 101);
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(sink.StartSinkThread(), 0) << i;
        ASSERT_EQ(sink.StopSinkThread(), 0) << i;
        ASSERT_FALSE(sink.IsOpen()) << i;
    }
    done = true;
    volume.join();
    Disconnect(&source, &sink);
}

} // namespace

namespace {

TEST_F(WaveAudioSinkTest, WithoutASoundCardAlsaFailsCleanlyAfterTheTracedRetry) {
    if (!plat::AlsaAudioBackend::Enumerate(false).empty()) {
        GTEST_SKIP() << "a sound card is present";
    }
    plat::AlsaAudioBackend alsa;
    plat::ScopedAudioBackend useAlsa(alsa);
    plat::WaveOut probe;
    if (probe.Open(plat::WAVE_MAPPER, plat::WaveDeviceFormat{}) == plat::MMSYSERR_NOERROR) {
        probe.Close();
        GTEST_SKIP() << "the default device opens (a sound server is running)";
    }
    plat::FakeClock clock;
    plat::ScopedClock fake(clock);
    WaveAudioSink speaker;
    EXPECT_EQ(speaker.StartSinkThread(), -40);
    EXPECT_EQ(log.CountPrefix("WaveAudioSink::BeginAudioRender: !waveOutOpen (1), mr="), 1);
    EXPECT_EQ(log.CountPrefix("WaveAudioSink::BeginAudioRender: !waveOutOpen (2), mr="), 1);
    speaker.StopSinkThread();
    WaveAudioSource microphone;
    EXPECT_EQ(microphone.StartSourceThread(), -30);
    EXPECT_EQ(log.CountPrefix("WaveAudioSource::BeginAudioCapture: !waveInOpen, mr ="), 1);
    microphone.StopSourceThread();
    auto sleeps = clock.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 1000u), 2);
}

} // namespace
