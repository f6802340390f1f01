#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/audio/WaveIn.h"
#include "platform/audio/WaveOut.h"
#include "platform/audio/file/FileAudioBackend.h"
#include "platform/audio/testing/AudioTestSupport.h"

using namespace plat;
using audiotest::CallbackLog;

namespace {

void Record(WaveIn*, uint32_t message, void* instance, WaveHeader* header) {
    static_cast<CallbackLog*>(instance)->Add(message, header);
}

struct Buffers {
    std::vector<std::vector<char>> data;
    std::vector<WaveHeader> headers;
    Buffers(size_t count, size_t bytes)
        : data(count, std::vector<char>(bytes, 0x55)), headers(count) {
        for (size_t i = 0; i < count; ++i) {
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = static_cast<uint32_t>(bytes);
            headers[i].dwUser = i;
        }
    }
};

class WaveInTest : public ::testing::Test {
protected:
    void SetUp() override {
        tone = audiotest::Tone(8000); // one second
        ASSERT_TRUE(audiotest::WriteWav(dir.File("in.wav"), tone));
        backend =
            std::make_unique<FileAudioBackend>(dir.File("in.wav"), dir.File("out.wav"), 100.0);
        scoped = std::make_unique<ScopedAudioBackend>(*backend);
    }
    void TearDown() override { scoped.reset(); }

    audiotest::TempDir dir;
    std::vector<uint8_t> tone;
    std::unique_ptr<FileAudioBackend> backend;
    std::unique_ptr<ScopedAudioBackend> scoped;
    CallbackLog log;
};

TEST_F(WaveInTest, RecordsTheInputFileIntoBuffersInQueueOrder) {
    WaveIn in;
    ASSERT_EQ(in.Open(WAVE_MAPPER, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    EXPECT_EQ(in.DeviceId(), WAVE_MAPPER);
    Buffers buffers(4, 320);
    EXPECT_EQ(in.AddBuffer(&buffers.headers[0]), WAVERR_UNPREPARED);
    for (auto& header : buffers.headers) {
        ASSERT_EQ(in.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(in.AddBuffer(&header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(in.AddBuffer(&buffers.headers[0]), WAVERR_STILLPLAYING);
    // Nothing is recorded before Start.
    EXPECT_FALSE(log.WaitFor(WIM_DATA, 1, 50));
    ASSERT_EQ(in.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(WIM_DATA, 4));
    auto events = log.Events();
    ASSERT_EQ(events[0].first, WIM_OPEN);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(events[i + 1].second, &buffers.headers[i]);
        EXPECT_EQ(buffers.headers[i].dwBytesRecorded, 320u);
        EXPECT_EQ(0, std::memcmp(buffers.headers[i].lpData, tone.data() + 320 * i, 320));
        EXPECT_EQ(LoadHeaderFlags(buffers.headers[i]) & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }
    ASSERT_EQ(in.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Events().back().first, WIM_CLOSE);
}

TEST_F(WaveInTest, ResetReturnsEveryBufferAndCloseRefusesWhileQueued) {
    WaveIn in;
    ASSERT_EQ(in.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    Buffers buffers(5, 3200);
    for (auto& header : buffers.headers) {
        ASSERT_EQ(in.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(in.AddBuffer(&header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(in.Close(), WAVERR_STILLPLAYING);
    EXPECT_EQ(in.UnprepareHeader(&buffers.headers[4]), WAVERR_STILLPLAYING);
    ASSERT_EQ(in.Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Count(WIM_DATA), 5u);
    for (auto& header : buffers.headers) {
        EXPECT_EQ(LoadHeaderFlags(header) & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
        EXPECT_EQ(header.dwBytesRecorded, 0u);
        EXPECT_EQ(in.UnprepareHeader(&header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(in.Close(), MMSYSERR_NOERROR);
    // Delivered on the device thread, the close message before Close returned.
    EXPECT_EQ(log.Events().back().first, WIM_CLOSE);
    EXPECT_EQ(log.Events().size(), 7u);
    EXPECT_TRUE(log.FromOneThreadBut(std::this_thread::get_id()));
}

TEST_F(WaveInTest, StopHandsBackThePartlyFilledBuffer) {
    // Real time: a one-second buffer is still filling when the stop comes.
    FileAudioBackend slow(dir.File("in.wav"), "", 1.0);
    std::atomic<uint64_t> recorded{0};
    slow.SetCaptureObserver([&](uint64_t, size_t bytes, uint32_t) { recorded += bytes; });
    ScopedAudioBackend useSlow(slow);
    WaveIn in;
    ASSERT_EQ(in.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    Buffers buffers(2, 16000);
    for (auto& header : buffers.headers) {
        ASSERT_EQ(in.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(in.AddBuffer(&header), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(in.Start(), MMSYSERR_NOERROR);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (recorded < 320 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(in.Stop(), MMSYSERR_NOERROR);
    ASSERT_EQ(log.Count(WIM_DATA), 1u);
    EXPECT_GE(buffers.headers[0].dwBytesRecorded, 160u);
    EXPECT_LT(buffers.headers[0].dwBytesRecorded, 16000u);
    EXPECT_EQ(buffers.headers[0].dwBytesRecorded % 2, 0u);
    EXPECT_EQ(
        0, std::memcmp(buffers.headers[0].lpData, tone.data(), buffers.headers[0].dwBytesRecorded));
    EXPECT_EQ(LoadHeaderFlags(buffers.headers[1]) & WHDR_INQUEUE, WHDR_INQUEUE);
    ASSERT_EQ(in.Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Count(WIM_DATA), 2u);
    ASSERT_EQ(in.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveInTest, AFatalDeviceErrorParksInsteadOfReturningEmptyBuffers) {
    WaveIn in;
    ASSERT_EQ(in.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    Buffers buffers(3, 320);
    for (auto& header : buffers.headers) {
        ASSERT_EQ(in.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(in.AddBuffer(&header), MMSYSERR_NOERROR);
    }
    backend->InjectFault(AudioOp::InDeviceIo, MMSYSERR_ERROR);
    ASSERT_EQ(in.Start(), MMSYSERR_NOERROR);
    EXPECT_FALSE(log.WaitFor(WIM_DATA, 1, 150));
    ASSERT_EQ(in.Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Count(WIM_DATA), 3u);
    ASSERT_EQ(in.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveInTest, InjectedFailuresAndDeviceRules) {
    backend->InjectFault(AudioOp::InOpen, MMSYSERR_BADDEVICEID);
    WaveIn in;
    EXPECT_EQ(in.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_BADDEVICEID);
    WaveDeviceFormat stereo = audiotest::Pcm8k();
    stereo.channels = 2;
    stereo.blockAlign = 4;
    stereo.avgBytesPerSec = 32000;
    EXPECT_EQ(in.Open(0, stereo), WAVERR_BADFORMAT) << "the file is mono";
    ASSERT_EQ(in.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    WaveIn second;
    EXPECT_EQ(second.Open(0, audiotest::Pcm8k()), MMSYSERR_ALLOCATED);
    backend->InjectFault(AudioOp::InStart, MMSYSERR_ERROR);
    EXPECT_EQ(in.Start(), MMSYSERR_ERROR);
    Buffers buffers(1, 320);
    ASSERT_EQ(in.PrepareHeader(&buffers.headers[0]), MMSYSERR_NOERROR);
    backend->InjectFault(AudioOp::InAddBuffer, MMSYSERR_NOMEM);
    EXPECT_EQ(in.AddBuffer(&buffers.headers[0]), MMSYSERR_NOMEM);
    backend->InjectFault(AudioOp::InClose, MMSYSERR_ERROR);
    EXPECT_EQ(in.Close(), MMSYSERR_ERROR);
    EXPECT_EQ(in.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(second.Open(0, audiotest::Pcm8k()), MMSYSERR_NOERROR);
}

TEST_F(WaveInTest, CaptureThenPlaybackRoundTripsThroughTheFiles) {
    WaveIn in;
    WaveOut out;
    CallbackLog outLog;
    ASSERT_EQ(in.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    ASSERT_EQ(out.Open(
                  0, audiotest::Pcm8k(),
                  [](WaveOut*, uint32_t m, void* i, WaveHeader* h) {
                      static_cast<CallbackLog*>(i)->Add(m, h);
                  },
                  &outLog),
              MMSYSERR_NOERROR);
    const size_t frames = 25; // 25 x 40 ms = the whole second
    Buffers captured(frames, 640);
    for (auto& header : captured.headers) {
        ASSERT_EQ(in.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(in.AddBuffer(&header), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(in.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(WIM_DATA, frames));
    for (auto& header : captured.headers) {
        header.dwBufferLength = header.dwBytesRecorded;
        ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(outLog.WaitFor(WOM_DONE, frames));
    ASSERT_EQ(out.Close(), MMSYSERR_NOERROR);
    ASSERT_EQ(in.Close(), MMSYSERR_NOERROR);

    WaveDeviceFormat format;
    std::vector<uint8_t> written;
    std::string error;
    ASSERT_TRUE(ReadWavFile(dir.File("out.wav"), &format, &written, &error)) << error;
    EXPECT_EQ(format, audiotest::Pcm8k());
    EXPECT_EQ(written, tone);
    // The RIFF sizes agree with the file's length.
    std::FILE* file = std::fopen(dir.File("out.wav").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    uint8_t head[44];
    ASSERT_EQ(std::fread(head, 1, 44, file), 44u);
    std::fseek(file, 0, SEEK_END);
    long length = std::ftell(file);
    std::fclose(file);
    uint32_t riff = head[4] | head[5] << 8 | head[6] << 16 | static_cast<uint32_t>(head[7]) << 24;
    uint32_t data =
        head[40] | head[41] << 8 | head[42] << 16 | static_cast<uint32_t>(head[43]) << 24;
    EXPECT_EQ(riff, static_cast<uint32_t>(length - 8));
    EXPECT_EQ(data, static_cast<uint32_t>(length - 44));
}

TEST_F(WaveInTest, TheInputFileEndsInSilence) {
    WaveIn in;
    ASSERT_EQ(in.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    Buffers buffers(1, 3200);
    buffers.headers[0].dwBufferLength = 3200;
    std::vector<char> big(tone.size() + 800, 0x55);
    buffers.headers[0].lpData = big.data();
    buffers.headers[0].dwBufferLength = static_cast<uint32_t>(big.size());
    ASSERT_EQ(in.PrepareHeader(&buffers.headers[0]), MMSYSERR_NOERROR);
    ASSERT_EQ(in.AddBuffer(&buffers.headers[0]), MMSYSERR_NOERROR);
    ASSERT_EQ(in.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(WIM_DATA, 1));
    EXPECT_EQ(0, std::memcmp(big.data(), tone.data(), tone.size()));
    for (size_t i = tone.size(); i < big.size(); ++i) {
        ASSERT_EQ(big[i], 0) << i;
    }
    ASSERT_EQ(in.Close(), MMSYSERR_NOERROR);
}

} // namespace
