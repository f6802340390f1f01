// The call's volumes: the audio panel's sliders and the handset's volume keys.
#include <algorithm>

#include "app/call/CallLogic.h"
#include "app/call/VolumeSettings.h"
#include "app/trace/TraceFile.h"

void CallLogic::OnMicrophoneSlider(int value) {
    value = std::clamp(value, 0, 100);
    if (g_pMedia && g_pMedia->SetMicrophoneVolume(Devices().waveIn, value) != 0) {
        AppTrace("CMakeCall::OnMicrophoneSlider: !SetMicrophoneVolume");
    }
    WriteVolume("mic", value);
}

void CallLogic::OnSpeakerSlider(int value) {
    value = std::clamp(value, 0, 100);
    if (g_pMedia && g_pMedia->SetSpeakerVolume(Devices().waveOut, value) != 0) {
        AppTrace("CMakeCall::OnSpeakerSlider: !SetSpeakerVolume");
    }
    WriteVolume("spk", value);
}

void CallLogic::StepSpeakerVolume(int step) {
    const int value = ReadVolume("spk") + step;
    if (value < 0 || value > 100) {
        return;
    }
    OnSpeakerSlider(value);
}
