#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/MixerDevice.h"

typedef struct _snd_mixer snd_mixer_t;
typedef struct _snd_mixer_elem snd_mixer_elem_t;

namespace plat {

// A card's ALSA mixer in the line and control model: one wave-in destination carrying the
// "Capture" element's volume and switch (when the card has one), and a source line for every
// other element with a capture volume or switch ("Mic..." is a microphone, "Line..." a line
// input, anything else undefined). Volumes are mapped linearly onto the element's range; the
// mute control is the inverted capture switch. Changing it changes the system's setting.
// Threads: any; lock_ guards the mixer handle and the model.
class AlsaMixerDevice final : public MixerDevice {
public:
    // card: "default" or "hw:<n>".
    static MMRESULT Open(const std::string& card, std::shared_ptr<MixerDevice>* mixer);
    ~AlsaMixerDevice() override;

    MMRESULT GetDestinationByType(uint32_t componentType, MixerLineInfo* line) override;
    MMRESULT GetSource(uint32_t destination, uint32_t source, MixerLineInfo* line) override;
    MMRESULT GetControlByType(uint32_t lineId, uint32_t controlType,
                              MixerControlInfo* control) override;
    MMRESULT GetControlValue(uint32_t controlId, uint32_t* value) override;
    MMRESULT SetControlValue(uint32_t controlId, uint32_t value) override;

private:
    struct Line {
        MixerLineInfo info;
        snd_mixer_elem_t* element = nullptr; // null: a destination without its own element
    };
    explicit AlsaMixerDevice(snd_mixer_t* mixer) : mixer_(mixer) {}
    // Control ids: line index * 2 + 1 is the volume, + 2 the mute.
    Line* LineOfControl(uint32_t controlId, bool* isMute);

    std::mutex lock_;
    snd_mixer_t* mixer_;
    std::vector<Line> lines_; // lines_[0] is the destination
};

} // namespace plat
