#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <thread>

#include "media/rtp/RTPAudioStream.h"
#include "media/rtp/RTPJitterBuffer.h"
#include "media/testing/RtpTestSupport.h"
#include "platform/core/testing/FakeClock.h"

using namespace tamsor;

namespace {

constexpr uint32_t kSsrc = 0x1234;

class JitterTest : public RtpFixture {
protected:
    void SetUp() override {
        RtpFixture::SetUp();
        clockScope = std::make_unique<plat::ScopedClock>(clock);
    }
    void TearDown() override {
        clockScope.reset();
        RtpFixture::TearDown();
    }

    // A decoded 20 ms frame whose first byte carries the sequence number's low byte.
    static AudioSample* Frame(uint16_t seq, uint32_t ts, uint32_t ssrc = kSsrc) {
        AudioSample* s =
            WithHeader(Data(FORMAT_PCM16, 320, static_cast<uint8_t>(seq)), seq, ts, ssrc, 0);
        return s;
    }
    static AudioSample* ComfortNoise(uint16_t seq, uint32_t ts, uint32_t ssrc = kSsrc) {
        return WithHeader(Silence(20), seq, ts, ssrc, 13);
    }
    static void Insert(RTPAudioStream& stream, AudioSample* s) {
        stream.InsertRTPPacket(s);
        s->Release(nullptr);
    }
    static void InsertRange(RTPAudioStream& stream, int from, int to, uint32_t ts0 = 0) {
        for (int i = from; i <= to; ++i) {
            Insert(stream, Frame(static_cast<uint16_t>(i), ts0 + 160u * static_cast<uint32_t>(i)));
        }
    }
    // The next frame's sequence number, or -1 when the stream gives nothing.
    static int Pull(RTPAudioStream& stream) {
        AudioSample* s = nullptr;
        stream.GiveNextRTPPacket(&s);
        if (!s) {
            return -1;
        }
        int seq = s->GetRTPHeader()->sequenceNumber;
        s->Release(nullptr);
        return seq;
    }
    static std::vector<int> PullN(RTPAudioStream& stream, int n) {
        std::vector<int> out;
        for (int i = 0; i < n; ++i) {
            out.push_back(Pull(stream));
        }
        return out;
    }

    // Jitter buffer helpers: push one sample; pull one (sequence number, -1 for silence).
    static int Push(RTPJitterBuffer& jb, AudioSample* s) {
        AudioSampleList list{{s, nullptr}};
        int r = jb.RenderAudioSamples(list);
        s->Release(nullptr);
        return r;
    }
    static int Pull(RTPJitterBuffer& jb) {
        AudioSample* s = nullptr;
        EXPECT_EQ(0, jb.GenerateData(&s));
        if (!s) {
            return -2;
        }
        int seq = -1;
        if (s->GetRTPHeader()) {
            seq = s->GetRTPHeader()->sequenceNumber;
        } else {
            EXPECT_EQ(0, s->GetDataSize());
            EXPECT_EQ(20, s->GetSilenceMs());
        }
        s->Release(nullptr);
        return seq;
    }

    plat::FakeClock clock{5000};
    std::unique_ptr<plat::ScopedClock> clockScope;
};

} // namespace

TEST_F(JitterTest, PlayoutStartsAfterTheTargetIsQueued) {
    RTPJitterBuffer jb;
    ASSERT_EQ(0, jb.StartTransform());
    std::vector<int> got;
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(0, Push(jb, Frame(static_cast<uint16_t>(i), 160u * i)));
        got.push_back(Pull(jb));
    }
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1, 0, 1, 2, 3}), got);
    uint32_t active = 0;
    ASSERT_TRUE(jb.GetActiveSSRC(&active));
    EXPECT_EQ(kSsrc, active);
    jb.StopTransform();
    EXPECT_EQ(-2, Pull(jb)); // stopped: no sample at all
}

TEST_F(JitterTest, ReordersAndDropsExactDuplicates) {
    RTPAudioStream stream(kSsrc);
    for (int seq : {0, 2, 1, 4, 3, 3, 2, 5, 0}) {
        Insert(stream, Frame(static_cast<uint16_t>(seq), 160u * seq));
    }
    EXPECT_EQ(6, stream.GetNumPackets());
    EXPECT_EQ(120, stream.GetQueuedMs());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), PullN(stream, 6));
    // A copy of the frame just played is not queued again.
    Insert(stream, Frame(5, 800));
    EXPECT_EQ(0, stream.GetNumPackets());
}

TEST_F(JitterTest, LostPacketRepeatsTheLastFrameOnce) {
    RTPAudioStream stream(kSsrc);
    InsertRange(stream, 0, 4);
    InsertRange(stream, 6, 9);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 4, 6, 7, 8, 9}), PullN(stream, 10));
}

TEST_F(JitterTest, GapThatStaysOpenGoesBackToBuffering) {
    RTPAudioStream stream(kSsrc);
    InsertRange(stream, 0, 4);
    InsertRange(stream, 20, 24);
    // Frame 4 goes out five times in all, then silence, then play resumes from the queue top.
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 4, 4, 4, 4, -1, 20, 21}), PullN(stream, 12));

    // With less than the threshold queued after the gap, buffering waits for more.
    RTPAudioStream other(kSsrc);
    InsertRange(other, 0, 4);
    InsertRange(other, 20, 21);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 4, 4, 4, 4, -1, -1}), PullN(other, 11));
    EXPECT_TRUE(other.IsBuffering());
    InsertRange(other, 22, 24);
    EXPECT_EQ(20, Pull(other));
}

TEST_F(JitterTest, LatePacketsAreDroppedOrRestartTheStream) {
    RTPAudioStream stream(kSsrc);
    InsertRange(stream, 100, 110);
    PullN(stream, 5); // 100..104 played
    const int queued = stream.GetNumPackets();
    Insert(stream, Frame(101, 101 * 160)); // 3 behind: dropped
    Insert(stream, Frame(79, 79 * 160));   // 25 behind: dropped
    EXPECT_EQ(queued, stream.GetNumPackets());
    Insert(stream, Frame(78, 78 * 160)); // 26 behind: the sender restarted
    EXPECT_EQ(1, stream.GetNumPackets());
    EXPECT_TRUE(stream.IsBuffering());
    EXPECT_EQ(-1, Pull(stream));

    // Behind across the sequence wrap counts the same way.
    RTPAudioStream wrapped(kSsrc);
    InsertRange(wrapped, 65530, 65540, 0); // 65530..65535, 0..4
    PullN(wrapped, 8);                     // up to 1
    const int left = wrapped.GetNumPackets();
    Insert(wrapped, Frame(65534, 65534u * 160)); // 3 behind, older timestamp
    EXPECT_EQ(left, wrapped.GetNumPackets());
}

TEST_F(JitterTest, TimestampWrapKeepsOrder) {
    RTPAudioStream stream(kSsrc);
    const uint32_t ts0 = 0xFFFFFFFFu - 2 * 160 + 1;
    std::vector<int> order{3, 0, 5, 1, 4, 2};
    for (int i : order) {
        Insert(stream, Frame(static_cast<uint16_t>(1000 + i), ts0 + 160u * i));
    }
    EXPECT_EQ((std::vector<int>{1000, 1001, 1002, 1003, 1004, 1005}), PullN(stream, 6));
}

TEST_F(JitterTest, ComfortNoiseEndsBufferingAndStopsPlay) {
    RTPAudioStream stream(kSsrc);
    InsertRange(stream, 0, 1); // 40 ms: below the threshold
    EXPECT_EQ(-1, Pull(stream));
    Insert(stream, ComfortNoise(2, 320));
    EXPECT_EQ(40, stream.GetQueuedMs()); // comfort noise counts no time
    EXPECT_EQ((std::vector<int>{0, 1, -1}), PullN(stream, 3));
    EXPECT_TRUE(stream.IsBuffering());
}

TEST_F(JitterTest, QueueIsBoundedByTimeAndCount) {
    RTPAudioStream stream(kSsrc);
    for (int i = 0; i < 300; ++i) {
        Insert(stream, ComfortNoise(static_cast<uint16_t>(i), 160u * i));
    }
    EXPECT_EQ(static_cast<int>(RTPAudioStream::kMaxPackets), stream.GetNumPackets());
    RTPAudioStream timed(kSsrc);
    InsertRange(timed, 0, 99);
    EXPECT_EQ(1000, timed.GetQueuedMs()); // ten times the threshold
}

TEST_F(JitterTest, DynamicThresholdFallsWhenSteadyAndRisesOnUnderruns) {
    RTPAudioStream steady(kSsrc);
    InsertRange(steady, 0, 4);
    int next = 5;
    int handed = 0;
    while (handed < 99) {
        Insert(steady, Frame(static_cast<uint16_t>(next), 160u * next));
        ++next;
        ASSERT_GE(Pull(steady), 0);
        ++handed;
    }
    EXPECT_EQ(100, steady.GetRestartThreshold());
    Insert(steady, Frame(static_cast<uint16_t>(next), 160u * next));
    ++next;
    const int before = steady.GetQueuedMs();
    ASSERT_GE(Pull(steady), 0); // the 100th frame adapts
    EXPECT_EQ(80, steady.GetRestartThreshold());
    EXPECT_EQ(before - 60, steady.GetQueuedMs()); // 40 ms dropped, 20 ms played

    // Bursts of five packets with one empty-queue repeat after each: underruns raise it.
    RTPAudioStream bursty(kSsrc);
    int seq = 0;
    int frames = 0;
    while (frames < 100) {
        InsertRange(bursty, seq, seq + 4);
        seq += 5;
        for (int k = 0; k < 6 && frames < 100; ++k) {
            ASSERT_GE(Pull(bursty), 0);
            ++frames;
        }
    }
    EXPECT_EQ(120, bursty.GetRestartThreshold());
}

TEST_F(JitterTest, StaticThresholdWhenDynamicModeIsOff) {
    SetSetting(kRegUseDynamicJitterBuffer, "false");
    RTPAudioStream stream(kSsrc);
    InsertRange(stream, 0, 4);
    for (int i = 5; i < 300; ++i) {
        Insert(stream, Frame(static_cast<uint16_t>(i), 160u * i));
        ASSERT_GE(Pull(stream), 0);
    }
    EXPECT_EQ(100, stream.GetRestartThreshold());
}

TEST_F(JitterTest, NewSsrcPlaysOnlyAfterTheActiveStreamEnds) {
    RTPJitterBuffer jb;
    ASSERT_EQ(0, jb.StartTransform());
    for (int i = 0; i < 7; ++i) {
        Push(jb, Frame(static_cast<uint16_t>(i), 160u * i, 0xA));
    }
    EXPECT_EQ(0, Pull(jb));
    for (int i = 0; i < 6; ++i) {
        Push(jb, Frame(static_cast<uint16_t>(500 + i), 9000u + 160u * i, 0xB));
    }
    EXPECT_EQ(2u, jb.GetStreamCount());
    std::vector<int> got;
    for (int i = 0; i < 9; ++i) {
        got.push_back(Pull(jb));
    }
    // A's remaining frames; its empty queue then ends it and B, holding 120 ms, takes over.
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 500, 501, 502}), got);
    uint32_t active = 0;
    ASSERT_TRUE(jb.GetActiveSSRC(&active));
    EXPECT_EQ(0xBu, active);
    EXPECT_EQ(1u, jb.GetStreamCount());
}

TEST_F(JitterTest, FewIdleStreamsAreKept) {
    RTPJitterBuffer jb;
    ASSERT_EQ(0, jb.StartTransform());
    for (uint32_t ssrc = 1; ssrc <= 10; ++ssrc) {
        Push(jb, Frame(1, 160, ssrc));
    }
    EXPECT_EQ(RTPJitterBuffer::kMaxIdleStreams, jb.GetStreamCount());
    // The most recently fed streams stay: SSRC 10 gets to 100 ms and plays.
    for (int i = 2; i <= 5; ++i) {
        Push(jb, Frame(static_cast<uint16_t>(i), 160u * i, 10));
    }
    EXPECT_EQ(1, Pull(jb));
}

TEST_F(JitterTest, StoppedOrHeaderlessPushes) {
    RTPJitterBuffer jb;
    EXPECT_EQ(0, Push(jb, Frame(1, 160)));
    auto sleeps = clock.Sleeps();
    ASSERT_FALSE(sleeps.empty());
    EXPECT_EQ(20u, sleeps.back()); // a push while stopped waits one frame
    EXPECT_EQ(-2, Pull(jb));
    ASSERT_EQ(0, jb.StartTransform());
    EXPECT_EQ(-10, Push(jb, Data(FORMAT_PCM16, 320)));
    EXPECT_EQ(0u, jb.GetStreamCount());
    ExpectPoolBalanced();
}

// Pushes with SSRC churn, duplicates and late packets against pulls and restarts on other
// threads. Run under ThreadSanitizer this checks the locking; everywhere it checks that no
// sample reference is lost or freed twice.
TEST_F(JitterTest, ConcurrentPushPullAndRestartWithSsrcChurn) {
    {
        RTPJitterBuffer jb;
        jb.SetJitterTarget(40);
        ASSERT_EQ(0, jb.StartTransform());
        std::atomic<bool> done{false};
        std::thread pusher([&] {
            std::mt19937 rng(7);
            uint16_t seq = 0;
            for (int i = 0; i < 4000; ++i) {
                const uint32_t ssrc = 100 + static_cast<uint32_t>((i / 40) % 7);
                uint16_t s = seq++;
                switch (rng() % 10) {
                case 0:
                    s = static_cast<uint16_t>(s - 1); // duplicate
                    break;
                case 1:
                    s = static_cast<uint16_t>(s - 30); // late
                    break;
                default:
                    break;
                }
                AudioSample* f =
                    (rng() % 25 == 0) ? ComfortNoise(s, 160u * s, ssrc) : Frame(s, 160u * s, ssrc);
                AudioSampleList list{{f, nullptr}};
                jb.RenderAudioSamples(list);
                f->Release(nullptr);
            }
            done = true;
        });
        std::thread puller([&] {
            while (!done) {
                AudioSample* s = nullptr;
                jb.GenerateData(&s);
                if (s) {
                    s->Release(nullptr);
                }
                uint32_t active;
                jb.GetActiveSSRC(&active);
            }
        });
        for (int i = 0; i < 20 && !done; ++i) {
            jb.StopTransform();
            jb.StartTransform();
            std::this_thread::yield();
        }
        pusher.join();
        puller.join();
        EXPECT_LE(jb.GetStreamCount(), RTPJitterBuffer::kMaxIdleStreams + 1);
    }
    ExpectPoolBalanced();
}
