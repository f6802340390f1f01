#include <memory>

#include "media/codec/G7112PCMTransformer.h"
#include "media/codec/G711Codec.h"
#include "media/codec/GenericRTP2PCMDecoder.h"
#include "media/codec/PCM2G711Transformer.h"
#include "media/testing/RtpTestSupport.h"

namespace {

struct G711Run {
    int start;
    uint8_t code;
};

#include "tests/media-codec/G711Expected.inc"

using namespace tamsor;

template <size_t N> uint8_t ExpectedCode(const G711Run (&runs)[N], int s) {
    uint8_t code = runs[0].code;
    for (const auto& r : runs) {
        if (r.start > s) {
            break;
        }
        code = r.code;
    }
    return code;
}

int16_t Sample16(const uint8_t* p) {
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

} // namespace

// Decoding equals audioop's ulaw2lin / alaw2lin for every code.
TEST(G711CodecTest, DecodingMatchesReferenceForAllCodes) {
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(kExpectedULawDecode[c], G711Codec::DecodeSample(static_cast<uint8_t>(c), 0))
            << "u-law code " << c;
        EXPECT_EQ(kExpectedALawDecode[c], G711Codec::DecodeSample(static_cast<uint8_t>(c), 1))
            << "A-law code " << c;
    }
}

// Encoding equals the encoding rule (computed independently by g711_expected.py) for every
// 16-bit input, through the block encoder.
TEST(G711CodecTest, EncodingMatchesRuleForAllInputs) {
    std::vector<uint8_t> pcm(65536 * 2);
    for (int s = -32768; s < 32768; ++s) {
        const auto u = static_cast<uint16_t>(s);
        pcm[2 * (s + 32768)] = static_cast<uint8_t>(u);
        pcm[2 * (s + 32768) + 1] = static_cast<uint8_t>(u >> 8);
    }
    for (int law : {0, 1}) {
        G711Codec codec;
        codec.law = law;
        std::vector<uint8_t> codes(65536);
        int32_t count = 65536;
        ASSERT_EQ(0,
                  codec.Encode(pcm.data(), static_cast<int32_t>(pcm.size()), codes.data(), &count));
        ASSERT_EQ(65536, count);
        int mismatches = 0;
        for (int s = -32768; s < 32768; ++s) {
            const uint8_t expected = law ? ExpectedCode(kExpectedALawEncodeRuns, s)
                                         : ExpectedCode(kExpectedULawEncodeRuns, s);
            if (codes[s + 32768] != expected && ++mismatches < 5) {
                ADD_FAILURE() << "law " << law << " input " << s;
            }
        }
        EXPECT_EQ(0, mismatches);
    }
}

TEST(G711CodecTest, KnownValues) {
    const struct {
        int16_t in;
        uint8_t mu, a;
    } table[] = {{0, 0xFF, 0xD5},  {-1, 0xFF, 0xD5},    {-3, 0xFF, 0xD5},
                 {-4, 0x7E, 0x55}, {32767, 0x80, 0xAA}, {-32768, 0x00, 0x2A}};
    for (const auto& t : table) {
        EXPECT_EQ(t.mu, G711Codec::EncodeSample(t.in, 0)) << t.in;
        EXPECT_EQ(t.a, G711Codec::EncodeSample(t.in, 1)) << t.in;
    }
    EXPECT_EQ(-32124, G711Codec::DecodeSample(0x00, 0));
    EXPECT_EQ(32124, G711Codec::DecodeSample(0x80, 0));
    EXPECT_EQ(0, G711Codec::DecodeSample(0xFF, 0));
    EXPECT_EQ(0, G711Codec::DecodeSample(0x7F, 0));
    EXPECT_EQ(-32256, G711Codec::DecodeSample(0x2A, 1));
    EXPECT_EQ(32256, G711Codec::DecodeSample(0xAA, 1));
    EXPECT_EQ(8, G711Codec::DecodeSample(0xD5, 1));
    EXPECT_EQ(-8, G711Codec::DecodeSample(0x55, 1));
    // Any law other than 1 codes u-law.
    EXPECT_EQ(0x80, G711Codec::EncodeSample(32767, 7));
}

TEST(G711CodecTest, LengthsAndCapacity) {
    G711Codec codec;
    uint8_t in[1601] = {};
    uint8_t out[3200];
    int32_t count = 100;
    EXPECT_EQ(0, codec.Encode(in, 5, out, &count));
    EXPECT_EQ(2, count); // a trailing odd byte is ignored
    count = 1;
    EXPECT_EQ(-10, codec.Encode(in, 4, out, &count));
    EXPECT_EQ(0, count);
    count = 3200;
    EXPECT_EQ(0, codec.Decode(in, 1600, out, &count));
    EXPECT_EQ(3200, count);
    count = 3200;
    EXPECT_EQ(-10, codec.Decode(in, 1601, out, &count));
    EXPECT_EQ(0, count);
}

class G711TransformerTest : public RtpFixture {};

TEST_F(G711TransformerTest, EncoderAndFixedDecoderRoundTrip) {
    for (int law : {0, 1}) {
        PCM2G711Transformer enc;
        G7112PCMTransformer dec;
        if (law) {
            enc.SetALaw();
            dec.SetALaw();
        } else {
            enc.SetMuLaw();
            dec.SetMuLaw();
        }
        AudioSample* pcm = Data(FORMAT_PCM16, 320);
        for (int i = 0; i < 160; ++i) {
            const auto v = static_cast<uint16_t>(i * 200 - 16000);
            pcm->GetData()[2 * i] = static_cast<uint8_t>(v);
            pcm->GetData()[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        AudioSampleList in{{pcm, nullptr}};
        AudioSample* coded = nullptr;
        ASSERT_EQ(0, enc.TransformAudioSamples(in, &coded));
        ASSERT_TRUE(coded);
        EXPECT_EQ(160, coded->GetDataSize());
        EXPECT_EQ(law ? WAVE_FORMAT_ALAW : WAVE_FORMAT_MULAW, coded->Format().wFormatTag);
        EXPECT_EQ(20, coded->GetDurationMs());

        AudioSampleList codedList{{coded, nullptr}};
        AudioSample* back = nullptr;
        ASSERT_EQ(0, dec.TransformAudioSamples(codedList, &back));
        ASSERT_TRUE(back);
        EXPECT_EQ(320, back->GetDataSize());
        EXPECT_EQ(20, back->GetDurationMs());
        for (int i = 0; i < 160; ++i) {
            const int16_t original = Sample16(pcm->GetData() + 2 * i);
            const int16_t decoded = Sample16(back->GetData() + 2 * i);
            EXPECT_EQ(G711Codec::DecodeSample(G711Codec::EncodeSample(original, law), law),
                      decoded);
            EXPECT_NEAR(original, decoded, 600);
        }
        pcm->Release(nullptr);
        coded->Release(nullptr);
        back->Release(nullptr);

        // Silence stays silence of the same length.
        AudioSample* quiet = Silence(30);
        AudioSampleList quietList{{quiet, nullptr}};
        AudioSample* out = nullptr;
        ASSERT_EQ(0, enc.TransformAudioSamples(quietList, &out));
        EXPECT_EQ(0, out->GetDataSize());
        EXPECT_EQ(30, out->GetSilenceMs());
        quiet->Release(nullptr);
        out->Release(nullptr);
    }
    ExpectPoolBalanced();
}

TEST_F(G711TransformerTest, FixedDecoderUsesThePacketsLawAndRefusesOthers) {
    G7112PCMTransformer dec;
    dec.SetMuLaw();
    auto decode = [&](uint8_t pt, int bytes, uint8_t fill, AudioSample** out) {
        AudioSample* in = WithHeader(Data(FORMAT_G711_ULAW, bytes, fill), 7, 1000, 42, pt);
        AudioSampleList list{{in, nullptr}};
        int r = dec.TransformAudioSamples(list, out);
        in->Release(nullptr);
        return r;
    };
    AudioSample* out = nullptr;
    ASSERT_EQ(0, decode(8, 160, 0xAA, &out)); // A-law although u-law was chosen
    EXPECT_EQ(32256, Sample16(out->GetData()));
    ASSERT_TRUE(out->GetRTPHeader());
    EXPECT_EQ(7, out->GetRTPHeader()->sequenceNumber);
    out->Release(nullptr);

    ASSERT_EQ(0, decode(0, 160, 0x80, &out));
    EXPECT_EQ(32124, Sample16(out->GetData()));
    out->Release(nullptr);

    ASSERT_EQ(0, decode(13, 4, 0x64, &out)); // comfort noise
    EXPECT_EQ(0, out->GetDataSize());
    EXPECT_EQ(20, out->GetSilenceMs());
    out->Release(nullptr);

    out = nullptr;
    EXPECT_EQ(-10, decode(96, 160, 0, &out));
    if (out) {
        out->Release(nullptr);
    }

    // Neither data nor silence.
    AudioSample* empty = Silence(0);
    AudioSampleList list{{empty, nullptr}};
    out = nullptr;
    EXPECT_EQ(-10, dec.TransformAudioSamples(list, &out));
    EXPECT_EQ(nullptr, out);
    empty->Release(nullptr);

    // More than 200 ms of G.711 does not fit the output.
    AudioSample* big = Data(FORMAT_G711_ULAW, 1601);
    AudioSampleList bigList{{big, nullptr}};
    EXPECT_EQ(-10, dec.TransformAudioSamples(bigList, &out));
    if (out) {
        out->Release(nullptr);
    }
    big->Release(nullptr);
    ExpectPoolBalanced();
}

TEST_F(G711TransformerTest, GenericDecoderPicksLawAndReportsCodecChanges) {
    GenericRTP2PCMDecoder dec;
    EXPECT_EQ("", Setting(kRegRTPReceiveCodec));
    auto run = [&](AudioSample* in, AudioSample** out) {
        AudioSampleList list{{in, nullptr}};
        int r = dec.TransformAudioSamples(list, out);
        in->Release(nullptr);
        return r;
    };
    auto packet = [&](uint8_t pt, int bytes, uint8_t fill) {
        return WithHeader(Data(FORMAT_G711_ULAW, bytes, fill), 1, 160, 5, pt);
    };
    AudioSample* out = nullptr;

    ASSERT_EQ(0, run(packet(8, 160, 0xAA), &out));
    EXPECT_EQ(32256, Sample16(out->GetData()));
    EXPECT_EQ(320, out->GetDataSize());
    out->Release(nullptr);
    EXPECT_EQ("G.711 ALaw", Setting(kRegRTPReceiveCodec));

    ASSERT_EQ(0, run(packet(0, 160, 0x80), &out));
    EXPECT_EQ(32124, Sample16(out->GetData()));
    out->Release(nullptr);
    EXPECT_EQ("G.711 ULaw", Setting(kRegRTPReceiveCodec));

    // Written once per change: a second u-law packet and comfort noise leave it alone.
    SetSetting(kRegRTPReceiveCodec, "marker");
    ASSERT_EQ(0, run(packet(0, 160, 0x80), &out));
    out->Release(nullptr);
    ASSERT_EQ(0, run(packet(13, 4, 0x64), &out));
    EXPECT_EQ(0, out->GetDataSize()); // comfort noise with data: 20 ms of silence
    EXPECT_EQ(20, out->GetSilenceMs());
    out->Release(nullptr);
    EXPECT_EQ("marker", Setting(kRegRTPReceiveCodec));

    // Comfort noise as the receiver makes it (no data, 20 ms).
    AudioSample* cn = WithHeader(Silence(20), 2, 320, 5, 13);
    ASSERT_EQ(0, run(cn, &out));
    EXPECT_EQ(20, out->GetSilenceMs());
    out->Release(nullptr);

    out = nullptr;
    EXPECT_EQ(-10, run(packet(96, 160, 0), &out));
    EXPECT_EQ("Unknown Type 96 (ERROR)", Setting(kRegRTPReceiveCodec));
    if (out) {
        out->Release(nullptr);
    }

    out = nullptr;
    EXPECT_EQ(-20, run(Data(FORMAT_G711_ULAW, 160), &out)); // no RTP header
    if (out) {
        out->Release(nullptr);
    }
    out = nullptr;
    EXPECT_EQ(-10, run(WithHeader(Silence(0), 3, 480, 5, 0), &out)); // no data, no silence
    if (out) {
        out->Release(nullptr);
    }

    EXPECT_EQ(0, dec.TransformStopped());
    EXPECT_EQ("", Setting(kRegRTPReceiveCodec));
    ASSERT_EQ(0, run(packet(0, 160, 0x80), &out)); // named again after a restart
    out->Release(nullptr);
    EXPECT_EQ("G.711 ULaw", Setting(kRegRTPReceiveCodec));
    ExpectPoolBalanced();
}
