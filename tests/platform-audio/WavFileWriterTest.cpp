#include <gtest/gtest.h>

#include <filesystem>
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

// Writers of one path (the program's and the media library's sound backends) make one file:
// a writer opened while another has the file open appends to it in the same format, the header
// always covers exactly what was written up to the last size update, and a writer opened once
// all are closed starts a new file.
TEST(WavFileWriterTest, WritersOfOnePathShareOneFile) {
    enum Op { Open, OpenOtherFormat, Append, Flush, Close, Wait };
    struct Step {
        int writer;
        Op op;
        uint8_t fill = 0; // Append: a 320-byte chunk of this value
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<uint8_t> readable; // the chunks a reader finds, in order
    } cases[] = {
        {"a second writer joins",
         {{0, Open},
          {0, Append, 1},
          {0, Flush},
          {1, Open},
          {1, Append, 2},
          {1, Close},
          {0, Append, 3},
          {0, Close}},
         {1, 2, 3}},
        {"gathered blocks land in the order they are written",
         {{0, Open}, {1, Open}, {0, Append, 1}, {1, Append, 2}, {1, Flush}, {0, Close}, {1, Close}},
         {2, 1}},
        {"a new file once all are closed",
         {{0, Open}, {0, Append, 1}, {0, Close}, {1, Open}, {1, Append, 2}, {1, Close}},
         {2}},
        {"another format is refused and the file kept",
         {{0, Open}, {0, Append, 1}, {1, OpenOtherFormat}, {0, Close}},
         {1}},
        // Never closed: after a second the sizes cover what was written; the rest waits.
        {"a writer that is not closed",
         {{0, Open}, {0, Append, 1}, {0, Wait}, {0, Append, 2}, {0, Append, 3}},
         {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::FakeClock clock(1000);
        plat::ScopedClock scoped(clock);
        TempDir dir;
        const std::string path = dir.File("speaker.wav");
        plat::WavFileWriter writers[2];
        for (const Step& step : c.steps) {
            plat::WavFileWriter& w = writers[step.writer];
            std::string error;
            const std::vector<uint8_t> chunk(320, step.fill);
            switch (step.op) {
            case Open:
                ASSERT_TRUE(w.Open(path, Pcm8k(), &error)) << error;
                break;
            case OpenOtherFormat: {
                plat::WaveDeviceFormat other = Pcm8k();
                other.samplesPerSec = 16000;
                other.avgBytesPerSec = 32000;
                EXPECT_FALSE(w.Open(path, other, &error));
                EXPECT_NE(std::string::npos, error.find("another format")) << error;
                break;
            }
            case Append:
                ASSERT_TRUE(w.Append(chunk.data(), chunk.size()));
                break;
            case Flush:
                ASSERT_TRUE(w.Flush());
                break;
            case Close:
                ASSERT_TRUE(w.Close());
                break;
            case Wait:
                clock.Advance(1000);
                break;
            }
        }
        plat::WaveDeviceFormat format;
        std::vector<uint8_t> data;
        std::string error;
        ASSERT_TRUE(plat::ReadWavFile(path, &format, &data, &error)) << error;
        std::vector<uint8_t> expected;
        for (uint8_t fill : c.readable) {
            expected.insert(expected.end(), 320, fill);
        }
        EXPECT_EQ(expected, data);
        EXPECT_EQ(Pcm8k(), format);
        // Nothing in the file lies past what its header says.
        EXPECT_EQ(44 + data.size(), std::filesystem::file_size(path));
    }
}

} // namespace
