#include "app/panels/zel_SldAudioSettings.h"

#include <cmath>

#include "app/call/VolumeSettings.h"

bool CMakeCall::zel_SldAudioSettings::Create(zel_Parent* parent, uint8_t opacity) {
    m_Opacity.CreateFromSkin(this, kOpacity);
    m_Opacity.SetRange(kMinOpacity, kMaxOpacity);
    m_Opacity.SetPos(opacity);
    m_Microphone.CreateFromSkin(this, kMicrophone);
    m_Microphone.SetRange(0, 100);
    m_Microphone.SetPos(static_cast<float>(ReadVolume("mic")));
    m_Speaker.CreateFromSkin(this, kSpeaker);
    m_Speaker.SetRange(0, 100);
    m_Speaker.SetPos(static_cast<float>(ReadVolume("spk")));
    return CreateFromSkin(parent, kPanel, 1);
}

void CMakeCall::zel_SldAudioSettings::Notify(uint16_t id, int32_t value) {
    const zel_ScrollSlide* slider = id == kOpacity      ? &m_Opacity
                                    : id == kMicrophone ? &m_Microphone
                                    : id == kSpeaker    ? &m_Speaker
                                                        : nullptr;
    if (slider) {
        value = static_cast<int32_t>(std::lround(slider->GetPos()));
    }
    zel_Slide::Notify(id, value);
}
