#include <gtest/gtest.h>

#include <stdexcept>

#include "media/graph/NodeThread.h"
#include "media/testing/GraphTestSupport.h"

using namespace tamsor;

namespace {

// A sink's thread and a source's, driven through the same operations; each side names its own
// codes and trace texts. A pass is a rendered set (sink) or a pushed sample (source).
struct SinkSide {
    static constexpr int kVetoed = -40;
    static constexpr const char* kLoopException = "AudioSink::SinkThreadProc: exception";
    static constexpr const char* kStoppedException = "AudioSink::SinkThreadProc: exception 2";
    FakeSource peer;
    FakeSink node; // stopped before its source goes
    SinkSide() { Connect(&peer, &node); }
    int Start() { return node.StartSinkThread(); }
    int Stop() { return node.StopSinkThread(); }
    bool Running() { return node.IsSinkThreadRunning(); }
    int Passes() { return node.renders; }
    void ThrowInPass(bool on) { node.throwOnRender = on; }
    auto& Node() { return node; }
};

struct SourceSide {
    static constexpr int kVetoed = -30;
    static constexpr const char* kLoopException = "AudioSource::SourceThreadProc: exception 4";
    static constexpr const char* kStoppedException = "AudioSource::SourceThreadProc: exception 8";
    FakeSink peer;
    FakeSource node; // stopped before its sink goes
    SourceSide() { Connect(&node, &peer); }
    int Start() { return node.StartSourceThread(); }
    int Stop() { return node.StopSourceThread(); }
    bool Running() { return node.IsSourceThreadRunning(); }
    int Passes() { return peer.renders; }
    void ThrowInPass(bool on) { node.throwOnCall = on ? node.calls + 1 : 0; }
    auto& Node() { return node; }
};

template <typename Side> class NodeThreadTest : public GraphFixture {};
using Sides = ::testing::Types<SinkSide, SourceSide>;
TYPED_TEST_SUITE(NodeThreadTest, Sides);

TYPED_TEST(NodeThreadTest, StartAndStopCodesAndHooks) {
    TypeParam side;
    EXPECT_EQ(0, side.Stop()); // idle
    ASSERT_EQ(0, side.Start());
    EXPECT_TRUE(side.Running());
    EXPECT_NE(nullptr, side.Node().startedHandle);
    EXPECT_NE(0u, side.Node().startedId);
    EXPECT_EQ(-10, side.Start());
    ASSERT_TRUE(WaitFor([&] { return side.Passes() >= 5; }));

    EXPECT_EQ(0, side.Stop());
    EXPECT_FALSE(side.Running());
    EXPECT_EQ(1, side.Node().stoppedCalls.load());
    EXPECT_EQ(side.Node().startedHandle, side.Node().stoppedHandle);
    EXPECT_EQ(side.Node().startedId, side.Node().stoppedId);
    EXPECT_TRUE(this->log.Lines().empty());

    // Started again afresh, with a new id.
    const uint32_t firstId = side.Node().startedId;
    const int passes = side.Passes();
    ASSERT_EQ(0, side.Start());
    EXPECT_NE(firstId, side.Node().startedId);
    ASSERT_TRUE(WaitFor([&] { return side.Passes() > passes; }));
    EXPECT_EQ(0, side.Stop());
    this->ExpectPoolBalanced();
}

TYPED_TEST(NodeThreadTest, AVetoedStartEndsWithoutAPassAndTheNodeStartsAgainAtOnce) {
    TypeParam side;
    side.Node().veto = 7;
    EXPECT_EQ(TypeParam::kVetoed, side.Start());
    // The start returned once the vetoed thread had wound up.
    EXPECT_EQ(1, side.Node().stoppedCalls.load());
    EXPECT_FALSE(side.Running());
    EXPECT_EQ(0, side.Passes());
    EXPECT_EQ(side.Node().startedId, side.Node().stoppedId);

    side.Node().veto = 0;
    EXPECT_EQ(0, side.Start());
    ASSERT_TRUE(WaitFor([&] { return side.Passes() > 0; }));
    EXPECT_EQ(0, side.Stop());
}

TYPED_TEST(NodeThreadTest, TheThreadMayStopItselfFromInside) {
    TypeParam side;
    side.Node().inPass = [&] { side.Stop(); };
    ASSERT_EQ(0, side.Start());
    ASSERT_TRUE(WaitFor([&] { return side.Node().stoppedCalls == 1; }));
    EXPECT_LE(side.Passes(), 1);
    EXPECT_EQ(0, side.Stop());
    side.Node().inPass = nullptr;
    EXPECT_EQ(0, side.Start());
    EXPECT_EQ(0, side.Stop());
}

TYPED_TEST(NodeThreadTest, AnExceptionInAPassEndsTheThreadWhichWindsUpAndStartsAgain) {
    TypeParam side;
    side.ThrowInPass(true);
    ASSERT_EQ(0, side.Start());
    ASSERT_TRUE(WaitFor([&] { return side.Node().stoppedCalls == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !side.Running(); }));
    EXPECT_EQ(1, this->log.Count(TypeParam::kLoopException));
    EXPECT_EQ(0, side.Stop()); // at once: the thread has wound up

    side.ThrowInPass(false);
    const int passes = side.Passes();
    ASSERT_EQ(0, side.Start());
    ASSERT_TRUE(WaitFor([&] { return side.Passes() >= passes + 2; }));
    EXPECT_EQ(0, side.Stop());
    EXPECT_TRUE(this->log.Unlocked());
    this->ExpectPoolBalanced();
}

TYPED_TEST(NodeThreadTest, AnExceptionInTheStoppedHookIsTracedAndTheThreadStillWindsUp) {
    TypeParam side;
    side.Node().throwOnStopped = true;
    ASSERT_EQ(0, side.Start());
    EXPECT_EQ(0, side.Stop());
    EXPECT_FALSE(side.Running());
    EXPECT_EQ((std::vector<std::string>{TypeParam::kStoppedException}), this->log.Lines());
    side.Node().throwOnStopped = false;
    EXPECT_EQ(0, side.Start());
    EXPECT_EQ(0, side.Stop());
}

// Marks the end of a thread: its destructor runs when the thread function has returned.
std::atomic<int> g_threadsEnded{0};
struct ThreadEndMarker {
    ~ThreadEndMarker() { ++g_threadsEnded; }
};

TYPED_TEST(NodeThreadTest, StoppingJoinsTheThread) {
    g_threadsEnded = 0;
    TypeParam side;
    side.Node().inPass = [] {
        thread_local ThreadEndMarker marker;
        (void)marker;
    };
    for (int round = 1; round <= 3; ++round) {
        const int passes = side.Passes();
        ASSERT_EQ(0, side.Start());
        ASSERT_TRUE(WaitFor([&] { return side.Passes() > passes; }));
        EXPECT_EQ(0, side.Stop());
        EXPECT_EQ(round, g_threadsEnded.load());
    }
}

// A node whose thread fails while it sets itself up.
class FailingSetUp : public NodeThread::Node {
public:
    int ThreadStarted(AudioThreadHandle, uint32_t) override { return 0; }
    void ThreadEntered() override {
        if (fail) {
            throw std::runtime_error("set-up");
        }
    }
    void ThreadLoop() override {
        while (!stop) {
            ++passes;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    int ThreadStopped(AudioThreadHandle, uint32_t) override {
        ++stopped;
        return 0;
    }
    std::atomic<bool> running{false};
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};
    std::atomic<int> stopped{0};
    bool fail = true;
};

TEST_F(GraphFixture, AFailedThreadSetUpIsTracedReleasesTheStarterAndWindsUp) {
    struct Case {
        const NodeThread::Rules& rules;
        const char* text;
    };
    const Case cases[] = {
        {AudioSource::kThreadRules, "AudioSource::SourceThreadProc: exception 3"},
        {AudioSink::kThreadRules, "AudioSink::SinkThreadProc: exception 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        log.Clear();
        FailingSetUp node;
        NodeThread thread(node, c.rules, node.running, node.stop);
        EXPECT_EQ(0, thread.Start()); // returns: the starter is not left waiting
        ASSERT_TRUE(WaitFor([&] { return node.stopped == 1; }));
        EXPECT_FALSE(node.running);
        EXPECT_EQ(0, node.passes.load());
        EXPECT_EQ((std::vector<std::string>{c.text}), log.Lines());
        EXPECT_EQ(0, thread.Stop()); // nothing left to wait for

        node.fail = false;
        ASSERT_EQ(0, thread.Start());
        ASSERT_TRUE(WaitFor([&] { return node.passes > 0; }));
        EXPECT_EQ(0, thread.Stop());
        EXPECT_EQ(2, node.stopped.load());
        EXPECT_TRUE(log.Unlocked());
    }
}

} // namespace
