#include <gtest/gtest.h>

#include <vector>

#include "platform/audio/file/WavFile.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/core/testing/FakeClock.h"

namespace {

using namespace audiotest;

// What a reader finds in the file at a moment: the data its header announces.
size_t ReadableBytes(const std::string& path) {
    plat::WaveDeviceFormat format;
    std::vector<uint8_t> data;
    std::string error;
    return plat::ReadWavFile(path, &format, &data, &error) ? data.size() : 0;
}

TEST(WavFileWriterTest, TheHeaderFollowsAtMostEverySecondAndOnFlushAndClose) {
    plat::FakeClock clock(1000);
    plat::ScopedClock scoped(clock);
    TempDir dir;
    const std::string path = dir.File("out.wav");
    plat::WavFileWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(path, Pcm8k(), &error)) << error;
    const std::vector<uint8_t> frame = Tone(160); // 20 ms
    struct Step {
        uint32_t advanceMs;
        size_t readable; // after one more frame
    };
    const Step steps[] = {
        {0, 0},       // the sizes were written at the open, 0 ms ago
        {999, 0},     // still within the second
        {1, 3 * 320}, // a second since: the sizes follow, with all three frames
        {500, 3 * 320}, {500, 5 * 320},
    };
    for (const Step& step : steps) {
        clock.Advance(step.advanceMs);
        ASSERT_TRUE(writer.Append(frame.data(), frame.size()));
        EXPECT_EQ(step.readable, ReadableBytes(path));
    }
    ASSERT_TRUE(writer.Append(frame.data(), frame.size()));
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(6u * 320, ReadableBytes(path));
    ASSERT_TRUE(writer.Append(frame.data(), frame.size()));
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(7u * 320, ReadableBytes(path));
    EXPECT_EQ(7u * 320, writer.DataBytes());
}

} // namespace
