#pragma once
#include <cstdint>

#include "app/call/CMakeCall.h"
#include "app/layout/FormSkinIds.h"
#include "skin/zel_ScrollSlide.h"

// The audio panel (skin id 500, right-hand group of the left column): sliders for the window's
// opacity (510, 120 to 255), the microphone (504) and the speaker (507) volumes (0 to 100, as
// quorvix.ini [vol] keeps them). Moving a slider sends its id with the new value to the window.
// GUI thread only.
class CMakeCall::zel_SldAudioSettings final : public zel_Slide {
public:
    static constexpr int kPanel = AudioPanelIds::kPanel;
    static constexpr int kOpacity = AudioPanelIds::kOpacity;
    static constexpr int kMicrophone = AudioPanelIds::kMicrophone;
    static constexpr int kSpeaker = AudioPanelIds::kSpeaker;
    static constexpr int32_t kMinOpacity = 120;
    static constexpr int32_t kMaxOpacity = 255;

    // Loads the sliders at `opacity` and the stored volumes, then the panel; false when the
    // skin lacks the panel.
    bool Create(zel_Parent* parent, uint8_t opacity);
    // A slider's drag step goes up as (slider id, its value).
    void Notify(uint16_t id, int32_t value) override;

    zel_ScrollSlide m_Opacity;
    zel_ScrollSlide m_Microphone;
    zel_ScrollSlide m_Speaker;
};
