#pragma once
#include <string>
#include <vector>

// One sound device as the handset's device search sees it.
struct SoundDeviceInfo {
    std::string name;
    bool usb = false; // the card's driver is USB audio
};

// The handset's device among `devices` (in device order): searching from the last down to the
// first, the first that is a USB audio device or whose name begins, ignoring case, with
// "USB Audio Device" or "Dispositivo de audio USB". -1 when there is none.
int FindUsbSoundDevice(const std::vector<SoundDeviceInfo>& devices);

// The wave-out or wave-in devices of the current audio backend.
std::vector<SoundDeviceInfo> ListSoundDevices(bool capture);

// The login form's device choice at start: with the handset open, g_nWaveOutDev and
// g_nWaveInDev become its speaker and microphone (each -1 when not found, traced); without
// it they stay as they are. A wave-in device of -1 is traced either way. GUI thread.
void SelectUsbSoundDevices(bool handsetOpen);
