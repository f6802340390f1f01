#include <gtest/gtest.h>

#include "media/dsp/FIRTables.h"
#include "media/dsp/FIRTransformer.h"
#include "media/testing/GraphTestSupport.h"

using namespace tamsor;

namespace {

using FIR = GraphFixture;

// Filters the values as one sample and returns the output values.
std::vector<int16_t> Filter(FIRTransformer& fir, const std::vector<int16_t>& values) {
    AudioSample* in = GraphFixture::Pcm(values);
    AudioSampleList list{{in, nullptr}};
    AudioSample* out = nullptr;
    EXPECT_EQ(0, fir.TransformAudioSamples(list, &out));
    std::vector<int16_t> result;
    if (out) {
        EXPECT_NE(in, out);
        for (size_t i = 0; i < values.size(); ++i) {
            result.push_back(ReadPCM16(out->GetData() + 2 * i));
        }
        out->Release(nullptr);
    }
    in->Release(nullptr);
    return result;
}

std::vector<int16_t> Impulse() {
    std::vector<int16_t> v(40, 0);
    v[0] = 32767;
    return v;
}

TEST_F(FIR, TablesAreSymmetric) {
    for (const FIRTable* t : {&kFIRTableA, &kFIRTableB, &kFIRTableC, &kFIRTableD}) {
        for (int i = 0; i < kFIRTaps; ++i) {
            EXPECT_EQ((*t)[i], (*t)[kFIRTaps - 1 - i]);
        }
    }
    EXPECT_EQ(0.853968, kFIRTableA[14]);
    EXPECT_EQ(-0.008976, kFIRTableD[28]);
}

TEST_F(FIR, ImpulseResponses) {
    FIRTransformer fir;
    fir.SetCoefficients(kFIRTableA, 29, 16);
    auto y = Filter(fir, Impulse());
    EXPECT_EQ(50, y[0]);
    EXPECT_EQ(-143, y[1]);
    EXPECT_EQ(-574, y[2]);
    EXPECT_EQ(27981, y[14]);
    EXPECT_EQ(50, y[28]);
    EXPECT_EQ(0, y[29]);

    fir.SetCoefficients(kFIRTableB, 29, 16);
    y = Filter(fir, Impulse());
    EXPECT_EQ(32767, y[14]); // 38235.3 clipped

    // Never more taps than the table holds; fewer taps cut the response short.
    fir.SetCoefficients(kFIRTableA, 1000, 16);
    y = Filter(fir, Impulse());
    EXPECT_EQ(50, y[28]);
    EXPECT_EQ(0, y[29]);
    fir.SetCoefficients(kFIRTableA, 3, 16);
    y = Filter(fir, Impulse());
    EXPECT_EQ(-574, y[2]);
    EXPECT_EQ(0, y[3]);
    ExpectPoolBalanced();
}

TEST_F(FIR, AConstantSettlesFromThe29thValue) {
    const std::pair<const FIRTable*, int16_t> cases[] = {
        {&kFIRTableA, -16}, {&kFIRTableB, 3726}, {&kFIRTableC, 25}, {&kFIRTableD, 418}};
    for (auto [table, settled] : cases) {
        FIRTransformer fir;
        fir.SetCoefficients(*table, 29, 16);
        // Across two samples: the delay line carries over.
        auto first = Filter(fir, std::vector<int16_t>(20, 10000));
        auto second = Filter(fir, std::vector<int16_t>(20, 10000));
        EXPECT_NE(settled, first[19]);
        EXPECT_EQ(settled, second[8]); // value 29
        EXPECT_EQ(settled, second[19]);
        // A new core starts again from zeros.
        fir.SetCoefficients(*table, 29, 16);
        EXPECT_EQ(first, Filter(fir, std::vector<int16_t>(20, 10000)));
    }
}

TEST_F(FIR, EmptySamplesPassAndMismatchedWidthsFailWithoutTakingASample) {
    FIRTransformer fir;
    fir.SetCoefficients(kFIRTableA, 29, 16);
    AudioSample* silence = Silence(20);
    AudioSampleList list{{silence, nullptr}};
    AudioSample* out = nullptr;
    EXPECT_EQ(0, fir.TransformAudioSamples(list, &out));
    EXPECT_EQ(silence, out); // not copied
    EXPECT_EQ(2, silence->GetRefCount());
    out->Release(nullptr);

    // An 8-bit sample through the 16-bit core.
    AudioSample* narrow = nullptr;
    Pool()->GetAudioSample(&narrow, nullptr);
    WaveFormat f8 = MakeWaveFormat(FORMAT_PCM16);
    f8.wBitsPerSample = 8;
    narrow->SetFormat(f8);
    narrow->SetDataSize(160);
    const int created = Pool()->GetCreatedCount();
    const size_t free = Pool()->GetFreeCount();
    AudioSampleList l8{{narrow, nullptr}};
    out = nullptr;
    EXPECT_EQ(-20, fir.TransformAudioSamples(l8, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(created, Pool()->GetCreatedCount());
    EXPECT_EQ(free, Pool()->GetFreeCount());

    // A width without a core fails every non-empty sample.
    fir.SetCoefficients(kFIRTableA, 29, 24);
    EXPECT_EQ(24u, fir.GetWidth());
    AudioSample* pcm = PcmFill(10, 5);
    AudioSampleList l16{{pcm, nullptr}};
    EXPECT_EQ(-20, fir.TransformAudioSamples(l16, &out));
    EXPECT_EQ(nullptr, out);
    for (auto* s : {silence, narrow, pcm}) {
        s->Release(nullptr);
    }
    ExpectPoolBalanced();
}

TEST_F(FIR, AnOddLastByteIsCopied) {
    FIRTransformer fir;
    fir.SetCoefficients(kFIRTableA, 29, 16);
    AudioSample* in = PcmFill(3, 0);
    WritePCM16(in->GetData(), 32767);
    in->GetData()[4] = 0x5a;
    in->SetDataSize(5);
    AudioSampleList list{{in, nullptr}};
    AudioSample* out = nullptr;
    ASSERT_EQ(0, fir.TransformAudioSamples(list, &out));
    EXPECT_EQ(5, out->GetDataSize());
    EXPECT_EQ(50, Value(out, 0));
    EXPECT_EQ(-143, Value(out, 1));
    EXPECT_EQ(0x5a, out->GetData()[4]);
    out->Release(nullptr);
    in->Release(nullptr);
}

TEST_F(FIR, EightAndThirtyTwoBitCoresClipToTheirRange) {
    FIRTransformer fir;
    fir.SetCoefficients(kFIRTableB, 29, 8);
    AudioSample* in = nullptr;
    Pool()->GetAudioSample(&in, nullptr);
    WaveFormat f8 = MakeWaveFormat(FORMAT_PCM16);
    f8.wBitsPerSample = 8;
    in->SetFormat(f8);
    std::memset(in->GetData(), 0, 20);
    in->GetData()[0] = 127;
    in->SetDataSize(20);
    AudioSampleList list{{in, nullptr}};
    AudioSample* out = nullptr;
    ASSERT_EQ(0, fir.TransformAudioSamples(list, &out));
    EXPECT_EQ(-4, static_cast<int8_t>(out->GetData()[0]));   // 127 * -0.033925
    EXPECT_EQ(127, static_cast<int8_t>(out->GetData()[14])); // 148.2 clipped
    out->Release(nullptr);
    in->Release(nullptr);

    fir.SetCoefficients(kFIRTableB, 29, 32);
    Pool()->GetAudioSample(&in, nullptr);
    WaveFormat f32 = MakeWaveFormat(FORMAT_PCM16);
    f32.wBitsPerSample = 32;
    in->SetFormat(f32);
    std::memset(in->GetData(), 0, 80);
    const int32_t big = 2147483647;
    std::memcpy(in->GetData(), &big, 4);
    in->SetDataSize(80);
    AudioSampleList l32{{in, nullptr}};
    ASSERT_EQ(0, fir.TransformAudioSamples(l32, &out));
    int32_t centre;
    std::memcpy(&centre, out->GetData() + 14 * 4, 4);
    EXPECT_EQ(2147483647, centre);
    out->Release(nullptr);
    in->Release(nullptr);
    ExpectPoolBalanced();
}

} // namespace
