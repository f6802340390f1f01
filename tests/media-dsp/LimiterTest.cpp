#include <gtest/gtest.h>

#include <cmath>

#include "media/dsp/Limiter.h"
#include "media/testing/GraphTestSupport.h"

using namespace tamsor;

namespace {

using LimiterStage = GraphFixture;

TEST(LimiterCoreTest, SilenceStaysAtTheFloorAndIsUntouched) {
    LimiterCore core(-8.0, 0.075, -0.00075);
    std::vector<int16_t> zeros(400, 0);
    EXPECT_EQ(0, core.Process(zeros.data(), static_cast<int>(zeros.size())));
    EXPECT_EQ(1e-20, core.GetLoss());
    for (int16_t v : zeros) {
        ASSERT_EQ(0, v);
    }
    // Quiet values below the threshold are untouched too.
    std::vector<int16_t> quiet(400, 3000);
    core.Process(quiet.data(), 400);
    EXPECT_EQ(1e-20, core.GetLoss());
    EXPECT_EQ(3000, quiet[399]);
}

TEST(LimiterCoreTest, AnAttackRunsOnToTheLoudLevelThenReleasesSlowly) {
    LimiterCore core(-8.0, 0.075, -0.00075);
    int16_t loud = 32767;
    core.Process(&loud, 1);
    EXPECT_NEAR(0.075, core.GetLoss(), 1e-12);
    // The loud value's level is about 11.1413 dB: the increment keeps running until loss
    // reaches it (149 increments in all), then the decrement takes over.
    std::vector<int16_t> zeros(147, 0);
    core.Process(zeros.data(), 147);
    EXPECT_NEAR(148 * 0.075, core.GetLoss(), 1e-9);
    int16_t zero = 0;
    core.Process(&zero, 1);
    EXPECT_NEAR(149 * 0.075, core.GetLoss(), 1e-9);
    core.Process(&zero, 1);
    EXPECT_NEAR(149 * 0.075 - 0.00075, core.GetLoss(), 1e-9);
    std::vector<int16_t> more(20000, 0);
    core.Process(more.data(), 20000);
    EXPECT_EQ(1e-20, core.GetLoss());
    // Nothing to do for a count below one.
    EXPECT_EQ(0, core.Process(nullptr, 0));
}

TEST(LimiterCoreTest, AtALossOf11Point1416FullScaleBecomes9085) {
    // One increment of 11.1416 dB from the floor.
    LimiterCore core(-8.0, 11.1416, -0.00075);
    int16_t values[2] = {32767, -32767};
    core.Process(values, 1);
    EXPECT_NEAR(11.1416, core.GetLoss(), 1e-9);
    EXPECT_EQ(9085, values[0]);
}

TEST_F(LimiterStage, LimitsSixteenBitPcmInPlaceAndPassesOtherFormatsUnchanged) {
    Limiter limiter(-8.0, 11.1416, -0.00075);
    AudioSample* s = Pcm({32767, 100});
    AudioSampleList list{{s, nullptr}};
    AudioSample* out = nullptr;
    EXPECT_EQ(0, limiter.TransformAudioSamples(list, &out));
    EXPECT_EQ(s, out);
    EXPECT_EQ(9085, Value(s, 0));
    EXPECT_EQ(2, s->GetRefCount());
    out->Release(nullptr);

    // 8-bit PCM and G.711 data pass through as they are, and the state does not move.
    const double loss = limiter.GetCore()->GetLoss();
    for (WaveFormat f : {MakeWaveFormat(FORMAT_PCM16), MakeWaveFormat(FORMAT_G711_ULAW)}) {
        if (f.wFormatTag == WAVE_FORMAT_PCM) {
            f.wBitsPerSample = 8;
            f.nBlockAlign = 1;
        }
        AudioSample* other = nullptr;
        Pool()->GetAudioSample(&other, nullptr);
        other->SetFormat(f);
        std::memset(other->GetData(), 0x7f, 160);
        other->SetDataSize(160);
        AudioSampleList l{{other, nullptr}};
        EXPECT_EQ(0, limiter.TransformAudioSamples(l, &out));
        EXPECT_EQ(other, out);
        for (int i = 0; i < 160; ++i) {
            ASSERT_EQ(0x7f, other->GetData()[i]);
        }
        out->Release(nullptr);
        other->Release(nullptr);
    }
    EXPECT_EQ(loss, limiter.GetCore()->GetLoss());

    // New parameters start from nothing.
    limiter.SetParameters(-8.0, 0.075, -0.00075);
    EXPECT_EQ(1e-20, limiter.GetCore()->GetLoss());
    AudioSampleList empty;
    EXPECT_EQ(0, limiter.TransformAudioSamples(empty, &out));
    EXPECT_EQ(nullptr, out);
    s->Release(nullptr);
    ExpectPoolBalanced();
}

} // namespace
