#include <gtest/gtest.h>

#include <string>

#include "media/base/Exception.h"
#include "media/base/WaveFormat.h"

using namespace tamsor;

namespace {

TEST(WaveFormat, TableRecords) {
    WaveFormat pcm = MakeWaveFormat(FORMAT_PCM16);
    EXPECT_EQ(pcm.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(pcm.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(pcm.nBlockAlign, 2);
    EXPECT_EQ(pcm.wBitsPerSample, 16);
    EXPECT_EQ(pcm.nChannels, 1);
    EXPECT_EQ(pcm.nSamplesPerSec, 8000u);

    EXPECT_EQ(MakeWaveFormat(FORMAT_G723), MakeWaveFormat(FORMAT_G723_B));
    EXPECT_EQ(MakeWaveFormat(FORMAT_G723).wFormatTag, WAVE_FORMAT_G723_63);
    EXPECT_EQ(MakeWaveFormat(FORMAT_G723).nAvgBytesPerSec, 800u);
    EXPECT_EQ(MakeWaveFormat(FORMAT_G729).nAvgBytesPerSec, 1000u);
    EXPECT_EQ(MakeWaveFormat(FORMAT_G711_ULAW).wFormatTag, WAVE_FORMAT_MULAW);
    EXPECT_EQ(MakeWaveFormat(FORMAT_G711_ALAW).wFormatTag, WAVE_FORMAT_ALAW);
    EXPECT_EQ(MakeWaveFormat(FORMAT_G711_ALAW).nBlockAlign, 1);
}

TEST(WaveFormat, EighteenByteRecordIsLittleEndianBothWays) {
    const uint8_t bytes[18] = {0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10,
                               0xB1, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00, 0x00, 0x00};
    WaveFormat f = WaveFormat::FromBytes(bytes, sizeof(bytes));
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.wBitsPerSample, 16);
    uint8_t out[18];
    f.ToBytes(out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 18),
              std::string(reinterpret_cast<const char*>(bytes), 18));
    // A 16-byte block has no extra-size field.
    WaveFormat shortBlock = WaveFormat::FromBytes(bytes, 16);
    EXPECT_EQ(shortBlock.cbSize, 0);
    EXPECT_EQ(shortBlock.wBitsPerSample, 16);
}

TEST(CodecSelector, ZeroOnlyForReceiving) {
    EXPECT_TRUE(IsReceiveCodecSelector(CODEC_BY_PAYLOAD_TYPE));
    EXPECT_FALSE(IsTransmitCodecSelector(CODEC_BY_PAYLOAD_TYPE));
    for (int s : {CODEC_G711_ALAW, CODEC_G711_ULAW}) {
        EXPECT_TRUE(IsReceiveCodecSelector(s));
        EXPECT_TRUE(IsTransmitCodecSelector(s));
    }
    EXPECT_FALSE(IsReceiveCodecSelector(9));
    EXPECT_FALSE(IsTransmitCodecSelector(9));
}

TEST(Exception, MessageIsCutAt511CharactersAndCopiesWhole) {
    std::string path(600, 'p');
    Exception e(-10, "Error loading file %s", path.c_str());
    EXPECT_EQ(e.GetCode(), -10);
    std::string message = e.GetMessage();
    EXPECT_EQ(message.size(), 511u);
    EXPECT_EQ(message.rfind("Error loading file ppp", 0), 0u);
    Exception copy = e;
    EXPECT_EQ(copy.GetCode(), -10);
    EXPECT_EQ(std::string(copy.GetMessage()), message);
    try {
        throw Exception(-30, "bad %d", 7);
    } catch (const Exception& caught) {
        EXPECT_EQ(caught.GetCode(), -30);
        EXPECT_STREQ(caught.GetMessage(), "bad 7");
    }
}

} // namespace
