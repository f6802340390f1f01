#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/MixerDevice.h"
#include "platform/audio/alsa/VolumeLaw.h"

typedef struct _snd_mixer snd_mixer_t;
typedef struct _snd_mixer_elem snd_mixer_elem_t;

namespace plat {

// A card's ALSA mixer in the line and control model: one wave-in destination carrying the
// "Capture" element's volume and switch (when the card has one), and a source line for every
// other element with a capture volume or switch ("Mic..." is a microphone, "Line..." a line
// input, anything else undefined). A volume is an amplitude gain on every element (VolumeLaw):
// through the element's dB range when it tells one, as the cube root on the sound server's
// elements, else linearly onto the element's range. The mute control is the inverted capture
// switch. Changing it changes the system's setting.
// Threads: any; lock_ guards the mixer handle and the model.
class AlsaMixerDevice final : public MixerDevice {
public:
    // card: "default", "hw:<n>" or any ALSA control name ("pulse:<source>").
    static MMRESULT Open(const std::string& card, std::shared_ptr<AlsaMixerDevice>* mixer);
    ~AlsaMixerDevice() override;

    // The card's name as its control tells it ("PulseAudio" for PulseAudio's ALSA plugin).
    const std::string& CardName() const { return cardName_; }
    // The control is the sound server's (PulseAudio's or PipeWire's ALSA plugin).
    bool IsSoundServer() const;

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
        VolumeLaw law;                       // of the element's capture volume
        bool lawKnown = false;               // its range could be read
    };
    explicit AlsaMixerDevice(snd_mixer_t* mixer) : mixer_(mixer) {}
    // The law of the element's capture volume; false when it has none or its range cannot be
    // read.
    bool LawOf(snd_mixer_elem_t* element, VolumeLaw* law) const;
    // The element's step whose dB level is nearest to `db` (0.01 dB); `fallback` when ALSA
    // cannot tell.
    static long NearestStep(snd_mixer_elem_t* element, long db, long fallback);
    // Control ids: line index * 2 + 1 is the volume, + 2 the mute.
    Line* LineOfControl(uint32_t controlId, bool* isMute);

    std::mutex lock_;
    snd_mixer_t* mixer_;
    std::string cardName_;
    std::vector<Line> lines_; // lines_[0] is the destination
};

} // namespace plat
