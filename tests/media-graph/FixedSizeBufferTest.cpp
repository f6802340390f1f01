#include <gtest/gtest.h>

#include <cmath>

#include "media/dsp/PCMVolumeMaximizer.h"
#include "media/graph/FixedSizeAudioBuffer.h"
#include "media/testing/GraphTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"

using namespace tamsor;

namespace {

using FixedBuffer = GraphFixture;

// A source handing out prepared samples, then nothing.
class QueueSource : public AudioSource {
public:
    ~QueueSource() override {
        StopSourceThread();
        for (auto* s : queue) {
            s->Release(nullptr);
        }
    }
    int GenerateData(AudioSample** out) override {
        ++asked;
        if (queue.empty()) {
            return 0;
        }
        *out = queue.front();
        queue.erase(queue.begin());
        return 0;
    }
    std::vector<AudioSample*> queue;
    int asked = 0;
};

TEST_F(FixedBuffer, PullsCutThirtyMillisecondInputIntoTwentyMillisecondOutput) {
    FixedSizeAudioBuffer buffer;
    QueueSource source;
    FakeSink sink;
    Connect(&source, &buffer);
    Connect(&buffer, &sink);
    for (int i = 0; i < 4; ++i) {
        source.queue.push_back(PcmFill(240, static_cast<int16_t>(i + 1)));
    }
    buffer.StartTransform();

    AudioSample* out = nullptr;
    ASSERT_EQ(0, buffer.GiveNextAudioSample(&out, &sink));
    EXPECT_EQ(320, out->GetDataSize());
    EXPECT_EQ(1, Value(out, 0));
    EXPECT_EQ(160, buffer.BufferedBytes());
    EXPECT_EQ(1, source.asked);
    out->Release(nullptr);

    buffer.GiveNextAudioSample(&out, &sink);
    EXPECT_EQ(1, Value(out, 0));  // the 10 ms kept back
    EXPECT_EQ(2, Value(out, 80)); // then the next input
    EXPECT_EQ(320, buffer.BufferedBytes());
    EXPECT_EQ(2, source.asked);
    out->Release(nullptr);

    buffer.GiveNextAudioSample(&out, &sink);
    EXPECT_EQ(2, source.asked); // the third pull asks for nothing
    EXPECT_EQ(0, buffer.BufferedBytes());
    out->Release(nullptr);

    // Stopped: silence of the output duration, whatever is buffered.
    buffer.GiveNextAudioSample(&out, &sink);
    buffer.StopTransform();
    AudioSample* silent = nullptr;
    buffer.GiveNextAudioSample(&silent, &sink);
    EXPECT_EQ(0, silent->GetDataSize());
    EXPECT_EQ(20, silent->GetSilenceMs());
    EXPECT_EQ(WAVE_FORMAT_PCM, silent->Format().wFormatTag);
    silent->Release(nullptr);
    out->Release(nullptr);
}

TEST_F(FixedBuffer, PushesAreCutAndSentOnAndSilenceBecomesZeroBytes) {
    FixedSizeAudioBuffer buffer;
    FakeSource source;
    FakeSink sink;
    Connect(&buffer, &sink);
    AudioSample* big = PcmFill(240, 9);
    source.SendAudioSample(big, &buffer); // not started: nothing happens
    EXPECT_EQ(0, sink.renders.load());

    buffer.StartTransform();
    source.SendAudioSample(big, &buffer); // 480 bytes: one 320-byte sample, 160 kept
    ASSERT_EQ(1, sink.renders.load());
    EXPECT_EQ(160, buffer.BufferedBytes());
    AudioSample* silence = Silence(20); // 320 zero bytes
    source.SendAudioSample(silence, &buffer);
    ASSERT_EQ(2, sink.renders.load());
    EXPECT_EQ(160, buffer.BufferedBytes());
    auto sets = sink.Sets();
    EXPECT_EQ(320, sets[0][0].size);
    EXPECT_EQ(9, sets[0][0].first);
    EXPECT_EQ(&buffer, sets[0][0].origin);
    EXPECT_EQ(320, sets[1][0].size);
    EXPECT_EQ(9, sets[1][0].first); // the kept 10 ms first
    AudioSample* rest = nullptr;
    buffer.StopTransform();
    buffer.GiveNextAudioSample(&rest, &sink);
    EXPECT_EQ(0, rest->GetDataSize());
    rest->Release(nullptr);
    big->Release(nullptr);
    silence->Release(nullptr);
    ExpectPoolBalanced();
}

TEST_F(FixedBuffer, OutputSizeIsClampedAndSamplesWithoutBlockFiguresAreIgnored) {
    plat::FakeClock clock;
    plat::ScopedClock scoped(clock);
    FixedSizeAudioBuffer buffer;
    FakeSource source;
    FakeSink sink;
    Connect(&buffer, &sink);
    buffer.StartTransform();

    // A zero output duration still cuts one block at a time, so pushing ends.
    buffer.SetOutputMs(0);
    AudioSample* s = PcmFill(4, 1);
    source.SendAudioSample(s, &buffer);
    EXPECT_EQ(2, buffer.GetOutputSize());
    EXPECT_EQ(4, sink.renders.load());

    // A long output duration is cut to what one sample holds.
    buffer.SetOutputMs(500);
    source.SendAudioSample(s, &buffer);
    EXPECT_EQ(3200, buffer.GetOutputSize());
    s->Release(nullptr);

    // A sample whose format has no block figures adds nothing and changes nothing.
    AudioSample* odd = nullptr;
    Pool()->GetAudioSample(&odd, nullptr);
    WaveFormat noRate = MakeWaveFormat(FORMAT_PCM16);
    noRate.nSamplesPerSec = 0;
    odd->SetFormat(noRate);
    ASSERT_EQ(0, odd->GetBytesPerBlock());
    odd->SetDataSize(320);
    source.SendAudioSample(odd, &buffer);
    EXPECT_EQ(8, buffer.BufferedBytes());
    EXPECT_EQ(3200, buffer.GetOutputSize());
    odd->Release(nullptr);

    // An empty list costs a 5 ms sleep.
    AudioSampleList empty;
    buffer.EnquePacket(empty);
    EXPECT_EQ((std::vector<uint32_t>{5}), clock.Sleeps());
    buffer.StopTransform();
}

using Maximizer = GraphFixture;

AudioSample* Maximize(PCMVolumeMaximizer& m, AudioSample* in, int* result) {
    AudioSampleList list{{in, nullptr}};
    AudioSample* out = nullptr;
    *result = m.TransformAudioSamples(list, &out);
    return out;
}

TEST_F(Maximizer, SettingsAreClamped) {
    PCMVolumeMaximizer m;
    EXPECT_EQ(100.0, m.GetPercentile());
    EXPECT_EQ(100u, m.GetMaximumAmplification());
    m.SetPercentile(-3);
    EXPECT_EQ(0.0, m.GetPercentile());
    m.SetPercentile(250);
    EXPECT_EQ(100.0, m.GetPercentile());
    m.SetPercentile(std::nan(""));
    EXPECT_EQ(0.0, m.GetPercentile());
    m.SetMaximumAmplification(50);
    EXPECT_EQ(100u, m.GetMaximumAmplification());
    m.SetMaximumAmplification(800);
    EXPECT_EQ(800u, m.GetMaximumAmplification());
}

TEST_F(Maximizer, GainFromThePercentileLevelCappedAtTheMaximum) {
    PCMVolumeMaximizer m;
    m.SetPercentile(95.0);
    m.SetMaximumAmplification(800);
    int result = 1;

    // Magnitudes in bin 15: level 16, gain 16 capped to 8.
    AudioSample* quiet = PcmFill(160, 2000);
    WritePCM16(quiet->GetData() + 2, -2000);
    AudioSample* out = Maximize(m, quiet, &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ(quiet, out);
    EXPECT_DOUBLE_EQ(8.0, m.GetLastGain());
    EXPECT_EQ(16000, Value(quiet, 0));
    EXPECT_EQ(-16000, Value(quiet, 1));
    out->Release(nullptr);

    // Level 128 (magnitudes 16256..16383): gain 2.
    AudioSample* mid = PcmFill(160, 16300);
    out = Maximize(m, mid, &result);
    EXPECT_DOUBLE_EQ(2.0, m.GetLastGain());
    EXPECT_EQ(32600, Value(mid, 0));
    out->Release(nullptr);

    // All zeros: level 1, gain the cap, values stay 0.
    AudioSample* zeros = PcmFill(160, 0);
    out = Maximize(m, zeros, &result);
    EXPECT_DOUBLE_EQ(8.0, m.GetLastGain());
    EXPECT_EQ(0, Value(zeros, 10));
    out->Release(nullptr);

    // Percentile 0: the walk never stops, the gain is the cap.
    m.SetPercentile(0.0);
    AudioSample* any = PcmFill(160, 10000);
    out = Maximize(m, any, &result);
    EXPECT_DOUBLE_EQ(8.0, m.GetLastGain());
    EXPECT_EQ(32767, Value(any, 0));
    out->Release(nullptr);
    for (auto* s : {quiet, mid, zeros, any}) {
        EXPECT_EQ(1, s->GetRefCount());
        s->Release(nullptr);
    }
    ExpectPoolBalanced();
}

TEST_F(Maximizer, FullScaleOfEitherSignCountsInTheTopBin) {
    PCMVolumeMaximizer m;
    m.SetPercentile(95.0);
    m.SetMaximumAmplification(800);
    int result;
    for (int16_t loud : {int16_t{32767}, int16_t{-32767}, int16_t{-32768}}) {
        // More than 5 % of the values at full scale: level 256, gain 1.
        std::vector<int16_t> values(160, 100);
        for (int i = 0; i < 20; ++i) {
            values[static_cast<size_t>(i)] = loud;
        }
        AudioSample* s = Pcm(values);
        AudioSample* out = Maximize(m, s, &result);
        EXPECT_EQ(0, result);
        EXPECT_DOUBLE_EQ(1.0, m.GetLastGain()) << loud;
        EXPECT_EQ(100, Value(s, 50));
        // -32768 times a gain of 1 is clamped to -32767.
        EXPECT_EQ(loud == -32768 ? -32767 : loud, Value(s, 0));
        out->Release(nullptr);
        s->Release(nullptr);
    }
}

TEST_F(Maximizer, FailuresAndPassThrough) {
    PCMVolumeMaximizer m;
    int result;
    AudioSampleList empty;
    AudioSample* out = nullptr;
    EXPECT_EQ(-10, m.TransformAudioSamples(empty, &out));
    EXPECT_EQ(nullptr, out);
    AudioSample* silence = Silence(20);
    EXPECT_EQ(nullptr, Maximize(m, silence, &result));
    EXPECT_EQ(-20, result);

    // A cap of 1.00 or less: the frame passes unchanged.
    AudioSample* s = PcmFill(160, 1000);
    out = Maximize(m, s, &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ(s, out);
    EXPECT_EQ(1000, Value(s, 3));
    out->Release(nullptr);

    m.SetMaximumAmplification(800);
    WaveFormat f24 = MakeWaveFormat(FORMAT_PCM16);
    f24.wBitsPerSample = 24;
    AudioSample* wide = nullptr;
    Pool()->GetAudioSample(&wide, nullptr);
    wide->SetFormat(f24);
    wide->SetDataSize(300);
    EXPECT_EQ(nullptr, Maximize(m, wide, &result));
    EXPECT_EQ(-30, result);

    // One byte of a 16-bit frame holds no whole value: it passes unchanged.
    AudioSample* tiny = PcmFill(1, 0x0102);
    tiny->SetDataSize(1);
    out = Maximize(m, tiny, &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ(tiny, out);
    EXPECT_EQ(0x02, tiny->GetData()[0]);
    out->Release(nullptr);

    // 8-bit values: full scale 127.
    WaveFormat f8 = MakeWaveFormat(FORMAT_PCM16);
    f8.wBitsPerSample = 8;
    AudioSample* narrow = nullptr;
    Pool()->GetAudioSample(&narrow, nullptr);
    narrow->SetFormat(f8);
    std::memset(narrow->GetData(), 10, 160);
    narrow->SetDataSize(160);
    out = Maximize(m, narrow, &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ(80, static_cast<int8_t>(narrow->GetData()[7])); // level 21, gain 12.19 capped to 8
    out->Release(nullptr);

    for (auto* x : {silence, s, wide, tiny, narrow}) {
        x->Release(nullptr);
    }
    ExpectPoolBalanced();
}

} // namespace
