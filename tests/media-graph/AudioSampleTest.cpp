#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "media/base/RTPPacket.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

namespace {

class SamplePool : public ::testing::Test {
protected:
    void SetUp() override { AudioSampleManager::Init(); }
    void TearDown() override { AudioSampleManager::Shutdown(); }

    AudioSample* Get() {
        AudioSample* s = nullptr;
        AudioSampleManager::GetInstance()->GetAudioSample(&s, nullptr);
        return s;
    }

    RegistrySandbox registry;
};

RTPPacket* Header(uint32_t timestamp, uint16_t seq) {
    auto* h = new RTPPacket;
    h->timestamp = timestamp;
    h->sequenceNumber = seq;
    return h;
}

TEST_F(SamplePool, ReleasedSampleIsHandedOutAgainWithItsFormatButNoData) {
    auto* manager = AudioSampleManager::GetInstance();
    AudioSample* a = Get();
    AudioSample* b = Get();
    EXPECT_NE(a, b);
    EXPECT_EQ(manager->GetCreatedCount(), 2);

    a->SetFormat(MakeWaveFormat(FORMAT_PCM16));
    a->SetDataSize(320);
    a->SetSilenceMs(0);
    EXPECT_EQ(a->Release(nullptr), 0);

    AudioSample* again = Get();
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->GetDataSize(), 0);
    EXPECT_EQ(again->GetSilenceMs(), 0);
    EXPECT_EQ(again->Format().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(manager->GetCreatedCount(), 2);
    again->Release(nullptr);
    b->Release(nullptr);
}

TEST_F(SamplePool, DataSizeSilenceAndDurations) {
    AudioSample* s = Get();
    s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
    s->SetSilenceMs(20);
    s->SetDataSize(0);
    EXPECT_EQ(s->GetSilenceMs(), 20); // zero length keeps the silence
    EXPECT_EQ(s->GetSilenceBytes(), 320);
    s->SetDataSize(160);
    EXPECT_EQ(s->GetSilenceMs(), 0); // data clears it
    s->SetDataSize(320);
    EXPECT_EQ(s->GetDurationMs(), 20);

    s->SetFormat(MakeWaveFormat(FORMAT_G711_ULAW));
    s->SetDataSize(160);
    EXPECT_EQ(s->GetDurationMs(), 20);

    // The length never exceeds the buffer nor goes below zero.
    s->SetDataSize(5000);
    EXPECT_EQ(s->GetDataSize(), AudioSample::kBufferSize);
    s->SetDataSize(-4);
    EXPECT_EQ(s->GetDataSize(), 0);
    s->Release(nullptr);
}

TEST_F(SamplePool, DegenerateFormatsGiveZeroFiguresInsteadOfDividingByZero) {
    AudioSample* s = Get();
    WaveFormat f = MakeWaveFormat(FORMAT_PCM16);
    f.nSamplesPerSec = 0;
    s->SetFormat(f);
    s->SetDataSize(320);
    s->SetSilenceMs(20);
    EXPECT_EQ(s->GetBytesPerBlock(), 0);
    EXPECT_EQ(s->GetMicrosecondsPerBlock(), 0);
    EXPECT_EQ(s->GetDurationMs(), 0);
    EXPECT_EQ(s->GetSilenceBytes(), 0);
    f = MakeWaveFormat(FORMAT_PCM16);
    f.wBitsPerSample = 0;
    s->SetFormat(f);
    EXPECT_EQ(s->GetDurationMs(), 0);
    s->Release(nullptr);
}

TEST_F(SamplePool, SharedSampleKeepsItsFormat) {
    AudioSample* s = Get();
    s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
    EXPECT_EQ(s->AddRef(nullptr), 2);
    s->SetFormat(MakeWaveFormat(FORMAT_G711_ALAW));
    EXPECT_EQ(s->Format().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(s->GetBytesPerBlock(), 2);
    EXPECT_EQ(s->Release(nullptr), 1);
    s->SetFormat(MakeWaveFormat(FORMAT_G711_ALAW));
    EXPECT_EQ(s->Format().wFormatTag, WAVE_FORMAT_ALAW);
    s->Release(nullptr);
}

TEST_F(SamplePool, MisusedCountsAreRefusedAndTheSampleNeverReturnsTwice) {
    plat::FakeClock clock;
    plat::ScopedClock scoped(clock);
    auto* manager = AudioSampleManager::GetInstance();
    AudioSample* s = Get();
    EXPECT_EQ(s->Release(nullptr), 0);
    size_t freeAfterFirst = manager->GetFreeCount();
    EXPECT_EQ(s->Release(nullptr), -10);
    EXPECT_EQ(clock.Sleeps(), std::vector<uint32_t>{500});
    EXPECT_EQ(s->GetRefCount(), 1000);
    EXPECT_EQ(manager->GetFreeCount(), freeAfterFirst);

    // The marked sample sits in the free list but is in use, so the pool skips it.
    AudioSample* next = Get();
    EXPECT_NE(next, s);
    next->Release(nullptr);

    AudioSample* t = Get();
    t->Release(nullptr);
    EXPECT_EQ(t->AddRef(nullptr), -10);
    EXPECT_EQ(t->GetRefCount(), 1000);
}

TEST_F(SamplePool, ReleaseDropsTheRtpHeaderAndItsData) {
    AudioSample* s = Get();
    s->SetFormat(MakeWaveFormat(FORMAT_G711_ULAW));
    s->SetDataSize(160);
    s->SetRTPHeader(Header(1, 1));
    s->SetRTPHeader(Header(2, 2)); // replaces (and frees) the first
    EXPECT_EQ(s->GetRTPHeader()->timestamp, 2u);
    s->Release(nullptr);
    AudioSample* again = Get();
    ASSERT_EQ(again, s);
    EXPECT_EQ(again->GetRTPHeader(), nullptr);
    again->Release(nullptr);
}

TEST_F(SamplePool, PlayoutOrderWrapsLikeTheCounters) {
    AudioSample* a = Get();
    AudioSample* b = Get();
    a->SetRTPHeader(Header(10, 0));
    b->SetRTPHeader(Header(20, 0));
    EXPECT_TRUE(a->IsEarlierThan(b));
    EXPECT_FALSE(b->IsEarlierThan(a));

    a->SetRTPHeader(Header(0xFFFFFF00u, 0));
    b->SetRTPHeader(Header(0x00000010u, 0));
    EXPECT_TRUE(a->IsEarlierThan(b)); // b has wrapped

    a->SetRTPHeader(Header(5, 65535));
    b->SetRTPHeader(Header(5, 2));
    EXPECT_TRUE(a->IsEarlierThan(b));
    EXPECT_TRUE(b->IsNotEarlierThan(a));

    b->SetRTPHeader(Header(5, 65535));
    EXPECT_FALSE(a->IsEarlierThan(b)); // equal: neither is earlier

    AudioSample* bare = Get();
    EXPECT_FALSE(bare->IsEarlierThan(a));
    EXPECT_FALSE(a->IsEarlierThan(bare));
    a->Release(nullptr);
    b->Release(nullptr);
    bare->Release(nullptr);
}

TEST_F(SamplePool, SamplesOutlivingShutdownAndLateCallersStaySafe) {
    AudioSample* held = Get();
    AudioSampleManager::Shutdown();
    // Released after the pool is gone: deletes itself (ASan would report a use after free).
    EXPECT_EQ(held->Release(nullptr), 0);
    // A caller after Shutdown gets a working pool again.
    AudioSample* late = Get();
    ASSERT_NE(late, nullptr);
    late->SetDataSize(10);
    late->Release(nullptr);
    AudioSampleManager::Shutdown();
    AudioSampleManager::Shutdown(); // twice is harmless
    AudioSampleManager::Init();
}

TEST_F(SamplePool, ManyThreadsShareThePoolWithoutLosingSamples) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                AudioSample* s = Get();
                if (s->GetRefCount() != 1 || s->GetDataSize() != 0) {
                    bad++;
                }
                s->SetDataSize(i % 3200 + 1);
                s->AddRef(nullptr);
                s->Release(nullptr);
                s->Release(nullptr);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(bad, 0);
    auto* manager = AudioSampleManager::GetInstance();
    // Everything came back, and the pool grew only to the working set.
    EXPECT_EQ(static_cast<int>(manager->GetFreeCount()), manager->GetCreatedCount());
    EXPECT_LE(manager->GetCreatedCount(), kThreads * 2);
}

} // namespace
