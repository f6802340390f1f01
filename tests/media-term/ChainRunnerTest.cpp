#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/term/ChainRunner.h"
#include "media/testing/GraphTestSupport.h"

using namespace tamsor;

namespace {

class ChainRunnerTest : public GraphFixture {
protected:
    // A chain of `count` steps; step i fails to start when i == failAt and to stop when
    // stopFails[i]. Steps with an odd index trace their failure.
    std::vector<ChainRunner::Step> Steps(int count, int failAt) {
        std::vector<ChainRunner::Step> steps;
        for (int i = 0; i < count; ++i) {
            steps.push_back({[this, i, failAt] {
                                 calls.push_back("start " + std::to_string(i));
                                 return i == failAt ? -(i + 1) : 0;
                             },
                             [this, i] {
                                 calls.push_back("stop " + std::to_string(i));
                                 return stopFails[i] ? -1 : 0;
                             },
                             -10 * (i + 1), i % 2 == 1 ? "step failed, result=" : nullptr});
        }
        return steps;
    }
    // Whether the source still reaches the sink: a pulled sample goes to the source's sinks.
    bool Linked() {
        const int before = sink.renders;
        AudioSample* pulled = nullptr;
        source.GiveNextAudioSample(&pulled, nullptr);
        if (pulled) {
            pulled->Release(nullptr);
        }
        return sink.renders > before;
    }

    FakeSource source;
    FakeSink sink;
    std::vector<std::string> calls;
    bool stopFails[4] = {};
};

TEST_F(ChainRunnerTest, AFailingStepUnwindsWhatStartedInReverseAndUnlinks) {
    struct Case {
        int failAt;
        int code;
        std::vector<std::string> calls;
        std::vector<std::string> trace;
    };
    const Case cases[] = {
        {0, -10, {"start 0"}, {}},
        {1, -20, {"start 0", "start 1", "stop 0"}, {"step failed, result=-2(time)"}},
        {3,
         -40,
         {"start 0", "start 1", "start 2", "start 3", "stop 2", "stop 1", "stop 0"},
         {"step failed, result=-4(time)"}},
        {-1, 0, {"start 0", "start 1", "start 2", "start 3"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        calls.clear();
        log.Clear();
        ChainRunner chain;
        chain.Connect({{&source, &sink}});
        EXPECT_EQ(1u, chain.LinkCount());
        EXPECT_EQ(c.code, chain.Start(Steps(4, c.failAt)));
        EXPECT_EQ(c.calls, calls);
        EXPECT_EQ(c.trace, log.Lines());
        EXPECT_EQ(c.code == 0, Linked());
        EXPECT_EQ(c.code == 0 ? 1u : 0u, chain.LinkCount());
        EXPECT_TRUE(chain.Stop());
        EXPECT_FALSE(Linked());
    }
}

TEST_F(ChainRunnerTest, AFailedStopStillUnlinksAndKeepsTheStepsForTheNextTry) {
    ChainRunner chain;
    chain.Connect({{&source, &sink}});
    ASSERT_EQ(0, chain.Start(Steps(3, -1)));
    calls.clear();
    stopFails[1] = true;
    EXPECT_FALSE(chain.Stop());
    EXPECT_EQ((std::vector<std::string>{"stop 2", "stop 1", "stop 0"}), calls);
    EXPECT_FALSE(Linked());
    EXPECT_EQ(0u, chain.LinkCount());

    calls.clear();
    stopFails[1] = false;
    EXPECT_TRUE(chain.Stop()); // tries every step again
    EXPECT_EQ((std::vector<std::string>{"stop 2", "stop 1", "stop 0"}), calls);
    calls.clear();
    EXPECT_TRUE(chain.Stop()); // nothing left
    EXPECT_TRUE(calls.empty());
    ExpectPoolBalanced();
}

} // namespace
