#include <gtest/gtest.h>

#include "media/testing/GraphTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"

using namespace tamsor;

namespace {

using Graph = GraphFixture;

TEST_F(Graph, ConnectingTwiceKeepsOneLinkAndDisconnectingAStrangerChangesNothing) {
    FakeSource a;
    FakeSource stranger;
    FakeSink sink;
    EXPECT_EQ(0, Connect(&a, &sink));
    EXPECT_EQ(0, Connect(&a, &sink));
    EXPECT_EQ(0, Disconnect(&stranger, &sink));

    sink.TakeNextAudioSample(nullptr, nullptr);
    EXPECT_EQ(1, a.calls.load()); // asked once: one entry in the sink's list
    ASSERT_EQ(1u, sink.Sets().size());
    ASSERT_EQ(1u, sink.Sets()[0].size());
    EXPECT_EQ(&a, sink.Sets()[0][0].origin);

    EXPECT_EQ(0, Disconnect(&a, &sink));
    sink.TakeNextAudioSample(nullptr, nullptr);
    EXPECT_EQ(1, a.calls.load());
    EXPECT_TRUE(sink.Sets()[1].empty()); // no sources: an empty set is rendered
    ExpectPoolBalanced();
}

TEST_F(Graph, PushRendersThePushedSampleFirstThenOnePulledFromEachOtherSource) {
    FakeSource a;
    FakeSource b;
    FakeSink sink;
    Connect(&a, &sink);
    Connect(&b, &sink);
    b.mark = 500;
    AudioSample* pushed = PcmFill(160, 7);
    WritePCM16(pushed->GetData(), 99);

    a.SendAudioSample(pushed, &sink);
    EXPECT_EQ(0, a.calls.load()); // the pushing source is not asked
    EXPECT_EQ(1, b.calls.load());
    ASSERT_EQ(1u, sink.Sets().size());
    auto set = sink.Sets()[0];
    ASSERT_EQ(2u, set.size());
    EXPECT_EQ(pushed, set[0].sample);
    EXPECT_EQ(&a, set[0].origin);
    EXPECT_EQ(&b, set[1].origin);
    EXPECT_EQ(500, set[1].first);
    EXPECT_EQ(1, pushed->GetRefCount()); // the sink's own reference was given back
    pushed->Release(nullptr);

    // A pushed null with the other source failing renders an empty set.
    b.result = -5;
    EXPECT_EQ(0, a.SendAudioSample(nullptr, &sink));
    EXPECT_TRUE(sink.Sets()[1].empty());
    ExpectPoolBalanced();
}

TEST_F(Graph, APulledSampleAlsoReachesTheSourcesOtherSinks) {
    FakeSource source;
    FakeSink first;
    FakeSink second;
    Connect(&source, &first);
    Connect(&source, &second);

    first.TakeNextAudioSample(nullptr, nullptr);
    ASSERT_EQ(1u, first.Sets().size());
    ASSERT_EQ(1u, second.Sets().size());
    ASSERT_EQ(1u, second.Sets()[0].size());
    EXPECT_EQ(first.Sets()[0][0].sample, second.Sets()[0][0].sample); // one shared sample
    EXPECT_EQ(&source, second.Sets()[0][0].origin);

    // Nothing to give: the other sink still hears of it, as a null.
    source.result = 3;
    first.TakeNextAudioSample(nullptr, nullptr);
    ASSERT_EQ(2u, second.Sets().size());
    EXPECT_TRUE(second.Sets()[1].empty());
    EXPECT_TRUE(first.Sets()[1].empty());
    ExpectPoolBalanced();
}

TEST_F(Graph, PushDrivenSinkStartAndStopCodes) {
    FakeSink sink;
    EXPECT_EQ(0, sink.StopSink()); // not running
    EXPECT_EQ(0, sink.StartSink());
    EXPECT_TRUE(sink.IsSinkRunning());
    EXPECT_EQ(-10, sink.StartSink());
    EXPECT_EQ(-10, sink.StartSinkThread());
    sink.stopAnswer = 1;
    EXPECT_EQ(-20, sink.StopSink());
    EXPECT_TRUE(sink.IsSinkRunning());
    sink.stopAnswer = 0;
    EXPECT_EQ(0, sink.StopSink());
    EXPECT_FALSE(sink.IsSinkRunning());

    sink.startAnswer = 4;
    EXPECT_EQ(-20, sink.StartSink());
    EXPECT_FALSE(sink.IsSinkRunning());
    EXPECT_EQ((std::vector<std::string>{"AudioSink::StartSink (1)", "AudioSink::StartSink (2)"}),
              log.Lines());
}

TEST_F(Graph, ASourceThreadPushesEverySampleOnceInOrder) {
    FakeSource source;
    FakeSink sink;
    Connect(&source, &sink);
    ASSERT_EQ(0, source.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= 5; }));
    EXPECT_EQ(0, source.StopSourceThread());
    auto sets = sink.Sets();
    for (size_t i = 0; i < sets.size(); ++i) {
        ASSERT_EQ(1u, sets[i].size());
        EXPECT_EQ(static_cast<int16_t>(i + 1), sets[i][0].first);
        EXPECT_EQ(&source, sets[i][0].origin);
    }
    EXPECT_TRUE(log.Lines().empty());
    ExpectPoolBalanced();
}

TEST_F(Graph, AFailingSourceIsRetriedEveryTenMillisecondsAndStops) {
    plat::FakeClock clock;
    plat::ScopedClock scoped(clock);
    FakeSource source;
    FakeSink sink;
    Connect(&source, &sink);
    source.result = -1;
    ASSERT_EQ(0, source.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return source.calls >= 5; }));
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_EQ(0, sink.renders.load());
    auto sleeps = clock.Sleeps();
    ASSERT_GE(sleeps.size(), 4u);
    for (uint32_t ms : sleeps) {
        EXPECT_EQ(10u, ms);
    }
}

TEST_F(Graph, SourceThreadReportsMissingAndEmptySamples) {
    FakeSource source(0);
    FakeSink sink;
    Connect(&source, &sink);
    ASSERT_EQ(0, source.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= 2; }));
    source.produceNothing = true;
    const int before = sink.renders;
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= before + 2; }));
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_GE(log.Count("AudioSource::SourceThreadProc: sample size=0"), 2);
    EXPECT_GE(log.Count("AudioSource::SourceThreadProc: !pAudioSample"), 1);
    // The missing sample is still sent on, as a null: an empty set.
    EXPECT_TRUE(sink.Sets().back().empty());
    ExpectPoolBalanced();
}

std::atomic<int> g_threadsEnded{0};

// Marks the end of a thread late: the thread is still there for a while after its function
// returned, so only a join makes the mark visible at once.
struct SlowThreadEndMarker {
    ~SlowThreadEndMarker() {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++g_threadsEnded;
    }
};

// A source whose thread ends by itself after its second sample (as a one-shot file does) and
// whose wind-up takes a while.
class SelfEndingSource : public FakeSource {
public:
    ~SelfEndingSource() override { StopSourceThread(); }
    int GenerateData(AudioSample** out) override {
        thread_local SlowThreadEndMarker marker;
        (void)marker;
        if (calls >= 2) {
            bStopSourceThread = true;
            return -30;
        }
        return FakeSource::GenerateData(out);
    }
    int SourceThreadStopped(AudioThreadHandle handle, uint32_t id) override {
        windingUp = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(windUpMs));
        return FakeSource::SourceThreadStopped(handle, id);
    }
    std::atomic<bool> windingUp{false};
    int windUpMs = 20;
};

TEST_F(Graph, StoppingJoinsAThreadThatEndedByItselfWhileOrAfterItWindsUp) {
    g_threadsEnded = 0;
    FakeSink sink;
    {
        // Stopped while the ended thread is still inside its wind-up.
        SelfEndingSource source;
        Connect(&source, &sink);
        ASSERT_EQ(0, source.StartSourceThread());
        ASSERT_TRUE(WaitFor([&] { return source.windingUp.load(); }));
        EXPECT_EQ(0, source.StopSourceThread());
        EXPECT_EQ(1, source.stoppedCalls.load());
        EXPECT_EQ(1, g_threadsEnded.load());
        Disconnect(&source, &sink);
    }
    {
        // Stopped once the thread has wound up completely; then started again.
        SelfEndingSource source;
        source.windUpMs = 0;
        ASSERT_EQ(0, source.StartSourceThread());
        ASSERT_TRUE(WaitFor([&] { return !source.IsSourceThreadRunning(); }));
        EXPECT_EQ(0, source.StopSourceThread());
        EXPECT_EQ(2, g_threadsEnded.load());
        source.calls = 0;
        ASSERT_EQ(0, source.StartSourceThread());
        ASSERT_TRUE(WaitFor([&] { return source.stoppedCalls == 2; }));
        EXPECT_EQ(0, source.StopSourceThread());
        EXPECT_EQ(3, g_threadsEnded.load());
    }
}

TEST_F(Graph, ARenderExceptionInAPushReleasesTheSetAndAnswersTheLastPull) {
    FakeSource a;
    FakeSource b;
    FakeSink sink;
    Connect(&a, &sink);
    Connect(&b, &sink);
    sink.throwOnRender = true;
    AudioSample* pushed = PcmFill(10, 1);

    EXPECT_EQ(0, sink.TakeNextAudioSample(pushed, &a)); // b gave with result 0
    b.result = 7;
    EXPECT_EQ(7, sink.TakeNextAudioSample(pushed, &a));
    EXPECT_EQ(7, a.SendAudioSample(pushed, &sink)); // passed on: the sink caught it itself
    EXPECT_EQ(3, log.Count("AudioSink::TakeNextAudioSample: exception"));
    EXPECT_EQ(1, pushed->GetRefCount());
    pushed->Release(nullptr);
    ExpectPoolBalanced();
}

TEST_F(Graph, AnExceptionWhilePullingIsCaughtBySendAndGivesTheLocksBack) {
    FakeSource pusher;
    FakeSource throwing;
    FakeSink sink;
    Connect(&pusher, &sink);
    Connect(&throwing, &sink);
    throwing.throwOnCall = 1;
    AudioSample* pushed = PcmFill(10, 1);

    EXPECT_EQ(0, pusher.SendAudioSample(pushed, &sink));
    EXPECT_EQ((std::vector<std::string>{"AudioSource::SendAudioSample: exception"}), log.Lines());
    EXPECT_EQ(1, pushed->GetRefCount()); // the sink's reference was given back
    EXPECT_EQ(0, sink.renders.load());

    // The sink's source list is free again: another thread can change it.
    std::thread other([&] { Disconnect(&throwing, &sink); });
    other.join();
    pusher.SendAudioSample(pushed, &sink);
    EXPECT_EQ(1, sink.renders.load());
    pushed->Release(nullptr);
    EXPECT_TRUE(log.Unlocked());
    ExpectPoolBalanced();
}

TEST_F(Graph, TransformerPassesPushesAndPullsAndSurvivesExceptions) {
    FakeSource source;
    PassTransformer transformer;
    FakeSink downstream;
    Connect(&source, &transformer);
    Connect(&transformer, &downstream);
    EXPECT_EQ(0, transformer.StartTransform());

    // Push: the transformed sample goes on to every sink.
    AudioSample* pushed = PcmFill(10, 3);
    source.SendAudioSample(pushed, &transformer);
    ASSERT_EQ(1u, downstream.Sets().size());
    ASSERT_EQ(1u, downstream.Sets()[0].size());
    EXPECT_EQ(pushed, downstream.Sets()[0][0].sample);
    EXPECT_EQ(&transformer, downstream.Sets()[0][0].origin);

    // Pull: the transformer pulls from its own sources.
    AudioSample* pulled = nullptr;
    EXPECT_EQ(0, transformer.GiveNextAudioSample(&pulled, &downstream));
    ASSERT_NE(nullptr, pulled);
    EXPECT_EQ(1, Value(pulled, 0));
    pulled->Release(nullptr);

    // A transform that fails with an output: the output is dropped and a null goes on.
    transformer.result = -3;
    source.SendAudioSample(pushed, &transformer);
    EXPECT_TRUE(downstream.Sets().back().empty());
    EXPECT_EQ(-3, transformer.GenerateData(&pulled));
    EXPECT_EQ(nullptr, pulled);

    transformer.result = 0;
    transformer.throwOnTransform = true;
    source.SendAudioSample(pushed, &transformer);
    EXPECT_TRUE(downstream.Sets().back().empty());
    EXPECT_EQ(-1, transformer.GenerateData(&pulled));
    EXPECT_EQ(nullptr, pulled);
    EXPECT_EQ((std::vector<std::string>{"AudioTransformer::RenderAudioSamples: exception 1",
                                        "AudioTransformer::GenerateData: exception 1"}),
              log.Lines());
    EXPECT_EQ(1, pushed->GetRefCount());
    pushed->Release(nullptr);
    EXPECT_EQ(0, transformer.StopTransform());
    ExpectPoolBalanced();
}

TEST_F(Graph, LinksMayChangeWhileASourceThreadPushes) {
    FakeSource source;
    FakeSink steady;
    FakeSink flicker;
    Connect(&source, &steady);
    ASSERT_EQ(0, source.StartSourceThread());
    std::thread changer([&] {
        for (int i = 0; i < 300; ++i) {
            Connect(&source, &flicker);
            std::this_thread::yield();
            Disconnect(&source, &flicker);
        }
    });
    changer.join();
    ASSERT_TRUE(WaitFor([&] { return steady.renders >= 10; }));
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_GE(steady.renders.load(), flicker.renders.load());
    ExpectPoolBalanced();
}

} // namespace
