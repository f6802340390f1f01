#pragma once
#include <memory>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/MemoryMixer.h"

namespace plat {

// One output that discards and one input that records silence, both at real-time pace on the
// current Clock (times the speed factor), and an in-memory mixer with a microphone line.
// Threads: any; the mixer guards itself, the rest is immutable.
class NullAudioBackend final : public AudioBackend {
public:
    explicit NullAudioBackend(double speed = 1.0);
    const char* Name() const override { return "null"; }
    std::vector<std::string> OutputDeviceNames() override;
    std::vector<std::string> InputDeviceNames() override;
    MMRESULT OpenPlayback(int device, const WaveDeviceFormat& format,
                          std::unique_ptr<PlaybackStream>* stream) override;
    MMRESULT OpenCapture(int device, const WaveDeviceFormat& format,
                         std::unique_ptr<CaptureStream>* stream) override;
    MMRESULT OpenMixer(int inputDevice, std::shared_ptr<MixerDevice>* mixer) override;
    MemoryMixer& Mixer() { return *mixer_; }
    // Replaces the mixer (tests shape their own); call while no mixer is open.
    void SetMixer(std::shared_ptr<MemoryMixer> mixer) { mixer_ = std::move(mixer); }

private:
    double speed_;
    std::shared_ptr<MemoryMixer> mixer_;
};

} // namespace plat
