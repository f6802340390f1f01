#include <gtest/gtest.h>

#include "media/dsp/PCMMixer.h"
#include "media/dsp/PCMVolumeTransformer.h"
#include "media/testing/GraphTestSupport.h"

using namespace tamsor;

namespace {

using Mixer = GraphFixture;

AudioSample* Mix(PCMMixer& mixer, std::vector<AudioSample*> inputs) {
    AudioSampleList list;
    for (auto* s : inputs) {
        list.emplace_back(s, nullptr);
    }
    AudioSample* out = reinterpret_cast<AudioSample*>(1);
    EXPECT_EQ(0, mixer.TransformAudioSamples(list, &out));
    return out;
}

TEST_F(Mixer, SumsAreClampedToTheSixteenBitRange) {
    PCMMixer mixer;
    AudioSample* a = PcmFill(160, 20000);
    AudioSample* b = PcmFill(160, 20000);
    AudioSample* out = Mix(mixer, {a, b});
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(320, out->GetDataSize());
    EXPECT_EQ(32767, Value(out, 0));
    EXPECT_EQ(32767, Value(out, 159));
    out->Release(nullptr);

    AudioSample* c = PcmFill(160, -20000);
    AudioSample* d = PcmFill(160, -20000);
    out = Mix(mixer, {c, d});
    EXPECT_EQ(-32768, Value(out, 80));
    for (auto* s : {a, b, c, d, out}) {
        s->Release(nullptr);
    }
    ExpectPoolBalanced();
}

TEST_F(Mixer, LengthsSilencesAndPassThrough) {
    PCMMixer mixer;
    // 320 and 160 bytes: the first 80 values are sums, the rest copy the longer input.
    AudioSample* longer = PcmFill(160, 100);
    AudioSample* shorter = PcmFill(80, -30);
    AudioSample* out = Mix(mixer, {longer, shorter});
    EXPECT_EQ(320, out->GetDataSize());
    EXPECT_EQ(70, Value(out, 0));
    EXPECT_EQ(70, Value(out, 79));
    EXPECT_EQ(100, Value(out, 80));
    EXPECT_EQ(100, Value(out, 159));
    out->Release(nullptr);

    // Two silences: a silence as long as the longer one.
    AudioSample* s20 = Silence(20);
    AudioSample* s40 = Silence(40);
    out = Mix(mixer, {s20, s40});
    EXPECT_EQ(0, out->GetDataSize());
    EXPECT_EQ(40, out->GetSilenceMs());
    out->Release(nullptr);

    // Silence and data: the data's length, no silence.
    out = Mix(mixer, {s20, longer});
    EXPECT_EQ(320, out->GetDataSize());
    EXPECT_EQ(0, out->GetSilenceMs());
    EXPECT_EQ(100, Value(out, 5));
    out->Release(nullptr);

    // An odd trailing byte is dropped.
    AudioSample* odd = PcmFill(3, 5);
    odd->SetDataSize(5);
    out = Mix(mixer, {odd, shorter});
    EXPECT_EQ(160, out->GetDataSize());
    EXPECT_EQ(-25, Value(out, 1));
    EXPECT_EQ(-30, Value(out, 2));
    out->Release(nullptr);

    // A single input is the output itself, with one more reference; entries without a sample
    // take no part.
    out = Mix(mixer, {nullptr, longer, nullptr});
    EXPECT_EQ(longer, out);
    EXPECT_EQ(2, longer->GetRefCount());
    out->Release(nullptr);
    EXPECT_EQ(nullptr, Mix(mixer, {}));
    EXPECT_EQ(nullptr, Mix(mixer, {nullptr}));

    for (auto* s : {longer, shorter, s20, s40, odd}) {
        s->Release(nullptr);
    }
    ExpectPoolBalanced();
}

TEST_F(Mixer, MixesSamplesAtAnyByteOffsetOfTheirBuffers) {
    // Values are read byte-wise: a sample whose data was written at odd positions mixes alike.
    PCMMixer mixer;
    AudioSample* a = PcmFill(4, 0);
    const uint8_t bytes[8] = {0x01, 0x02, 0x03, 0x04, 0xff, 0xff, 0x00, 0x80};
    std::memcpy(a->GetData(), bytes, sizeof(bytes));
    AudioSample* b = PcmFill(4, 1);
    AudioSample* out = Mix(mixer, {a, b});
    EXPECT_EQ(0x0201 + 1, Value(out, 0));
    EXPECT_EQ(0x0403 + 1, Value(out, 1));
    EXPECT_EQ(0, Value(out, 2));
    EXPECT_EQ(-32767, Value(out, 3));
    for (auto* s : {a, b, out}) {
        s->Release(nullptr);
    }
}

TEST_F(Mixer, VolumeScalesByItsSquareInPlace) {
    PCMVolumeTransformer volume;
    EXPECT_EQ(0, volume.GetVolume());
    EXPECT_EQ(0, volume.SetVolume(150));
    EXPECT_EQ(100, volume.GetVolume());
    volume.SetVolume(-5);
    EXPECT_EQ(0, volume.GetVolume());

    AudioSample* s = Pcm({1001, -1001, 32767, -32768});
    AudioSampleList list{{s, nullptr}, {nullptr, nullptr}};
    AudioSample* out = nullptr;
    volume.SetVolume(50);
    EXPECT_EQ(0, volume.TransformAudioSamples(list, &out));
    EXPECT_EQ(s, out); // the same sample, changed
    EXPECT_EQ(2, s->GetRefCount());
    EXPECT_EQ(250, Value(s, 0));
    EXPECT_EQ(-250, Value(s, 1));
    EXPECT_EQ(8191, Value(s, 2));
    EXPECT_EQ(-8192, Value(s, 3));
    out->Release(nullptr);

    volume.SetVolume(100);
    volume.TransformAudioSamples(list, &out);
    EXPECT_EQ(250, Value(s, 0));
    out->Release(nullptr);
    volume.SetVolume(0);
    volume.TransformAudioSamples(list, &out);
    EXPECT_EQ(0, Value(s, 0));
    EXPECT_EQ(8, s->GetDataSize());
    out->Release(nullptr);

    AudioSampleList empty;
    EXPECT_EQ(0, volume.TransformAudioSamples(empty, &out));
    EXPECT_EQ(nullptr, out);
    s->Release(nullptr);
    ExpectPoolBalanced();
}

} // namespace
