#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/audio/WaveOut.h"
#include "platform/audio/file/FileAudioBackend.h"
#include "platform/audio/null/NullAudioBackend.h"
#include "platform/audio/testing/AudioTestSupport.h"

using namespace plat;
using audiotest::CallbackLog;

namespace {

void Record(WaveOut*, uint32_t message, void* instance, WaveHeader* header) {
    static_cast<CallbackLog*>(instance)->Add(message, header);
}

struct Buffers {
    std::vector<std::vector<char>> data;
    std::vector<WaveHeader> headers;
    Buffers(size_t count, size_t bytes) : data(count, std::vector<char>(bytes)), headers(count) {
        for (size_t i = 0; i < count; ++i) {
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = static_cast<uint32_t>(bytes);
            headers[i].dwUser = i;
        }
    }
};

class WaveOutTest : public ::testing::Test {
protected:
    NullAudioBackend backend{1.0}; // real time: buffers stay queued long enough to inspect
    ScopedAudioBackend scoped{backend};
    CallbackLog log;
};

TEST_F(WaveOutTest, RefusesBadArgumentsWithTheOriginalNumbers) {
    WaveOut out;
    WaveHeader header;
    EXPECT_EQ(out.PrepareHeader(&header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(out.Close(), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(out.Open(1, audiotest::Pcm8k()), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(out.Open(-2, audiotest::Pcm8k()), MMSYSERR_BADDEVICEID);
    WaveDeviceFormat bad = audiotest::Pcm8k();
    bad.avgBytesPerSec = 1234;
    EXPECT_EQ(out.Open(WAVE_MAPPER, bad), WAVERR_BADFORMAT);
    EXPECT_FALSE(out.IsOpen());

    ASSERT_EQ(out.Open(0, audiotest::Pcm8k()), MMSYSERR_NOERROR);
    EXPECT_EQ(out.Open(0, audiotest::Pcm8k()), MMSYSERR_ALLOCATED);
    EXPECT_NE(out.Handle(), 0);
    Buffers buffers(1, 3200);
    EXPECT_EQ(out.Write(&buffers.headers[0]), WAVERR_UNPREPARED);
    EXPECT_EQ(out.PrepareHeader(nullptr), MMSYSERR_INVALPARAM);
    ASSERT_EQ(out.PrepareHeader(&buffers.headers[0]), MMSYSERR_NOERROR);
    ASSERT_EQ(out.Write(&buffers.headers[0]), MMSYSERR_NOERROR);
    EXPECT_EQ(out.Write(&buffers.headers[0]), WAVERR_STILLPLAYING);
    EXPECT_EQ(out.UnprepareHeader(&buffers.headers[0]), WAVERR_STILLPLAYING);
    EXPECT_EQ(out.Close(), WAVERR_STILLPLAYING);
    EXPECT_TRUE(out.IsOpen());
    ASSERT_EQ(out.Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(out.UnprepareHeader(&buffers.headers[0]), MMSYSERR_NOERROR);
    EXPECT_EQ(LoadHeaderFlags(buffers.headers[0]) & WHDR_PREPARED, 0u);
    EXPECT_EQ(out.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(out.Handle(), 0);
}

TEST_F(WaveOutTest, ResetHandsBackEveryQueuedHeaderBeforeReturningInOrder) {
    WaveOut out;
    ASSERT_EQ(out.Open(WAVE_MAPPER, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    Buffers buffers(8, 16000); // a second each: all still queued when the reset comes
    for (auto& header : buffers.headers) {
        ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
        EXPECT_EQ(LoadHeaderFlags(header) & (WHDR_INQUEUE | WHDR_DONE), WHDR_INQUEUE);
    }
    ASSERT_EQ(out.Reset(), MMSYSERR_NOERROR);
    // Returned before Reset came back: no waiting here.
    EXPECT_EQ(log.Count(WOM_DONE), buffers.headers.size());
    for (auto& header : buffers.headers) {
        EXPECT_EQ(LoadHeaderFlags(header) & (WHDR_INQUEUE | WHDR_DONE | WHDR_PREPARED),
                  WHDR_DONE | WHDR_PREPARED);
    }
    ASSERT_EQ(out.Close(), MMSYSERR_NOERROR);
    auto events = log.Events();
    ASSERT_EQ(events.size(), buffers.headers.size() + 2);
    EXPECT_EQ(events.front().first, WOM_OPEN);
    EXPECT_EQ(events.back().first, WOM_CLOSE);
    for (size_t i = 0; i < buffers.headers.size(); ++i) {
        EXPECT_EQ(events[i + 1].first, WOM_DONE);
        EXPECT_EQ(events[i + 1].second, &buffers.headers[i]);
    }
}

TEST_F(WaveOutTest, PlaysHeadersToTheEndAndSupportsLoopingOneHeader) {
    audiotest::TempDir dir;
    FileAudioBackend files("", dir.File("out.wav"), 200.0);
    ScopedAudioBackend useFiles(files);
    WaveOut out;
    ASSERT_EQ(out.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    std::vector<uint8_t> tone = audiotest::Tone(400);
    std::vector<char> data(tone.begin(), tone.end());
    WaveHeader header;
    header.lpData = data.data();
    header.dwBufferLength = static_cast<uint32_t>(data.size());
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 3;
    ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
    ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(WOM_DONE, 1));
    ASSERT_EQ(out.Close(), MMSYSERR_NOERROR);

    WaveDeviceFormat format;
    std::vector<uint8_t> written;
    std::string error;
    ASSERT_TRUE(ReadWavFile(dir.File("out.wav"), &format, &written, &error)) << error;
    ASSERT_EQ(written.size(), 3 * tone.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0, std::memcmp(written.data() + i * tone.size(), tone.data(), tone.size()));
    }
}

// Every callback comes from the device's own thread, in order, and the last one before Close
// returns: nothing arrives after it.
TEST_F(WaveOutTest, CallbacksComeFromTheDeviceThreadAndEndWithClose) {
    audiotest::TempDir dir;
    FileAudioBackend files("", dir.File("out.wav"), 200.0);
    ScopedAudioBackend useFiles(files);
    WaveOut out;
    ASSERT_EQ(out.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    Buffers buffers(3, 320);
    for (auto& header : buffers.headers) {
        ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(log.WaitFor(WOM_DONE, 3));
    ASSERT_EQ(out.Close(), MMSYSERR_NOERROR);
    auto events = log.Events();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events.front().first, WOM_OPEN);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(events[i + 1].second, &buffers.headers[i]);
    }
    EXPECT_EQ(events.back().first, WOM_CLOSE);
    EXPECT_TRUE(log.FromOneThreadBut(std::this_thread::get_id()));
}

TEST_F(WaveOutTest, VolumeScalesTheSamplesPerChannel) {
    audiotest::TempDir dir;
    FileAudioBackend files("", dir.File("out.wav"), 200.0);
    ScopedAudioBackend useFiles(files);
    WaveOut out;
    ASSERT_EQ(out.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    uint32_t volume = 0;
    ASSERT_EQ(out.GetVolume(&volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0xFFFFFFFFu);
    ASSERT_EQ(out.SetVolume(0x80008000u), MMSYSERR_NOERROR);
    std::vector<int16_t> samples(160, 10000);
    WaveHeader header;
    header.lpData = reinterpret_cast<char*>(samples.data());
    header.dwBufferLength = 320;
    ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
    ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(WOM_DONE, 1));
    ASSERT_EQ(out.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(samples[0], 10000) << "the caller's buffer is left as it was";

    WaveDeviceFormat format;
    std::vector<uint8_t> written;
    std::string error;
    ASSERT_TRUE(ReadWavFile(dir.File("out.wav"), &format, &written, &error)) << error;
    ASSERT_EQ(written.size(), 320u);
    int16_t first;
    std::memcpy(&first, written.data(), 2);
    EXPECT_EQ(first, 10000 * 0x8000 / 0xFFFF);
}

TEST_F(WaveOutTest, InjectedFailuresComeBackAndLeaveTheDeviceUsable) {
    backend.InjectFault(AudioOp::OutOpen, MMSYSERR_ALLOCATED);
    WaveOut out;
    EXPECT_EQ(out.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(out.IsOpen());
    ASSERT_EQ(out.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);

    Buffers buffers(2, 3200);
    backend.InjectFault(AudioOp::OutPrepare, MMSYSERR_NOMEM);
    EXPECT_EQ(out.PrepareHeader(&buffers.headers[0]), MMSYSERR_NOMEM);
    EXPECT_EQ(LoadHeaderFlags(buffers.headers[0]) & WHDR_PREPARED, 0u);
    ASSERT_EQ(out.PrepareHeader(&buffers.headers[0]), MMSYSERR_NOERROR);
    backend.InjectFault(AudioOp::OutWrite, MMSYSERR_ERROR);
    EXPECT_EQ(out.Write(&buffers.headers[0]), MMSYSERR_ERROR);
    EXPECT_EQ(LoadHeaderFlags(buffers.headers[0]) & WHDR_INQUEUE, 0u);
    ASSERT_EQ(out.Write(&buffers.headers[0]), MMSYSERR_NOERROR);

    backend.InjectFault(AudioOp::OutReset, MMSYSERR_ERROR, 2);
    EXPECT_EQ(out.Reset(), MMSYSERR_ERROR);
    EXPECT_EQ(out.Reset(), MMSYSERR_ERROR);
    EXPECT_EQ(LoadHeaderFlags(buffers.headers[0]) & WHDR_INQUEUE, WHDR_INQUEUE);
    ASSERT_EQ(out.Reset(), MMSYSERR_NOERROR);
    backend.InjectFault(AudioOp::OutUnprepare, MMSYSERR_ERROR);
    EXPECT_EQ(out.UnprepareHeader(&buffers.headers[0]), MMSYSERR_ERROR);
    EXPECT_EQ(out.UnprepareHeader(&buffers.headers[0]), MMSYSERR_NOERROR);
    backend.InjectFault(AudioOp::OutClose, MMSYSERR_ERROR);
    EXPECT_EQ(out.Close(), MMSYSERR_ERROR);
    EXPECT_TRUE(out.IsOpen());
    EXPECT_EQ(out.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Count(WOM_CLOSE), 1u);
}

TEST_F(WaveOutTest, AFatalDeviceErrorParksTheStreamUntilAReset) {
    WaveOut out;
    ASSERT_EQ(out.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
    backend.InjectFault(AudioOp::OutDeviceIo, MMSYSERR_ERROR);
    Buffers buffers(3, 160);
    for (auto& header : buffers.headers) {
        ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
    }
    // Three 10 ms buffers would be back within 30 ms; parked, none comes back.
    EXPECT_FALSE(log.WaitFor(WOM_DONE, 1, 150));
    ASSERT_EQ(out.Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Count(WOM_DONE), 3u);
    // After the reset the device plays again.
    ASSERT_EQ(out.Write(&buffers.headers[0]), MMSYSERR_NOERROR);
    EXPECT_TRUE(log.WaitFor(WOM_DONE, 4));
    ASSERT_EQ(out.Close(), MMSYSERR_NOERROR);
}

// A callback may call into its device while the owner's Reset waits for the callbacks: the
// layer holds none of its locks while a callback runs.
TEST_F(WaveOutTest, CallbacksRunWithoutTheLayersLock) {
    struct Probe {
        WaveOut* device = nullptr;
        CallbackLog log;
        std::atomic<int> calls{0};
    } probe;
    auto callback = [](WaveOut* device, uint32_t message, void* instance, WaveHeader* header) {
        auto* p = static_cast<Probe*>(instance);
        uint32_t volume = 0;
        if (message == WOM_DONE && device->GetVolume(&volume) == MMSYSERR_NOERROR) {
            p->calls.fetch_add(1);
        }
        p->log.Add(message, header);
    };
    WaveOut out;
    ASSERT_EQ(out.Open(0, audiotest::Pcm8k(), callback, &probe), MMSYSERR_NOERROR);
    Buffers buffers(4, 3200);
    for (auto& header : buffers.headers) {
        ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
        ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(out.Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(probe.calls.load(), 4);
    ASSERT_EQ(out.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveOutTest, DestructorReturnsAndClosesAnOpenDevice) {
    Buffers buffers(2, 3200);
    {
        WaveOut out;
        ASSERT_EQ(out.Open(0, audiotest::Pcm8k(), Record, &log), MMSYSERR_NOERROR);
        for (auto& header : buffers.headers) {
            ASSERT_EQ(out.PrepareHeader(&header), MMSYSERR_NOERROR);
            ASSERT_EQ(out.Write(&header), MMSYSERR_NOERROR);
        }
        backend.InjectFault(AudioOp::OutClose, MMSYSERR_ERROR, -1);
    }
    backend.ClearFaults();
    EXPECT_EQ(log.Count(WOM_DONE), 2u);
    EXPECT_EQ(log.Count(WOM_CLOSE), 1u);
}

TEST(WaveOutDevices, CountAndNamesComeFromTheBackendInAStableOrder) {
    NullAudioBackend null;
    ScopedAudioBackend scoped(null);
    EXPECT_EQ(WaveOut::GetNumDevs(), 1u);
    std::string name;
    ASSERT_EQ(WaveOut::GetDevName(0, &name), MMSYSERR_NOERROR);
    EXPECT_EQ(name, "Null output");
    EXPECT_EQ(WaveOut::GetDevName(1, &name), MMSYSERR_BADDEVICEID);

    FileAudioBackend inputOnly("/nonexistent/in.wav", "");
    ScopedAudioBackend scopedFiles(inputOnly);
    EXPECT_EQ(WaveOut::GetNumDevs(), 0u);
    WaveOut out;
    EXPECT_EQ(out.Open(WAVE_MAPPER, audiotest::Pcm8k()), MMSYSERR_BADDEVICEID);
}

} // namespace
