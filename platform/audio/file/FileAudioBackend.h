#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/MemoryMixer.h"
#include "platform/audio/file/WavFile.h"

namespace plat {

// Sound devices on WAV files: the input device records the `in` file (from its start at each
// open, then silence), the output device writes what is played to the `out` file. Both run at
// real-time pace on the current Clock, times the speed factor. Each device can be open once at
// a time. The output file is created at the first open and collects every open after it, also
// those of other backends on the same path (the program and the media library each have
// one); it is a valid WAV at all times, of what was played up to its last size update (at
// most a second old), and whole after each close. A device whose path is empty does not
// exist. Observers receive each chunk's byte offset and the clock time at which it plays (the
// first byte) or was recorded (the last byte), for latency measurements.
//
// Threads: the streams run on their devices' threads; lock_ guards writer_, the busy flags and
// the observers, which are called without it.
class FileAudioBackend final : public AudioBackend {
public:
    using Observer = std::function<void(uint64_t byteOffset, size_t bytes, uint32_t timeMs)>;

    FileAudioBackend(std::string inPath, std::string outPath, double speed = 1.0);
    ~FileAudioBackend() override;

    const char* Name() const override { return "file"; }
    std::vector<std::string> OutputDeviceNames() override;
    std::vector<std::string> InputDeviceNames() override;
    MMRESULT OpenPlayback(int device, const WaveDeviceFormat& format,
                          std::unique_ptr<PlaybackStream>* stream) override;
    MMRESULT OpenCapture(int device, const WaveDeviceFormat& format,
                         std::unique_ptr<CaptureStream>* stream) override;
    MMRESULT OpenMixer(int inputDevice, std::shared_ptr<MixerDevice>* mixer) override;

    void SetPlayObserver(Observer observer);
    void SetCaptureObserver(Observer observer);
    MemoryMixer& Mixer() { return *mixer_; }
    // Replaces the mixer (tests shape their own); call while no mixer is open.
    void SetMixer(std::shared_ptr<MemoryMixer> mixer) { mixer_ = std::move(mixer); }

private:
    friend class FilePlayback;
    friend class FileCapture;
    // Called by the streams.
    bool AppendOutput(const uint8_t* data, size_t bytes, uint64_t* offset);
    void PlaybackClosed();
    void CaptureClosed();
    Observer PlayObserver();
    Observer CaptureObserver();

    const std::string inPath_;
    const std::string outPath_;
    const double speed_;
    std::shared_ptr<MemoryMixer> mixer_;
    std::mutex lock_;
    WavFileWriter writer_;
    bool playbackBusy_ = false;
    bool captureBusy_ = false;
    Observer playObserver_;
    Observer captureObserver_;
};

} // namespace plat
