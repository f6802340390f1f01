#include "media/devices/WaveAudioSource.h"

#include <algorithm>
#include <chrono>

#include "media/testing/DeviceTestSupport.h"
#include "platform/audio/MemoryMixer.h"
#include "platform/audio/WaveIn.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"

using namespace tamsor;

using namespace devicetest;
using plat::MemoryMixer;

namespace {

// Frames of 160 samples (20 ms) for the input file.
std::vector<int16_t> Frame(int16_t value) {
    return std::vector<int16_t>(160, value);
}

class WaveAudioSourceTest : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        std::vector<int16_t> input = Tone(160, 8000); // frame 0: speech
        std::vector<int16_t> quiet(160);              // frame 1: digitally quiet
        for (size_t i = 0; i < quiet.size(); ++i) {
            quiet[i] = static_cast<int16_t>(static_cast<int>(i % 9) - 4); // -4..4
        }
        std::vector<int16_t> five = Frame(0); // frame 2: one 5
        five[77] = 5;
        std::vector<int16_t> minusFive = quiet; // frame 3: one -5
        minusFive[159] = -5;
        for (auto* part : {&quiet, &five, &minusFive}) {
            input.insert(input.end(), part->begin(), part->end());
        }
        inputBytes = Bytes(input);
        ASSERT_TRUE(WriteWav(File("mic.wav"), inputBytes));
        backend = std::make_unique<plat::FileAudioBackend>(File("mic.wav"), "", 50.0);
        scoped = std::make_unique<plat::ScopedAudioBackend>(*backend);
        WaveAudioSource::ResetBytesCaptured();
    }
    void TearDown() override {
        scoped.reset();
        DeviceFixture::TearDown();
    }
    // Starts capture into a collecting sink, waits for `count` samples and stops.
    std::vector<CollectingSink::Frame> Capture(WaveAudioSource& source, size_t count) {
        CollectingSink sink;
        Connect(&source, &sink);
        EXPECT_EQ(source.StartSourceThread(), 0);
        EXPECT_TRUE(Eventually([&] { return sink.Count() >= count; }));
        EXPECT_EQ(source.StopSourceThread(), 0);
        Disconnect(&source, &sink);
        std::vector<CollectingSink::Frame> frames = sink.Frames();
        if (frames.size() > count) {
            frames.resize(count);
        }
        return frames;
    }
    std::shared_ptr<MemoryMixer> UseMixer() {
        auto mixer = std::make_shared<MemoryMixer>();
        backend->SetMixer(mixer);
        return mixer;
    }

    std::vector<uint8_t> inputBytes;
    std::unique_ptr<plat::FileAudioBackend> backend;
    std::unique_ptr<plat::ScopedAudioBackend> scoped;
};

TEST_F(WaveAudioSourceTest, QuietFramesLeaveAsSilenceAndTheRestAsAudio) {
    WaveAudioSource source;
    source.SetVolume(50);
    auto frames = Capture(source, 5);
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].data, std::vector<uint8_t>(inputBytes.begin(), inputBytes.begin() + 320));
    EXPECT_TRUE(frames[1].data.empty());
    EXPECT_EQ(frames[1].silenceMs, 20);
    EXPECT_EQ(frames[2].data,
              std::vector<uint8_t>(inputBytes.begin() + 640, inputBytes.begin() + 960));
    EXPECT_EQ(frames[3].data, std::vector<uint8_t>(inputBytes.begin() + 960, inputBytes.end()));
    EXPECT_TRUE(frames[4].data.empty()) << "after the file, zeros: silence";
    EXPECT_GE(log.Count("WaveAudioSource::GenerateData: !canEncode"), 2);
    EXPECT_GE(WaveAudioSource::GetBytesCaptured(), 5u * 320);
}

TEST_F(WaveAudioSourceTest, LevelZeroSendsSilenceWhateverWasRecorded) {
    WaveAudioSource source;
    auto frames = Capture(source, 4);
    ASSERT_EQ(frames.size(), 4u);
    for (auto& frame : frames) {
        EXPECT_TRUE(frame.data.empty());
        EXPECT_EQ(frame.silenceMs, 20);
    }
}

TEST_F(WaveAudioSourceTest, BufferSizeIsBoundedAndTakesEffectAtTheNextStart) {
    WaveAudioSource source;
    source.SetBufferSize(5000);
    EXPECT_EQ(source.GetBufferSize(), 3200u);
    source.SetBufferSize(0);
    EXPECT_EQ(source.GetBufferSize(), 2u) << "at least one block";
    source.SetBufferSize(321);
    EXPECT_EQ(source.GetBufferSize(), 320u) << "whole blocks";
    source.SetVolume(100);
    CollectingSink sink;
    Connect(&source, &sink);
    ASSERT_EQ(source.StartSourceThread(), 0);
    source.SetBufferSize(640); // running: ignored
    EXPECT_EQ(source.GetBufferSize(), 320u);
    ASSERT_TRUE(Eventually([&] { return sink.Count() >= 1; }));
    ASSERT_EQ(source.StopSourceThread(), 0);
    EXPECT_EQ(sink.Frames()[0].data.size(), 320u);
    source.SetBufferSize(640);
    size_t before = sink.Count();
    ASSERT_EQ(source.StartSourceThread(), 0);
    ASSERT_TRUE(Eventually([&] { return sink.Count() >= before + 1; }));
    ASSERT_EQ(source.StopSourceThread(), 0);
    Disconnect(&source, &sink);
    EXPECT_EQ(sink.Frames()[before].data.size(), 640u) << "40 ms per buffer";
}

TEST_F(WaveAudioSourceTest, PushModeHandlersRefuseTwiceAndWhenStopped) {
    WaveAudioSource source;
    EXPECT_EQ(source.SourceStopped(), -10);
    ASSERT_EQ(source.SourceStarted(), 0);
    EXPECT_EQ(source.SourceStarted(), -10);
    EXPECT_EQ(source.SourceStopped(), 0);
    EXPECT_EQ(source.SourceStopped(), -10);
}

TEST_F(WaveAudioSourceTest, AFailedStartClosesTheDevice) {
    WaveAudioSource source;
    backend->InjectFault(plat::AudioOp::InStart, plat::MMSYSERR_ERROR);
    EXPECT_EQ(source.SourceStarted(), -20);
    EXPECT_FALSE(source.IsRunning());
    EXPECT_EQ(log.CountPrefix("WaveAudioSource::BeginAudioCapture: !waveInStart"), 1);
    plat::WaveIn probe; // the file device takes one open at a time
    EXPECT_EQ(probe.Open(0, plat::WaveDeviceFormat{}), plat::MMSYSERR_NOERROR);
    probe.Close();
}

TEST_F(WaveAudioSourceTest, OpenIsRetriedOnceAfterOneSecondThenTheStartFails) {
    plat::FakeClock clock;
    plat::ScopedClock fake(clock);
    WaveAudioSource source;
    backend->InjectFault(plat::AudioOp::InOpen, plat::MMSYSERR_ALLOCATED, 2);
    EXPECT_EQ(source.StartSourceThread(), -30);
    EXPECT_EQ(log.Count("WaveAudioSource::BeginAudioCapture: !waveInOpen, mr =4(time)"), 1);
    EXPECT_EQ(log.Count("WaveAudioSource::SourceThreadStarted (2), returnCode=-10(time)"), 1);
    auto sleeps = clock.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 1000u), 1);
    source.StopSourceThread();
    backend->InjectFault(plat::AudioOp::InOpen, plat::MMSYSERR_ALLOCATED, 1);
    EXPECT_EQ(source.SourceStarted(), 0) << "the second try succeeds";
    EXPECT_EQ(source.SourceStopped(), 0);
}

TEST_F(WaveAudioSourceTest, AStopReturnsAtOnceWhenTheDeviceStopsDelivering) {
    WaveAudioSource source;
    CollectingSink sink;
    Connect(&source, &sink);
    backend->InjectFault(plat::AudioOp::InDeviceIo, plat::MMSYSERR_ERROR);
    ASSERT_EQ(source.StartSourceThread(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(source.StopSourceThread(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(source.IsSourceThreadRunning());
    EXPECT_FALSE(source.IsRunning());
    Disconnect(&source, &sink);
    EXPECT_EQ(sink.Count(), 0u);
}

// The mixer walk, on mixers shaped by the test (never the machine's own).
TEST_F(WaveAudioSourceTest, ALevelSetWhileStoppedReachesTheMixerAtTheNextStart) {
    auto mixer = UseMixer();
    uint32_t destination = mixer->AddDestination(plat::MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Rec");
    uint32_t mic =
        mixer->AddSource(destination, plat::MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic");
    mixer->AddControl(mic, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, 1000);
    mixer->AddControl(mic, plat::MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    WaveAudioSource source;
    source.SetVolume(50);
    EXPECT_TRUE(mixer->Writes().empty());
    ASSERT_EQ(source.SourceStarted(), 0);
    uint32_t value = 0;
    ASSERT_TRUE(mixer->ValueOf(mic, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, &value));
    EXPECT_EQ(value, 32767u);
    ASSERT_TRUE(mixer->ValueOf(mic, plat::MIXERCONTROL_CONTROLTYPE_MUTE, &value));
    EXPECT_EQ(value, 0u);
    source.SetVolume(0); // running: at once, and muted
    ASSERT_TRUE(mixer->ValueOf(mic, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(mixer->ValueOf(mic, plat::MIXERCONTROL_CONTROLTYPE_MUTE, &value));
    EXPECT_EQ(value, 1u);
    source.SetVolume(250); // a level above 100 % is full scale, not an overflow
    ASSERT_TRUE(mixer->ValueOf(mic, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, &value));
    EXPECT_EQ(value, 65535u);
    EXPECT_EQ(source.GetMicrophoneLevel(), 250u);
    ASSERT_EQ(source.SourceStopped(), 0);
    size_t writes = mixer->Writes().size();
    ASSERT_EQ(source.SourceStarted(), 0);
    EXPECT_EQ(mixer->Writes().size(), writes) << "nothing pending: the next start writes nothing";
    ASSERT_EQ(source.SourceStopped(), 0);
}

TEST_F(WaveAudioSourceTest, ALineInOnlyMixerGetsTheLevelOnTheWaveInLine) {
    auto mixer = UseMixer();
    uint32_t destination = mixer->AddDestination(plat::MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Rec");
    uint32_t line = mixer->AddSource(destination, plat::MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line");
    mixer->AddControl(line, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, 7);
    mixer->AddControl(destination, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, 0);
    mixer->AddControl(destination, plat::MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    WaveAudioSource source;
    ASSERT_EQ(source.SourceStarted(), 0);
    source.SetVolume(1);
    uint32_t value = 0;
    ASSERT_TRUE(mixer->ValueOf(destination, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, &value));
    EXPECT_EQ(value, 655u);
    ASSERT_TRUE(mixer->ValueOf(destination, plat::MIXERCONTROL_CONTROLTYPE_MUTE, &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(mixer->ValueOf(line, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, &value));
    EXPECT_EQ(value, 7u) << "the line input is left alone";
    ASSERT_EQ(source.SourceStopped(), 0);
}

TEST_F(WaveAudioSourceTest, MixerWalkStopsQuietlyOnFailuresAndStillRemembersTheLevel) {
    auto mixer = UseMixer();
    uint32_t destination = mixer->AddDestination(plat::MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Rec");
    uint32_t undefined =
        mixer->AddSource(destination, plat::MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED, "Aux");
    uint32_t mic =
        mixer->AddSource(destination, plat::MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic");
    mixer->AddControl(undefined, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, 0); // no mute: go on
    mixer->AddControl(mic, plat::MIXERCONTROL_CONTROLTYPE_VOLUME, 0);       // no mute: finish
    WaveAudioSource source;
    ASSERT_EQ(source.SourceStarted(), 0);
    source.SetVolume(100);
    auto writes = mixer->Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].lineId, undefined);
    EXPECT_EQ(writes[1].lineId, mic);
    EXPECT_EQ(writes[1].value, 65535u);

    mixer->InjectFailure(MemoryMixer::Op::GetDestination, plat::MMSYSERR_ERROR, -1);
    source.SetVolume(30);
    EXPECT_EQ(mixer->Writes().size(), 2u);
    EXPECT_EQ(source.GetMicrophoneLevel(), 30u);
    mixer->InjectFailure(MemoryMixer::Op::GetDestination, 0, 0);
    backend->InjectFault(plat::AudioOp::MixerOpen, plat::MMSYSERR_NOMEM);
    source.SetVolume(40);
    EXPECT_EQ(source.GetMicrophoneLevel(), 40u);
    EXPECT_EQ(mixer->Writes().size(), 2u);
    ASSERT_EQ(source.SourceStopped(), 0);
}

TEST_F(WaveAudioSourceTest, TwoHundredStartStopCyclesWithVolumeChanges) {
    plat::FakeClock clock;
    plat::ScopedClock fake(clock);
    WaveAudioSource source;
    CollectingSink sink;
    Connect(&source, &sink);
    std::atomic<bool> done{false};
    std::thread volume([&] {
        unsigned v = 0;
        while (!done) {
            source.SetVolume(v++ % 101);
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(source.StartSourceThread(), 0) << i;
        ASSERT_EQ(source.StopSourceThread(), 0) << i;
        ASSERT_FALSE(source.IsRunning()) << i;
    }
    done = true;
    volume.join();
    Disconnect(&source, &sink);
}

} // namespace
