#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "media/base/WaveFormat.h"
#include "media/graph/AudioSource.h"
#include "platform/audio/WaveIn.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

class AudioSampleManager;

// The microphone: records 16-bit PCM mono at 8000 samples per second from a wave-in device
// into a ring of ten buffers and hands each full buffer on as an audio sample. Quiet frames,
// and every frame while the microphone level is 0, leave as silence samples. It also sets the
// microphone's level and mute in the capture mixer.
//
// Threads:
// - source thread: GenerateData, AddBuffer, SourceThreadStarted/Stopped (and the push handlers
//   SourceStarted/SourceStopped);
// - the wave-in device thread: WaveInCallback (right after a buffer is recorded);
// - the owner (media termination object): setters, SetVolume, StopSourceThread, destructor.
// Locks: filterMutex serialises the start and stop handlers, SetVolume's mixer walk and the
// destructor's close, and guards hWaveIn against being closed under the walk; waveInMutex
// guards hWaveIn for device calls and bEnabled; bufferListMutex guards buffersToAdd and is
// never held with waveInMutex. bRunning, volumePending, micLevel, bufferSize, deviceId are
// atomics; format is written only while stopped.
class WaveAudioSource : public AudioSource {
public:
    static constexpr int kMaxBuffers = 30;
    static constexpr int kNumBuffers = 10;
    static constexpr uint32_t kBufferCapacity = 3200;
    static constexpr uint32_t kDataWaitMs = 5000;
    static constexpr int kDeviceTries = 40;
    static constexpr uint32_t kDeviceRetryMs = 50;
    // StopSourceThread wakes the thread at most this many times, 50 ms apart.
    static constexpr int kStopWakes = 39;

    WaveAudioSource();
    ~WaveAudioSource() override;

    int LoadTraceLevel() override;
    int StopSourceThread() override;
    int SourceThreadStarted(AudioThreadHandle handle, uint32_t threadId) override;
    int SourceThreadStopped(AudioThreadHandle handle, uint32_t threadId) override;
    int SourceStarted() override;
    int SourceStopped() override;
    int GenerateData(AudioSample** out) override;

    int SetFormat(unsigned codecId);
    int SetDeviceID(int device);
    int SetBufferSize(unsigned bytes);
    unsigned GetBufferSize() const { return bufferSize.load(); }
    int SetVolume(unsigned level);
    unsigned GetMicrophoneLevel() const { return micLevel.load(); }

    int BeginAudioCapture();
    int EndAudioCapture();
    int AddBuffer(int index);
    static void WaveInCallback(plat::WaveIn* device, uint32_t message, void* instance,
                               plat::WaveHeader* header);

    // The library-wide count of bytes captured from the microphone.
    static uint64_t GetBytesCaptured();
    static void ResetBytesCaptured();

    bool IsRunning() const { return bRunning.load(); }

private:
    // Writes the level to the capture mixer of the open device (steps of the volume walk).
    void ApplyMixerLevel(unsigned level);
    bool IsDeviceOpen();
    // Opens the device for a start handler, marks the source running and applies a level set
    // while stopped; a failure is traced under the handler's name. Returns BeginAudioCapture's
    // result.
    int OpenCapture(const char* handler);

    WaveFormat format;
    plat::AutoResetEvent dataEvent;
    std::unique_ptr<plat::WaveIn> hWaveIn;
    plat::WaveHeader headers[kMaxBuffers];
    std::unique_ptr<char[]> buffers;
    int numBuffers = kNumBuffers;
    std::atomic<uint32_t> bufferSize{320};
    std::deque<plat::WaveHeader*> buffersToAdd;
    bool bEnabled = false;
    plat::CriticalSection waveInMutex;
    plat::CriticalSection bufferListMutex;
    plat::CriticalSection filterMutex;
    AudioSampleManager* sampleManager = nullptr;
    std::atomic<bool> bRunning{false};
    std::atomic<int> deviceId{plat::WAVE_MAPPER};
    std::atomic<bool> volumePending{false};
    std::atomic<uint32_t> micLevel{0};
};

} // namespace tamsor
