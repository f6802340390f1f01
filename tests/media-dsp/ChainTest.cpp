#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "media/dsp/FIRTables.h"
#include "media/dsp/FIRTransformer.h"
#include "media/dsp/Limiter.h"
#include "media/dsp/PCMMixer.h"
#include "media/dsp/PCMVolumeMaximizer.h"
#include "media/dsp/PCMVolumeTransformer.h"
#include "media/dsp/VAD.h"
#include "media/graph/FixedSizeAudioBuffer.h"
#include "media/testing/GraphTestSupport.h"

using namespace tamsor;

namespace {

using Chain = GraphFixture;

// The receive side's shape: a sink thread pulls 20 ms frames through the limiter, the
// maximiser and the fixed-size buffer from a source of 30 ms samples.
TEST_F(Chain, PullChainEndToEnd) {
    FakeSource source(240, 1000);
    source.pace = false;
    FixedSizeAudioBuffer buffer;
    PCMVolumeMaximizer maximizer;
    Limiter limiter(-8.0, 0.075, -0.00075);
    FakeSink speaker;
    speaker.pace = true;
    Connect(&source, &buffer);
    Connect(&buffer, &maximizer);
    Connect(&maximizer, &limiter);
    Connect(&limiter, &speaker);
    maximizer.SetPercentile(95.0);
    maximizer.SetMaximumAmplification(800);
    for (AudioTransformer* t :
         std::initializer_list<AudioTransformer*>{&buffer, &maximizer, &limiter}) {
        ASSERT_EQ(0, t->StartTransform());
    }
    ASSERT_EQ(0, speaker.StartSinkThread());
    ASSERT_TRUE(WaitFor([&] { return speaker.renders >= 30; }));
    // Warm: the pool makes no new samples from here on.
    const int created = Pool()->GetCreatedCount();
    ASSERT_TRUE(WaitFor([&] { return speaker.renders >= 90; }));
    EXPECT_EQ(created, Pool()->GetCreatedCount());
    EXPECT_EQ(0, speaker.StopSinkThread());
    for (AudioTransformer* t :
         std::initializer_list<AudioTransformer*>{&buffer, &maximizer, &limiter}) {
        EXPECT_EQ(0, t->StopTransform());
    }

    auto sets = speaker.Sets();
    ASSERT_GE(sets.size(), 90u);
    for (auto& set : sets) {
        ASSERT_EQ(1u, set.size());
        EXPECT_EQ(320, set[0].size);
        EXPECT_EQ(&limiter, set[0].origin);
        // 1000 lies in bin 7: gain 32 capped to 8; 8000 is below the limiter's threshold.
        EXPECT_EQ(8000, set[0].second);
    }
    // Two 20 ms frames for every three 30 ms samples.
    EXPECT_NEAR(sets.size() * 2 / 3.0, source.calls.load(), 2);
    ExpectPoolBalanced();
}

// The transmit side's shape: a source thread pushes frames through the filter, the detector,
// the mixer (which pulls a second stream) and the volume stage into a push-driven sink.
TEST_F(Chain, PushChainEndToEnd) {
    FakeSource microphone(160, 0);
    FakeSource file(160, 100);
    file.pace = false;
    FIRTransformer fir;
    VAD vad;
    PCMMixer mixer;
    PCMVolumeTransformer volume;
    FakeSink sender;
    Connect(&microphone, &fir);
    Connect(&fir, &vad);
    Connect(&vad, &mixer);
    Connect(&file, &mixer);
    Connect(&mixer, &volume);
    Connect(&volume, &sender);
    fir.SetCoefficients(kFIRTableA, 29, 16);
    volume.SetVolume(100);
    VadSharedState().previousSample = 0;
    for (AudioTransformer* t :
         std::initializer_list<AudioTransformer*>{&fir, &vad, &mixer, &volume}) {
        ASSERT_EQ(0, t->StartTransform());
    }
    ASSERT_EQ(0, sender.StartSink());
    ASSERT_EQ(0, microphone.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return sender.renders >= 50; }));
    EXPECT_EQ(0, microphone.StopSourceThread());
    EXPECT_EQ(0, sender.StopSink());

    auto sets = sender.Sets();
    bool sawSilentMicrophone = false;
    for (auto& set : sets) {
        ASSERT_EQ(1u, set.size());
        EXPECT_EQ(&volume, set[0].origin);
        EXPECT_EQ(320, set[0].size); // the file's data keeps every mix full length
        // Once the detector calls the quiet microphone silent, only the file is heard.
        if (set[0].second == 100) {
            sawSilentMicrophone = true;
        }
    }
    EXPECT_TRUE(sawSilentMicrophone);
    EXPECT_EQ(sender.renders.load(), file.calls.load());
    ExpectPoolBalanced();
}

// Counts the threads that pulled from a ThreadMarkingSource and have since ended: the
// thread_local marker is destroyed when the pulling thread's function has returned.
std::atomic<int> g_pullingThreadsEnded{0};
struct PullingThreadEndMarker {
    ~PullingThreadEndMarker() { ++g_pullingThreadsEnded; }
};

class ThreadMarkingSource : public FakeSource {
public:
    int GenerateData(AudioSample** out) override {
        thread_local PullingThreadEndMarker marker;
        (void)marker;
        return FakeSource::GenerateData(out);
    }
};

// A node deleted while its thread runs stops and joins it first.
TEST_F(Chain, DestroyingARunningNodeStopsItsThread) {
    g_pullingThreadsEnded = 0;
    ThreadMarkingSource source;
    FakeSink sink;
    auto mixer = std::make_unique<PCMMixer>();
    Connect(&source, mixer.get());
    Connect(mixer.get(), &sink);
    ASSERT_EQ(0, mixer->StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= 3; }));
    Disconnect(&source, mixer.get());
    Disconnect(mixer.get(), &sink);
    EXPECT_EQ(0, g_pullingThreadsEnded.load()); // the mixer's thread still runs
    mixer.reset();
    EXPECT_EQ(1, g_pullingThreadsEnded.load()); // ended and joined before the delete returned
    ExpectPoolBalanced();
}

} // namespace
