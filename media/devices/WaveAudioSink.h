#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "media/base/WaveFormat.h"
#include "media/graph/AudioSink.h"
#include "platform/audio/WaveOut.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

// The speaker: plays 16-bit PCM mono at 8000 samples per second on a wave-out device. Its sink
// thread pulls one sample per pass, copies it into a free device buffer and queues it; while no
// buffer is free the thread waits, so the device paces the whole receive chain.
//
// Threads:
// - sink thread: RenderAudioSamples, GetFreeBuffer, SinkThreadStarted/Stopped (and the push
//   handlers SinkStarted/SinkStopped when driven by pushes);
// - the wave-out device thread: SpeakerCallback (right after a buffer went to the device);
// - the owner (media termination object): setters, SetVolume, StopSinkThread, destructor.
// Locks, never two at once: filterMutex serialises the four start and stop handlers (and the
// destructor's close); dataMutex guards hWaveOut, bOpen and device writes and volume;
// freeBuffersMutex guards freeBuffers (the callback sets bufferEvent while holding it).
// frameSize, numFrames, deviceId and bClosing are atomics; the headers are touched by the
// sink thread and, while queued, by the device layer (their flags through the layer's helpers).
class WaveAudioSink : public AudioSink {
public:
    static constexpr uint32_t kMaxFrameSize = 3200;
    static constexpr uint32_t kMaxFrames = 50;
    // Waits for queued buffers at a stop: 100 waits of at most 50 ms for all together.
    static constexpr int kDrainWaits = 100;
    static constexpr uint32_t kDrainWaitMs = 50;
    // Device reset, unprepare and close: 40 tries, 50 ms apart.
    static constexpr int kDeviceTries = 40;
    static constexpr uint32_t kDeviceRetryMs = 50;

    WaveAudioSink();
    ~WaveAudioSink() override;

    int LoadTraceLevel() override;
    int StopSinkThread() override;
    int SinkThreadStarted(AudioThreadHandle handle, uint32_t threadId) override;
    int SinkThreadStopped(AudioThreadHandle handle, uint32_t threadId) override;
    int SinkStarted() override;
    int SinkStopped() override;
    int RenderAudioSamples(AudioSampleList& samples) override;

    int SetFrameSize(unsigned bytes);
    int SetNumFrames(unsigned count);
    int SetDeviceID(int device);
    int GetDeviceID() const { return deviceId.load(); }
    int SetVolume(unsigned volume);
    // The device's packed volume (left in the low word), or false while it is closed.
    bool GetDeviceVolume(uint32_t* volume);

    int BeginAudioRender();
    int EndAudioRender();
    plat::WaveHeader* GetFreeBuffer();
    static void SpeakerCallback(plat::WaveOut* device, uint32_t message, void* instance,
                                plat::WaveHeader* header);

    // The library-wide count of bytes handed to the speaker.
    static uint64_t GetBytesPlayed();
    static void ResetBytesPlayed();

    // For tests: whether the device is open and its buffers prepared.
    bool IsOpen();

private:
    bool IsDeviceOpen();
    // Opens the device for a start handler and marks the sink open; a failure is traced under
    // the handler's name. Returns BeginAudioRender's result.
    int OpenRender(const char* handler);
    // The two stop handlers: closes an open device under filterMutex; `notRunning` is the
    // trace text when it is not open.
    int StopHandler(const char* handler, const char* notRunning);

    std::atomic<bool> bClosing{false};
    bool bOpen = false;
    std::atomic<uint32_t> frameSize{320};
    std::atomic<uint32_t> numFrames{27};
    std::atomic<int> deviceId{plat::WAVE_MAPPER};
    plat::AutoResetEvent bufferEvent;
    std::unique_ptr<plat::WaveOut> hWaveOut;
    plat::WaveHeader headers[kMaxFrames];
    WaveFormat format;
    std::unique_ptr<char[]> buffers;
    std::deque<plat::WaveHeader*> freeBuffers;
    plat::CriticalSection dataMutex;
    plat::CriticalSection freeBuffersMutex;
    plat::CriticalSection filterMutex;
};

} // namespace tamsor
