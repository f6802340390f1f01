#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audio/file/WavFile.h"
#include "tools/loopback/AudioAnalysis.h"

namespace {

std::vector<int16_t> ReadSound(const std::string& name, plat::WaveDeviceFormat* format) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(
        plat::ReadWavFile(std::string(QUORVEX_SOUNDS_DIR) + "/" + name, format, &bytes, &error))
        << name << ": " << error;
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Each generated file: its two frequencies while the tone sounds, nothing else within 30 dB of
// them anywhere in the voice band, silence in the off part of its cadence.
TEST(SoundFilesTest, EachFileHoldsItsTwoFrequenciesAndNothingElse) {
    struct Case {
        const char* file;
        double low;
        double high;
        double onSeconds;
        double totalSeconds;
    };
    const Case cases[] = {
        {"1.wav", 697, 1209, 0.15, 0.15},      {"2.wav", 697, 1336, 0.15, 0.15},
        {"3.wav", 697, 1477, 0.15, 0.15},      {"4.wav", 770, 1209, 0.15, 0.15},
        {"5.wav", 770, 1336, 0.15, 0.15},      {"6.wav", 770, 1477, 0.15, 0.15},
        {"7.wav", 852, 1209, 0.15, 0.15},      {"8.wav", 852, 1336, 0.15, 0.15},
        {"9.wav", 852, 1477, 0.15, 0.15},      {"a.wav", 941, 1209, 0.15, 0.15},
        {"0.wav", 941, 1336, 0.15, 0.15},      {"n.wav", 941, 1477, 0.15, 0.15},
        {"repicando.wav", 440, 480, 2.0, 6.0}, {"Ocupado.WAV", 480, 620, 0.5, 1.0},
        {"hangup.wav", 480, 620, 0.25, 1.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        plat::WaveDeviceFormat format;
        std::vector<int16_t> samples = ReadSound(c.file, &format);
        EXPECT_EQ(format, plat::WaveDeviceFormat{}) << "8 kHz 16-bit mono";
        ASSERT_EQ(samples.size(), static_cast<size_t>(std::lround(c.totalSeconds * 8000)));
        size_t on = static_cast<size_t>(c.onSeconds * 8000);
        double low = loopback::ToneLevelDb(samples, 0, on, c.low);
        double high = loopback::ToneLevelDb(samples, 0, on, c.high);
        EXPECT_GT(low, -16.0);
        EXPECT_GT(high, -16.0);
        EXPECT_NEAR(low, high, 1.0) << "both tones at one level";
        double floor = std::min(low, high) - 30.0;
        for (double hz = 100; hz <= 3900; hz += 10) {
            if (std::abs(hz - c.low) < 60 || std::abs(hz - c.high) < 60) {
                continue;
            }
            ASSERT_LT(loopback::ToneLevelDb(samples, 0, on, hz), floor) << hz << " Hz";
        }
        // The first off part of the cadence is silent.
        auto offEnd = std::min(samples.size(), on + static_cast<size_t>(0.25 * 8000));
        EXPECT_TRUE(std::all_of(samples.begin() + static_cast<std::ptrdiff_t>(on),
                                samples.begin() + static_cast<std::ptrdiff_t>(offEnd),
                                [](int16_t s) { return s == 0; }));
    }
}

} // namespace
