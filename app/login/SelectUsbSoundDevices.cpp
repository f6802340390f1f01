#include "app/login/SelectUsbSoundDevices.h"

#include <strings.h>

#include <string>

#include "app/sound/PlaySound2.h"
#include "app/trace/TraceFile.h"
#include "platform/audio/AudioBackend.h"

namespace {

// The names the handset's sound devices carry, and how much of each is compared.
bool HasHandsetName(const std::string& name) {
    static const char* const kNames[] = {"USB Audio Device", "Dispositivo de audio USB"};
    for (const char* prefix : kNames) {
        const size_t length = std::char_traits<char>::length(prefix);
        if (name.size() >= length && strncasecmp(name.c_str(), prefix, length) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int FindUsbSoundDevice(const std::vector<SoundDeviceInfo>& devices) {
    for (int i = static_cast<int>(devices.size()) - 1; i >= 0; --i) {
        const SoundDeviceInfo& device = devices[static_cast<size_t>(i)];
        if (device.usb || HasHandsetName(device.name)) {
            return i;
        }
    }
    return -1;
}

std::vector<SoundDeviceInfo> ListSoundDevices(bool capture) {
    plat::AudioBackend& backend = plat::CurrentAudioBackend();
    std::vector<std::string> names =
        capture ? backend.InputDeviceNames() : backend.OutputDeviceNames();
    std::vector<SoundDeviceInfo> devices;
    for (size_t i = 0; i < names.size(); ++i) {
        devices.push_back({names[i], backend.IsUsbAudioDevice(capture, static_cast<int>(i))});
    }
    return devices;
}

void SelectUsbSoundDevices(bool handsetOpen) {
    if (handsetOpen) {
        g_nWaveOutDev = FindUsbSoundDevice(ListSoundDevices(false));
        if (g_nWaveOutDev == -1) {
            AppTrace(" no se pudo ubicar el disp. de salida (cornetas) USB");
        }
        g_nWaveInDev = FindUsbSoundDevice(ListSoundDevices(true));
    }
    if (g_nWaveInDev == -1) {
        AppTrace(" no se pudo ubicar el disp. de entrada (microfono) USB");
    }
}
