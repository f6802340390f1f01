#include "platform/audio/AudioConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/audio/testing/WavFixture.h"

using plat::AudioConverter;
using plat::ConverterError;
using namespace wavtest;

namespace {

std::vector<int16_t> Values(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> v(bytes.size() / 2);
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return v;
}

std::vector<int16_t> ConvertAll(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& in) {
    AudioConverter converter;
    EXPECT_EQ(ConverterError::None, converter.Open(fmt.data(), fmt.size()));
    std::vector<uint8_t> out;
    converter.Convert(in.data(), in.size(), &out);
    return Values(out);
}

// Ratio in dB of a pure tone at `freq` to everything else in the signal (DC removed), by a
// least-squares fit of the tone; the edges are skipped.
double ToneSnrDb(const std::vector<int16_t>& s, double freq, double rate, size_t skip) {
    double ss = 0, cc = 0, sc = 0, sy = 0, cy = 0, mean = 0;
    size_t n = s.size() - 2 * skip;
    for (size_t i = skip; i < s.size() - skip; ++i) {
        mean += s[i];
    }
    mean /= static_cast<double>(n);
    for (size_t i = skip; i < s.size() - skip; ++i) {
        double a = std::sin(2 * M_PI * freq * i / rate), b = std::cos(2 * M_PI * freq * i / rate);
        double y = s[i] - mean;
        ss += a * a;
        cc += b * b;
        sc += a * b;
        sy += a * y;
        cy += b * y;
    }
    double det = ss * cc - sc * sc;
    double ka = (sy * cc - cy * sc) / det, kb = (cy * ss - sy * sc) / det;
    double signal = 0, noise = 0;
    for (size_t i = skip; i < s.size() - skip; ++i) {
        double fit =
            ka * std::sin(2 * M_PI * freq * i / rate) + kb * std::cos(2 * M_PI * freq * i / rate);
        double y = s[i] - mean;
        signal += fit * fit;
        noise += (y - fit) * (y - fit);
    }
    return 10 * std::log10(signal / std::max(noise, 1e-9));
}

double Rms(const std::vector<int16_t>& s, size_t skip) {
    double sum = 0;
    for (size_t i = skip; i < s.size() - skip; ++i) {
        sum += static_cast<double>(s[i]) * s[i];
    }
    return std::sqrt(sum / static_cast<double>(s.size() - 2 * skip));
}

TEST(AudioConverterFormat, ValidatesTheWholeBlock) {
    struct Case {
        std::vector<uint8_t> block;
        ConverterError expected;
    };
    std::vector<uint8_t> badAlign = FmtBlock(1, 2, 8000, 16);
    badAlign[12] = 2; // block align 2 for 16-bit stereo
    std::vector<uint8_t> badAvg = FmtBlock(1, 1, 8000, 16);
    badAvg[8] = 0x41; // average bytes per second off by one
    std::vector<uint8_t> shortExt = ExtensibleBlock(1, 1, 8000, 16);
    shortExt.resize(30);
    std::vector<uint8_t> shortBlock = FmtBlock(1, 1, 8000, 16);
    shortBlock.resize(14);
    std::vector<uint8_t> foreignGuid = ExtensibleBlock(1, 1, 8000, 16);
    foreignGuid.back() ^= 0xFF;
    const std::vector<Case> cases = {
        {FmtBlock(1, 1, 8000, 16), ConverterError::None},
        {FmtBlock(1, 2, 44100, 16, false), ConverterError::None},
        {FmtBlock(1, 2, 48000, 24), ConverterError::None},
        {FmtBlock(3, 1, 16000, 32), ConverterError::None},
        {FmtBlock(7, 1, 8000, 8), ConverterError::None},
        {ExtensibleBlock(1, 2, 44100, 24), ConverterError::None},
        {ExtensibleBlock(3, 1, 8000, 32), ConverterError::None},
        {shortBlock, ConverterError::ShortFormat},
        {shortExt, ConverterError::ShortFormat},
        {foreignGuid, ConverterError::UnsupportedTag},
        {FmtBlock(2, 1, 8000, 4), ConverterError::UnsupportedTag}, // ADPCM
        {FmtBlock(1, 3, 8000, 16), ConverterError::BadChannels},
        {FmtBlock(1, 0, 8000, 16), ConverterError::BadChannels},
        {FmtBlock(1, 1, 0, 16), ConverterError::BadRate},
        {FmtBlock(1, 1, 1000000, 16), ConverterError::BadRate},
        {FmtBlock(1, 1, 8000, 12), ConverterError::BadBits},
        {FmtBlock(3, 1, 8000, 64), ConverterError::BadBits},
        {FmtBlock(6, 1, 8000, 16), ConverterError::BadBits},
        {badAlign, ConverterError::BadBlockAlign},
        {badAvg, ConverterError::BadAvgBytes},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        plat::AudioFormatInfo info;
        EXPECT_EQ(cases[i].expected,
                  AudioConverter::ParseFormat(cases[i].block.data(), cases[i].block.size(), &info))
            << "case " << i;
    }
    AudioConverter converter;
    EXPECT_EQ(ConverterError::BadChannels, converter.Open(cases[11].block.data(), 18));
    EXPECT_FALSE(converter.IsOpen());
    std::vector<uint8_t> out;
    EXPECT_EQ(0u, converter.Convert(Pattern(4).data(), 4, &out));
    EXPECT_TRUE(out.empty());
}

TEST(AudioConverterDecode, EachFormatAt8kMono) {
    // 16-bit passes through unchanged.
    std::vector<uint8_t> pcm16 = Sine16(440, 8000, 200, 12000);
    EXPECT_EQ(Values(pcm16), ConvertAll(FmtBlock(1, 1, 8000, 16), pcm16));
    EXPECT_EQ((std::vector<int16_t>{0, 32512, -32768}),
              ConvertAll(FmtBlock(1, 1, 8000, 8), {0x80, 0xFF, 0x00}));
    EXPECT_EQ((std::vector<int16_t>{4660, -4660, 0}),
              ConvertAll(FmtBlock(1, 1, 8000, 24),
                         {0x56, 0x34, 0x12, 0xAA, 0xCB, 0xED, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ((std::vector<int16_t>{32767, -32768, 1}),
              ConvertAll(FmtBlock(1, 1, 8000, 32),
                         {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x01, 0x00}));
    std::vector<uint8_t> floats;
    for (float f : {0.5f, -1.0f, 2.0f, std::nanf("")}) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        PutLe32(floats, bits);
    }
    EXPECT_EQ((std::vector<int16_t>{16384, -32768, 32767, 0}),
              ConvertAll(FmtBlock(3, 1, 8000, 32), floats));
    EXPECT_EQ((std::vector<int16_t>{0, -32124, 32124, -8}),
              ConvertAll(FmtBlock(7, 1, 8000, 8), {0xFF, 0x00, 0x80, 0x7E}));
    EXPECT_EQ((std::vector<int16_t>{8, -8, 32256, -32256}),
              ConvertAll(FmtBlock(6, 1, 8000, 8), {0xD5, 0x55, 0xAA, 0x2A}));
    // Stereo is averaged.
    std::vector<uint8_t> stereo;
    for (int v : {1000, 3000, -2000, 2000}) {
        PutLe16(stereo, static_cast<uint16_t>(v));
    }
    EXPECT_EQ((std::vector<int16_t>{2000, 0}), ConvertAll(FmtBlock(1, 2, 8000, 16), stereo));
    EXPECT_EQ((std::vector<int16_t>{16384}),
              ConvertAll(ExtensibleBlock(1, 1, 8000, 16), {0x00, 0x40}));
}

TEST(AudioConverterBlocks, PartialBlocksAreCarriedToTheNextCall) {
    struct Case {
        std::vector<uint8_t> fmt;
        std::vector<uint8_t> input;
    };
    std::vector<uint8_t> pcm24;
    for (int i = 0; i < 4410; ++i) {
        int32_t v = static_cast<int32_t>(3000000 * std::sin(i * 0.05));
        for (int b = 0; b < 3; ++b) {
            pcm24.push_back(static_cast<uint8_t>(v >> (8 * b)));
        }
    }
    const std::vector<Case> cases = {
        {FmtBlock(1, 2, 44100, 16), Sine16(1000, 44100, 4410, 9000, 2)},
        {FmtBlock(1, 1, 22050, 24), pcm24},
        {FmtBlock(1, 2, 8000, 16), Sine16(300, 8000, 800, 9000, 2)},
    };
    for (const Case& c : cases) {
        std::vector<int16_t> whole = ConvertAll(c.fmt, c.input);
        AudioConverter converter;
        ASSERT_EQ(ConverterError::None, converter.Open(c.fmt.data(), c.fmt.size()));
        std::vector<uint8_t> out;
        size_t pos = 0, step = 1;
        while (pos < c.input.size()) {
            size_t n = std::min(step, c.input.size() - pos);
            converter.Convert(c.input.data() + pos, n, &out);
            EXPECT_LT(converter.PendingBytes(), static_cast<size_t>(c.fmt[12]));
            pos += n;
            step = step % 37 + 3; // uneven pieces, most not a whole block
        }
        EXPECT_EQ(0u, converter.PendingBytes());
        EXPECT_EQ(whole, Values(out));
        EXPECT_GT(whole.size(), 700u);
    }
}

TEST(AudioConverterQuality, SineKeepsItsShapeAndHighTonesAreRemoved) {
    // A 1 kHz tone from 11025, 16000, 44100 and 48000 Hz keeps at least 40 dB SNR at 8 kHz.
    for (uint32_t rate : {11025u, 16000u, 44100u, 48000u}) {
        std::vector<int16_t> out =
            ConvertAll(FmtBlock(1, 1, rate, 16), Sine16(1000, rate, rate, 10000));
        ASSERT_NEAR(8000.0, static_cast<double>(out.size()), 80.0) << rate;
        EXPECT_GE(ToneSnrDb(out, 1000, 8000, 400), 40.0) << rate;
        EXPECT_NEAR(10000 / std::sqrt(2.0), Rms(out, 400), 10000 / std::sqrt(2.0) * 0.11) << rate;
    }
    // A 5 kHz tone from 44.1 kHz lies above the new Nyquist limit: down by at least 40 dB.
    std::vector<int16_t> high =
        ConvertAll(FmtBlock(1, 1, 44100, 16), Sine16(5000, 44100, 44100, 10000));
    EXPECT_LE(20 * std::log10(Rms(high, 400) / (10000 / std::sqrt(2.0))), -40.0);
}

TEST(AudioConverterReset, DropsKeptBytes) {
    std::vector<uint8_t> fmt = FmtBlock(1, 2, 8000, 16);
    AudioConverter converter;
    ASSERT_EQ(ConverterError::None, converter.Open(fmt.data(), fmt.size()));
    std::vector<uint8_t> out;
    converter.Convert(Pattern(3).data(), 3, &out);
    EXPECT_EQ(3u, converter.PendingBytes());
    EXPECT_TRUE(out.empty());
    converter.Reset();
    EXPECT_EQ(0u, converter.PendingBytes());
    std::vector<uint8_t> block = {0x10, 0x00, 0x30, 0x00};
    converter.Convert(block.data(), block.size(), &out);
    EXPECT_EQ((std::vector<int16_t>{0x20}), Values(out));
}

} // namespace
