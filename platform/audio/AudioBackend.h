#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/WaveHeader.h"

namespace plat {

// The device period: what the device thread moves in one transfer and what a backend asks of
// the system per wake-up. It is the engine's frame (the program plays 20 ms frames), so one
// frame of audio costs one wake-up, not two.
constexpr uint32_t kDevicePeriodMs = 20;

class MixerDevice;

// One open playback stream of a backend. Only the owning WaveOut's device thread calls it,
// from opening to destruction, so a stream needs no lock of its own.
class PlaybackStream {
public:
    virtual ~PlaybackStream() = default;
    // Plays `bytes` bytes (whole frames). Blocks while the device has no room, so the device
    // paces the writer. Returns 0, or an error after which the device cannot go on (the
    // WaveOut then parks the stream until a reset).
    virtual MMRESULT Write(const uint8_t* data, size_t bytes) = 0;
    // Drops whatever is buffered and not yet played (after a reset).
    virtual void Discard() = 0;
};

// One open capture stream; only the owning WaveIn's device thread calls it.
class CaptureStream {
public:
    virtual ~CaptureStream() = default;
    // Fills `bytes` bytes (whole frames) with recorded audio, blocking until they have been
    // recorded. Returns 0, or an error after which the device cannot go on (the WaveIn then
    // parks the stream until a reset).
    virtual MMRESULT Read(uint8_t* data, size_t bytes) = 0;
    // Stops recording and drops what was recorded and not read; the next Read starts afresh.
    virtual void Stop() = 0;
};

// Operations whose failure a test can inject. The *DeviceIo ones make the stream's own
// write or read fail, as a device that has gone away would.
enum class AudioOp {
    OutOpen,
    OutPrepare,
    OutUnprepare,
    OutWrite,
    OutReset,
    OutClose,
    OutDeviceIo,
    InOpen,
    InPrepare,
    InUnprepare,
    InAddBuffer,
    InStart,
    InReset,
    InClose,
    InDeviceIo,
    MixerOpen,
    Count
};

// A family of sound devices: the ALSA devices, WAV files, or nothing. Device numbers run from
// 0 to the count minus 1 in a stable order; -1 is the default device.
//
// Threads: every operation may be called from any thread. faultLock_ guards the injected
// faults; the backends guard their own state.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual const char* Name() const = 0;
    virtual std::vector<std::string> OutputDeviceNames() = 0;
    virtual std::vector<std::string> InputDeviceNames() = 0;
    // Whether output (capture false) or input device `device` is a USB audio device (a card
    // whose driver is USB audio). False when it is not, or the backend cannot tell.
    virtual bool IsUsbAudioDevice(bool capture, int device);
    // Opens a stream on device (-1 or a number below the count; checked by the caller).
    virtual MMRESULT OpenPlayback(int device, const WaveDeviceFormat& format,
                                  std::unique_ptr<PlaybackStream>* stream) = 0;
    virtual MMRESULT OpenCapture(int device, const WaveDeviceFormat& format,
                                 std::unique_ptr<CaptureStream>* stream) = 0;
    // The mixer that holds the capture device's controls.
    virtual MMRESULT OpenMixer(int inputDevice, std::shared_ptr<MixerDevice>* mixer) = 0;

    // Makes the next `count` calls of op fail with code (count < 0: every call).
    void InjectFault(AudioOp op, MMRESULT code, int count = 1);
    void ClearFaults();
    // The injected code for this call of op, or 0; used by the device layer.
    MMRESULT TakeFault(AudioOp op);

private:
    struct Fault {
        MMRESULT code = 0;
        int count = 0;
    };
    std::mutex faultLock_;
    std::array<Fault, static_cast<size_t>(AudioOp::Count)> faults_{};
};

// Builds a backend from a QUORVEX_AUDIO text: "alsa", "null", or
// "file:in=<wav>,out=<wav>[,speed=<factor>]". Returns null and sets *error on a bad text.
std::unique_ptr<AudioBackend> MakeAudioBackend(const std::string& setting, std::string* error);

// The process-wide backend: the one a test installed, else the one QUORVEX_AUDIO names (ALSA
// when unset; an unusable text is reported on the debug output and gives ALSA).
AudioBackend& CurrentAudioBackend();
// Installs a backend (nullptr restores the default); returns the one it replaced. Devices
// opened on a backend must be closed before it is replaced.
AudioBackend* SetAudioBackend(AudioBackend* backend);

class ScopedAudioBackend {
public:
    explicit ScopedAudioBackend(AudioBackend& backend) : previous_(SetAudioBackend(&backend)) {}
    ~ScopedAudioBackend() { SetAudioBackend(previous_); }
    ScopedAudioBackend(const ScopedAudioBackend&) = delete;
    ScopedAudioBackend& operator=(const ScopedAudioBackend&) = delete;

private:
    AudioBackend* previous_;
};

} // namespace plat
