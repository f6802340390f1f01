#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/loopback/AudioAnalysis.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/TestSignal.h"

namespace {

using namespace loopback;

std::vector<int16_t> Mix(const std::vector<int16_t>& x, const std::vector<int16_t>& y) {
    std::vector<int16_t> out(std::max(x.size(), y.size()));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<int16_t>((i < x.size() ? x[i] : 0) + (i < y.size() ? y[i] : 0));
    }
    return out;
}

TEST(AudioAnalysisTest, ToneLevelsSeparateTonesAndMatchTheirLevels) {
    const auto s = Mix(Tone(1000, 1.0, -12), Tone(440, 1.0, -40));
    EXPECT_NEAR(ToneLevelDb(s, 0, s.size(), 1000), -12, 0.5);
    EXPECT_NEAR(ToneLevelDb(s, 0, s.size(), 440), -40, 0.5);
    EXPECT_LT(ToneLevelDb(s, 0, s.size(), 697), -90) << "no leak 250 Hz away";
    EXPECT_NEAR(LevelDbfs(Tone(1000, 1.0, -6), 0, 8000), -6, 0.1);
    EXPECT_EQ(ToneLevelDb(s, 100, 100, 1000), kNoSignalDb);
    EXPECT_EQ(LevelDbfs(std::vector<int16_t>(800, 0), 0, 800), kNoSignalDb);

    const TonePeak peak = DominantTone(s, 0, s.size());
    EXPECT_NEAR(peak.hz, 1000, 0.5);
    EXPECT_NEAR(peak.db, -12, 0.5);
    const auto odd = Tone(1234.5, 1.0, -20);
    EXPECT_NEAR(DominantTone(odd, 0, odd.size()).hz, 1234.5, 0.5);
}

TEST(AudioAnalysisTest, MarkerIsFoundWhereItWasPutAndNotInATone) {
    auto s = Tone(440, 2.0, -20);
    const auto marker = Chirp(300, 3000, 0.05, -12);
    Overwrite(&s, marker, 5000);
    const MarkerMatch m = FindMarker(s, marker, 0, s.size());
    EXPECT_TRUE(m.found);
    EXPECT_EQ(m.position, 5000u);
    EXPECT_GT(m.correlation, 0.9);
    // The same search over tone alone finds nothing.
    EXPECT_FALSE(FindMarker(s, marker, 6000, s.size()).found);
}

TEST(AudioAnalysisTest, WavFilesRoundTripAndOtherFormatsAreRefused) {
    std::string error;
    const std::string dir = MakeWorkDir("quorvex-analysis-", &error);
    ASSERT_FALSE(dir.empty()) << error;
    const auto tone = DualTone(697, 1209, 0.3, -15);
    ASSERT_TRUE(WriteWav(dir + "/t.wav", tone, &error)) << error;
    std::vector<int16_t> back;
    ASSERT_TRUE(ReadWav(dir + "/t.wav", &back, &error)) << error;
    EXPECT_EQ(back, tone);
    EXPECT_FALSE(ReadWav(dir + "/missing.wav", &back, &error));
    // A stereo file is not a microphone or speaker file of the call.
    std::FILE* f = std::fopen((dir + "/stereo.wav").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const unsigned char header[44] = {'R', 'I', 'F',  'F',  36,  0,   0,   0,    'W', 'A', 'V',
                                      'E', 'f', 'm',  't',  ' ', 16,  0,   0,    0,   1,   0,
                                      2,   0,   0x40, 0x1F, 0,   0,   0,   0x7D, 0,   0,   4,
                                      0,   16,  0,    'd',  'a', 't', 'a', 0,    0,   0,   0};
    std::fwrite(header, 1, sizeof(header), f);
    std::fclose(f);
    EXPECT_FALSE(ReadWav(dir + "/stereo.wav", &back, &error));
    EXPECT_NE(error.find("not 8 kHz 16-bit mono"), std::string::npos) << error;
    RemoveTree(dir);
}

} // namespace
