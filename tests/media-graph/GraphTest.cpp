#include <gtest/gtest.h>

#include "platform/core/Clock.h"
#include "tests/support/GraphTestSupport.h"

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

TEST_F(Graph, SinkThreadStartAndStopCodesAndHooks) {
    FakeSource source;
    FakeSink sink;
    Connect(&source, &sink);
    EXPECT_EQ(0, sink.StopSinkThread()); // idle

    ASSERT_EQ(0, sink.StartSinkThread());
    EXPECT_TRUE(sink.IsSinkThreadRunning());
    EXPECT_NE(nullptr, sink.startedHandle);
    EXPECT_NE(0u, sink.startedId);
    EXPECT_EQ(-10, sink.StartSinkThread());
    EXPECT_EQ(-10, sink.StartSink());
    EXPECT_EQ(-10, sink.StopSink());
    EXPECT_TRUE(sink.IsSinkThreadRunning());
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= 5; }));

    EXPECT_EQ(0, sink.StopSinkThread());
    EXPECT_FALSE(sink.IsSinkThreadRunning());
    EXPECT_EQ(1, sink.stoppedCalls.load());
    EXPECT_EQ(sink.startedHandle, sink.stoppedHandle);
    EXPECT_EQ(sink.startedId, sink.stoppedId);
    const int renders = sink.renders;
    for (auto& set : sink.Sets()) {
        ASSERT_EQ(1u, set.size()); // one pulled sample per pass
    }

    // Started again afresh, with a new id.
    const uint32_t firstId = sink.startedId;
    ASSERT_EQ(0, sink.StartSinkThread());
    EXPECT_NE(firstId, sink.startedId);
    ASSERT_TRUE(WaitFor([&] { return sink.renders > renders; }));
    EXPECT_EQ(0, sink.StopSinkThread());
    ExpectPoolBalanced();
}

TEST_F(Graph, AVetoedSinkThreadEndsWithoutRenderingAndTheSinkCanStartAgain) {
    FakeSink sink;
    sink.veto = 1;
    EXPECT_EQ(-40, sink.StartSinkThread());
    ASSERT_TRUE(WaitFor([&] { return sink.stoppedCalls == 1; }));
    EXPECT_EQ(0, sink.renders.load());
    EXPECT_EQ(sink.startedId, sink.stoppedId);

    sink.veto = 0;
    ASSERT_TRUE(WaitFor([&] { return !sink.IsSinkThreadRunning(); }));
    EXPECT_EQ(0, sink.StartSinkThread());
    ASSERT_TRUE(WaitFor([&] { return sink.renders > 0; }));
    EXPECT_EQ(0, sink.StopSinkThread());
}

class SelfStoppingSink : public FakeSink {
public:
    ~SelfStoppingSink() override { StopSinkThread(); }
    int RenderAudioSamples(AudioSampleList& samples) override {
        FakeSink::RenderAudioSamples(samples);
        return StopSinkThread();
    }
};

TEST_F(Graph, ASinkThreadMayStopItselfFromInside) {
    SelfStoppingSink sink;
    ASSERT_EQ(0, sink.StartSinkThread());
    ASSERT_TRUE(WaitFor([&] { return sink.stoppedCalls == 1; }));
    EXPECT_EQ(1, sink.renders.load());
    EXPECT_EQ(0, sink.StopSinkThread());
    EXPECT_EQ(0, sink.StartSinkThread());
    EXPECT_EQ(0, sink.StopSinkThread());
}

TEST_F(Graph, SourceThreadStartAndStopCodesAndPushes) {
    FakeSource source;
    FakeSink sink;
    Connect(&source, &sink);
    EXPECT_EQ(0, source.StopSourceThread()); // idle

    ASSERT_EQ(0, source.StartSourceThread());
    EXPECT_EQ(-10, source.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= 5; }));
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_FALSE(source.IsSourceThreadRunning());
    EXPECT_EQ(source.startedHandle, source.stoppedHandle);
    EXPECT_EQ(source.startedId, source.stoppedId);

    // Every pushed sample arrived once, in order, from this source.
    auto sets = sink.Sets();
    for (size_t i = 0; i < sets.size(); ++i) {
        ASSERT_EQ(1u, sets[i].size());
        EXPECT_EQ(static_cast<int16_t>(i + 1), sets[i][0].first);
        EXPECT_EQ(&source, sets[i][0].origin);
    }
    EXPECT_TRUE(log.Lines().empty());

    source.veto = 7;
    EXPECT_EQ(-30, source.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return source.stoppedCalls == 2; }));
    source.veto = 0;
    ASSERT_TRUE(WaitFor([&] { return !source.IsSourceThreadRunning(); }));
    EXPECT_EQ(0, source.StartSourceThread());
    EXPECT_EQ(0, source.StopSourceThread());
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

// Marks the end of a thread: its destructor runs when the thread function has returned.
std::atomic<int> g_threadsEnded{0};
struct ThreadEndMarker {
    ~ThreadEndMarker() { ++g_threadsEnded; }
};

class MarkingSource : public FakeSource {
public:
    ~MarkingSource() override { StopSourceThread(); }
    int GenerateData(AudioSample** out) override {
        thread_local ThreadEndMarker marker;
        (void)marker;
        return FakeSource::GenerateData(out);
    }
};

TEST_F(Graph, StoppingJoinsTheThread) {
    g_threadsEnded = 0;
    MarkingSource source;
    FakeSink sink;
    Connect(&source, &sink);
    for (int round = 1; round <= 3; ++round) {
        const int calls = source.calls;
        ASSERT_EQ(0, source.StartSourceThread());
        ASSERT_TRUE(WaitFor([&] { return source.calls > calls; }));
        EXPECT_EQ(0, source.StopSourceThread());
        EXPECT_EQ(round, g_threadsEnded.load());
    }
}

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

TEST_F(Graph, ASourceThreadEndedByAnExceptionWindsUpAndCanBeRestarted) {
    FakeSource source;
    FakeSink sink;
    Connect(&source, &sink);
    source.throwOnCall = 3;
    ASSERT_EQ(0, source.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return source.stoppedCalls == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !source.IsSourceThreadRunning(); }));
    EXPECT_EQ(1, log.Count("AudioSource::SourceThreadProc: exception 4"));
    EXPECT_EQ(2, sink.renders.load());
    EXPECT_EQ(0, source.StopSourceThread()); // returns at once: the thread has wound up

    source.throwOnCall = 0;
    ASSERT_EQ(0, source.StartSourceThread());
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= 4; }));
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_TRUE(log.Unlocked());
    ExpectPoolBalanced();
}

TEST_F(Graph, AnExceptionInTheStoppedHookIsTracedAndTheThreadStillWindsUp) {
    FakeSource source;
    source.throwOnStopped = true;
    ASSERT_EQ(0, source.StartSourceThread());
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_FALSE(source.IsSourceThreadRunning());
    EXPECT_EQ((std::vector<std::string>{"AudioSource::SourceThreadProc: exception 8"}),
              log.Lines());
    source.throwOnStopped = false;
    EXPECT_EQ(0, source.StartSourceThread());
    EXPECT_EQ(0, source.StopSourceThread());
}

TEST_F(Graph, ASinkThreadEndedByAnExceptionWindsUpAndCanBeRestarted) {
    FakeSource source;
    FakeSink sink;
    Connect(&source, &sink);
    sink.throwOnRender = true;
    ASSERT_EQ(0, sink.StartSinkThread());
    ASSERT_TRUE(WaitFor([&] { return sink.stoppedCalls == 1; }));
    EXPECT_EQ(1, sink.renders.load());
    EXPECT_EQ((std::vector<std::string>{"AudioSink::SinkThreadProc: exception"}), log.Lines());

    sink.throwOnRender = false;
    ASSERT_TRUE(WaitFor([&] { return !sink.IsSinkThreadRunning(); }));
    ASSERT_EQ(0, sink.StartSinkThread());
    ASSERT_TRUE(WaitFor([&] { return sink.renders >= 3; }));
    EXPECT_EQ(0, sink.StopSinkThread());
    ExpectPoolBalanced();
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
