#include "platform/audio/RiffReader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include "platform/audio/testing/WavFixture.h"

using plat::FourCC;
using plat::RiffChunk;
using plat::RiffReader;
using namespace wavtest;

namespace {

class RiffReaderTest : public ::testing::Test {
protected:
    TempDir dir;
    RiffReader reader;

    void OpenBytes(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(0, reader.Open(dir.Write("f.wav", bytes)));
    }
};

TEST_F(RiffReaderTest, FindsChunksPastOddSizedOnesAndReadsThem) {
    // An odd-sized chunk is followed by its pad byte; the next chunk must still be found.
    std::vector<uint8_t> odd = {1, 2, 3};
    OpenBytes(Riff(
        {{"fmt ", FmtBlock(1, 1, 8000, 16), {}}, {"LIST", odd, {}}, {"data", Pattern(10), {}}}));
    RiffChunk riff, fmt, data;
    ASSERT_TRUE(reader.DescendRiff(FourCC("WAVE"), &riff));
    EXPECT_EQ(reader.FileSize(), riff.containerEnd);
    ASSERT_TRUE(reader.FindChunk(FourCC("fmt "), riff, &fmt));
    EXPECT_EQ(18u, fmt.size);
    EXPECT_EQ(20u, fmt.dataOffset);
    ASSERT_TRUE(reader.Ascend(fmt));
    ASSERT_TRUE(reader.FindChunk(FourCC("data"), riff, &data));
    EXPECT_EQ(10u, data.size);
    EXPECT_EQ(data.dataOffset, reader.Tell());
    uint8_t buf[16] = {};
    EXPECT_EQ(10, reader.Read(buf, 10));
    EXPECT_EQ(Pattern(10), std::vector<uint8_t>(buf, buf + 10));
    // At the end of the file a read gives 0, never more than the file holds.
    EXPECT_EQ(0, reader.Read(buf, sizeof buf));
}

TEST_F(RiffReaderTest, RefusesWhatIsNotARiffForm) {
    std::vector<uint8_t> notRiff = Riff({{"data", Pattern(4), {}}});
    notRiff[0] = 'X';
    OpenBytes(notRiff);
    RiffChunk riff;
    EXPECT_FALSE(reader.DescendRiff(FourCC("WAVE"), &riff));

    OpenBytes(Riff({{"data", Pattern(4), {}}}, "AVI "));
    EXPECT_FALSE(reader.DescendRiff(FourCC("WAVE"), &riff));

    OpenBytes({'R', 'I', 'F', 'F', 4, 0}); // header cut off
    EXPECT_FALSE(reader.DescendRiff(FourCC("WAVE"), &riff));

    OpenBytes({});
    EXPECT_FALSE(reader.DescendRiff(FourCC("WAVE"), &riff));
}

TEST_F(RiffReaderTest, ChunkClaimingMoreThanItsContainerHidesWhatFollows) {
    // "junk" claims 4 GiB; the data chunk behind it cannot be located without trusting it.
    OpenBytes(Riff({{"junk", Pattern(8), 0xFFFFFFF0u}, {"data", Pattern(8), {}}}));
    RiffChunk riff, data;
    ASSERT_TRUE(reader.DescendRiff(FourCC("WAVE"), &riff));
    uint64_t before = reader.Tell();
    EXPECT_FALSE(reader.FindChunk(FourCC("data"), riff, &data));
    EXPECT_EQ(before, reader.Tell());
}

TEST_F(RiffReaderTest, HugeSizesAreClampedToTheFile) {
    // The RIFF and data sizes claim far more than the file holds (a cut-off recording).
    OpenBytes(Riff({{"fmt ", FmtBlock(1, 1, 8000, 16), {}}, {"data", Pattern(6), 0xFFFFFFFFu}},
                   "WAVE", 0xFFFFFFFFu));
    RiffChunk riff, fmt, data;
    ASSERT_TRUE(reader.DescendRiff(FourCC("WAVE"), &riff));
    EXPECT_EQ(reader.FileSize(), riff.containerEnd);
    ASSERT_TRUE(reader.FindChunk(FourCC("fmt "), riff, &fmt));
    reader.Ascend(fmt);
    ASSERT_TRUE(reader.FindChunk(FourCC("data"), riff, &data));
    EXPECT_EQ(0xFFFFFFFFu, data.size);
    EXPECT_FALSE(reader.Ascend(data)); // cannot move past a chunk that runs off the file
    EXPECT_EQ(reader.FileSize(), reader.Tell());
    EXPECT_TRUE(reader.Seek(data.dataOffset));
    std::vector<uint8_t> buf(4096);
    EXPECT_EQ(6, reader.Read(buf.data(), buf.size()));
    EXPECT_FALSE(reader.Seek(reader.FileSize() + 1));
}

TEST_F(RiffReaderTest, RiffSizeBelowTheContentsLimitsTheSearch) {
    std::vector<uint8_t> bytes = Riff({{"fmt ", FmtBlock(1, 1, 8000, 16), {}}}, "WAVE", 4);
    OpenBytes(bytes);
    RiffChunk riff, fmt;
    ASSERT_TRUE(reader.DescendRiff(FourCC("WAVE"), &riff));
    EXPECT_FALSE(reader.FindChunk(FourCC("fmt "), riff, &fmt));
}

TEST_F(RiffReaderTest, OpenReportsTheSystemError) {
    EXPECT_EQ(ENOENT, reader.Open(dir.Path() + "/missing.wav"));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(EISDIR, reader.Open(dir.Path()));
    // A FIFO without a writer is refused at once rather than blocking the caller.
    std::string fifo = dir.Path() + "/fifo.wav";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(EINVAL, reader.Open(fifo));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(-1, reader.Read(nullptr, 0));
}

} // namespace
