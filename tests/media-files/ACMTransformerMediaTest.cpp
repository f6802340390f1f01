#include "media/files/ACMTransformer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/AudioSink.h"
#include "platform/audio/testing/WavFixture.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

using namespace wavtest;

namespace {

class NullSink : public AudioSink {
public:
    int RenderAudioSamples(AudioSampleList&) override { return 0; }
};

class ACMTransformerTest : public ::testing::Test {
protected:
    void SetUp() override { AudioSampleManager::Init(); }
    void TearDown() override { AudioSampleManager::Shutdown(); }

    // A sample holding the bytes, as a source would push it.
    AudioSample* MakeSample(const std::vector<uint8_t>& bytes) {
        AudioSample* s = nullptr;
        AudioSampleManager::GetInstance()->GetAudioSample(&s, nullptr);
        s->SetDataSize(0);
        s->SetSilenceMs(20);
        if (!bytes.empty()) {
            std::memcpy(s->GetData(), bytes.data(), bytes.size());
            s->SetDataSize(static_cast<int>(bytes.size()));
        }
        return s;
    }
    int Push(const std::vector<uint8_t>& bytes) {
        AudioSample* s = MakeSample(bytes);
        AudioSampleList list{{s, nullptr}};
        int r = acm.RenderAudioSamples(list);
        s->Release(nullptr);
        return r;
    }
    // Pulls one frame; returns its bytes (empty when none came) and the result.
    std::vector<uint8_t> Pull(int* result = nullptr) {
        AudioSample* s = nullptr;
        int r = acm.GenerateData(&s);
        if (result != nullptr) {
            *result = r;
        }
        std::vector<uint8_t> bytes;
        if (s != nullptr) {
            bytes.assign(s->GetData(), s->GetData() + s->GetDataSize());
            s->Release(nullptr);
        }
        return bytes;
    }

    RegistrySandbox registry;
    ACMTransformer acm;
};

TEST_F(ACMTransformerTest, PullHandsOutWholeFramesOnly) {
    ASSERT_EQ(0, acm.StartTransform());
    EXPECT_EQ(0, acm.StartTransform()); // already running
    std::vector<uint8_t> bytes = Pattern(320);
    acm.AddConvertedData(bytes.data(), 319);
    int r = 0;
    EXPECT_TRUE(Pull(&r).empty());
    EXPECT_EQ(-10, r);
    acm.AddConvertedData(bytes.data() + 319, 1);
    EXPECT_EQ(bytes, Pull(&r));
    EXPECT_EQ(0, r);
    EXPECT_EQ(0, acm.GetQueuedBytes());
    acm.SetFrameLength(10);
    acm.AddConvertedData(bytes.data(), 320);
    EXPECT_EQ(160u, Pull().size()); // the new frame length applies at the next pull
    EXPECT_EQ(0, acm.StopTransform());
    EXPECT_EQ(0, acm.StopTransform()); // already stopped
    EXPECT_TRUE(Pull(&r).empty());
    EXPECT_EQ(-20, r);
    EXPECT_EQ(160, acm.GetQueuedBytes()); // a stop does not empty the queue
    EXPECT_EQ(0, acm.FlushBuffer());
    EXPECT_EQ(0, acm.GetQueuedBytes());
}

TEST_F(ACMTransformerTest, PushConvertsWholeBlocksAndCarriesTheRest) {
    // 16-bit stereo at 8 kHz: four bytes make one output value.
    std::vector<uint8_t> fmt = FmtBlock(1, 2, 8000, 16);
    ASSERT_EQ(0, acm.SetSourceFormat(fmt.data(), fmt.size()));
    ASSERT_EQ(0, acm.StartTransform());
    EXPECT_EQ(0, Push({0x10, 0x00, 0x30}));
    EXPECT_EQ(0, acm.GetQueuedBytes());
    EXPECT_EQ(0, Push({0x00}));
    EXPECT_EQ(2, acm.GetQueuedBytes());
    std::vector<uint8_t> stereo = Sine16(500, 8000, 160, 8000, 2);
    EXPECT_EQ(0, Push(stereo));
    std::vector<uint8_t> frame = Pull();
    ASSERT_EQ(320u, frame.size());
    EXPECT_EQ(0x20, frame[0]);
    // The rest are the sine's values, left and right being equal.
    std::vector<uint8_t> mono = Sine16(500, 8000, 160, 8000, 1);
    EXPECT_TRUE(std::equal(mono.begin(), mono.begin() + 318, frame.begin() + 2));
    acm.StopTransform();
}

TEST_F(ACMTransformerTest, RefusedPushesPaceTheSourceAndReturnTheirCodes) {
    plat::FakeClock clock;
    plat::ScopedClock scoped(clock);
    EXPECT_EQ(-50, Push(Pattern(320))); // not running
    AudioSampleList empty;
    EXPECT_EQ(-50, acm.RenderAudioSamples(empty));
    ASSERT_EQ(0, acm.StartTransform());
    AudioSample* silence = MakeSample({});
    silence->SetSilenceMs(40);
    AudioSampleList list{{silence, nullptr}};
    EXPECT_EQ(-40, acm.RenderAudioSamples(list));
    silence->Release(nullptr);
    EXPECT_EQ((std::vector<uint32_t>{20, 20, 40}), clock.Sleeps());
    acm.StopTransform();
}

TEST_F(ACMTransformerTest, FailedStartsAreNegative) {
    std::vector<uint8_t> bad = FmtBlock(1, 3, 8000, 16);
    EXPECT_EQ(-10, acm.SetSourceFormat(bad.data(), bad.size()));
    ASSERT_EQ(0, acm.StartTransform()); // the default format was kept
    acm.StopTransform();

    WaveFormat threeChannels = MakeWaveFormat(FORMAT_PCM16);
    threeChannels.nChannels = 3;
    acm.SetSourceFormat(threeChannels);
    EXPECT_EQ(-10, acm.StartTransform());
    EXPECT_FALSE(acm.IsRunning());

    acm.SetSourceFormat(MakeWaveFormat(FORMAT_G711_ULAW)); // a format the converter takes
    WaveFormat stereo = MakeWaveFormat(FORMAT_PCM16);
    stereo.nChannels = 2;
    stereo.nBlockAlign = 4;
    acm.SetDestinationFormat(stereo);
    EXPECT_EQ(-20, acm.StartTransform()); // the output cannot be produced
    EXPECT_FALSE(acm.IsRunning());
    int r = 0;
    Pull(&r);
    EXPECT_EQ(-20, r);
}

TEST_F(ACMTransformerTest, FullQueueHoldsThePusherUntilRoomOrStop) {
    ASSERT_EQ(0, acm.StartTransform());
    std::vector<uint8_t> fill(ACMTransformer::kBufferSize, 1);
    acm.AddConvertedData(fill.data(), static_cast<int>(fill.size()));
    std::atomic<bool> done{false};
    std::thread pusher([&] {
        Push(Pattern(640));
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(done.load());
    Pull();
    Pull(); // two frames make room for the 640 bytes
    pusher.join();
    EXPECT_EQ(ACMTransformer::kBufferSize, acm.GetQueuedBytes());

    done = false;
    std::thread second([&] {
        Push(Pattern(640));
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(done.load());
    acm.StopTransform(); // drops the waiting bytes
    second.join();
    EXPECT_EQ(ACMTransformer::kBufferSize, acm.GetQueuedBytes());
}

TEST_F(ACMTransformerTest, StopWithoutUpstreamDrainsToTheConsumer) {
    NullSink consumer;
    Connect(&acm, &consumer);
    std::vector<uint8_t> bytes = Pattern(700);

    // The consumer takes the two whole frames; the 60-byte rest is not waited for.
    ASSERT_EQ(0, acm.StartTransform());
    acm.AddConvertedData(bytes.data(), 700);
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        acm.StopTransform();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_FALSE(stopped.load());
    EXPECT_EQ(320u, Pull().size());
    EXPECT_EQ(320u, Pull().size());
    stopper.join();
    EXPECT_EQ(60, acm.GetQueuedBytes());

    // A flush ends the wait at once.
    acm.FlushBuffer();
    ASSERT_EQ(0, acm.StartTransform());
    acm.AddConvertedData(bytes.data(), 700);
    stopped = false;
    std::thread flushed([&] {
        acm.StopTransform();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_FALSE(stopped.load());
    acm.FlushBuffer();
    flushed.join();
    EXPECT_FALSE(acm.IsRunning());

    // Nobody pulls: the stop gives up after the idle limit instead of waiting for ever.
    ASSERT_EQ(0, acm.StartTransform());
    acm.AddConvertedData(bytes.data(), 700);
    auto begin = std::chrono::steady_clock::now();
    acm.StopTransform();
    auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(waited, std::chrono::milliseconds(ACMTransformer::kDrainIdleLimitMs - 100));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_EQ(700, acm.GetQueuedBytes());
    Disconnect(&acm, &consumer);
}

TEST_F(ACMTransformerTest, ConvertsA44kFileToFramesOf8k) {
    std::vector<uint8_t> fmt = FmtBlock(1, 1, 44100, 16);
    ASSERT_EQ(0, acm.SetSourceFormat(fmt.data(), fmt.size()));
    ASSERT_EQ(0, acm.StartTransform());
    std::vector<uint8_t> sine = Sine16(1000, 44100, 882 * 25, 10000);
    for (size_t pos = 0; pos < sine.size(); pos += 1764) {
        ASSERT_EQ(0, Push(std::vector<uint8_t>(sine.begin() + pos, sine.begin() + pos + 1764)));
    }
    // 25 frames in, about 25 frames of 320 bytes out (less the resampler's delay).
    int frames = 0;
    while (!Pull().empty()) {
        ++frames;
    }
    EXPECT_GE(frames, 23);
    EXPECT_LE(frames, 25);
    acm.StopTransform();
}

} // namespace
