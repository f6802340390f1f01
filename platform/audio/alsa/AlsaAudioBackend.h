#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/AudioBackend.h"

namespace plat {

// The machine's sound cards through ALSA. Devices are the cards' PCM devices in card and
// device order ("plughw:<card>,<device>", so any rate is converted); -1 is ALSA's "default".
// Streams use periods of kDevicePeriodMs and a two-period ring that starts at the first period;
// underruns, overruns and suspends are recovered inside the stream and traced, and an error
// that cannot be recovered is reported so the device parks.
// Threads: any; the backend keeps no state of its own.
class AlsaAudioBackend final : public AudioBackend {
public:
    struct Device {
        std::string pcm;  // the ALSA name to open
        std::string card; // "hw:<card>", for the mixer
        std::string name; // shown to the user
        bool usb = false; // the card's driver is snd-usb-audio
    };

    const char* Name() const override { return "alsa"; }
    std::vector<std::string> OutputDeviceNames() override;
    std::vector<std::string> InputDeviceNames() override;
    bool IsUsbAudioDevice(bool capture, int device) override;
    MMRESULT OpenPlayback(int device, const WaveDeviceFormat& format,
                          std::unique_ptr<PlaybackStream>* stream) override;
    MMRESULT OpenCapture(int device, const WaveDeviceFormat& format,
                         std::unique_ptr<CaptureStream>* stream) override;
    MMRESULT OpenMixer(int inputDevice, std::shared_ptr<MixerDevice>* mixer) override;

    static std::vector<Device> Enumerate(bool capture);
};

} // namespace plat
