#include "platform/audio/alsa/AlsaMixerDevice.h"

#include <alsa/asoundlib.h>

#include <cstring>
#include <strings.h>

namespace plat {

namespace {

std::string CardNameOf(snd_mixer_t* mixer, const std::string& card) {
    snd_hctl_t* hctl = nullptr;
    if (snd_mixer_get_hctl(mixer, card.c_str(), &hctl) < 0) {
        return {};
    }
    snd_ctl_card_info_t* info;
    snd_ctl_card_info_alloca(&info);
    if (snd_ctl_card_info(snd_hctl_ctl(hctl), info) < 0) {
        return {};
    }
    return snd_ctl_card_info_get_name(info);
}

} // namespace

MMRESULT AlsaMixerDevice::Open(const std::string& card, std::shared_ptr<AlsaMixerDevice>* out) {
    snd_mixer_t* handle = nullptr;
    if (snd_mixer_open(&handle, 0) < 0) {
        return MMSYSERR_NOMEM;
    }
    if (snd_mixer_attach(handle, card.c_str()) < 0 ||
        snd_mixer_selem_register(handle, nullptr, nullptr) < 0 || snd_mixer_load(handle) < 0) {
        snd_mixer_close(handle);
        return MMSYSERR_BADDEVICEID;
    }
    std::shared_ptr<AlsaMixerDevice> mixer(new AlsaMixerDevice(handle));
    mixer->cardName_ = CardNameOf(handle, card);
    Line destination;
    destination.info.lineId = 1;
    destination.info.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    destination.info.name = "Capture";
    mixer->lines_.push_back(destination);
    for (snd_mixer_elem_t* element = snd_mixer_first_elem(handle); element != nullptr;
         element = snd_mixer_elem_next(element)) {
        if (!snd_mixer_selem_has_capture_volume(element) &&
            !snd_mixer_selem_has_capture_switch(element)) {
            continue;
        }
        const char* name = snd_mixer_selem_get_name(element);
        if (strcasecmp(name, "Capture") == 0 && mixer->lines_[0].element == nullptr) {
            mixer->lines_[0].element = element;
            mixer->lines_[0].lawKnown = mixer->LawOf(element, &mixer->lines_[0].law);
            continue;
        }
        Line line;
        line.element = element;
        line.lawKnown = mixer->LawOf(element, &line.law);
        line.info.lineId = static_cast<uint32_t>(mixer->lines_.size()) + 1;
        line.info.source = mixer->lines_[0].info.connections++;
        line.info.name = name;
        line.info.componentType =
            strncasecmp(name, "Mic", 3) == 0    ? MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE
            : strncasecmp(name, "Line", 4) == 0 ? MIXERLINE_COMPONENTTYPE_SRC_LINE
                                                : MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
        mixer->lines_.push_back(line);
    }
    *out = mixer;
    return MMSYSERR_NOERROR;
}

// The sound servers' ALSA plugins name their card after the server.
bool AlsaMixerDevice::IsSoundServer() const {
    return strcasecmp(cardName_.c_str(), "PulseAudio") == 0 ||
           strcasecmp(cardName_.c_str(), "PipeWire") == 0;
}

bool AlsaMixerDevice::LawOf(snd_mixer_elem_t* element, VolumeLaw* law) const {
    if (!snd_mixer_selem_has_capture_volume(element) ||
        snd_mixer_selem_get_capture_volume_range(element, &law->minimum, &law->maximum) < 0) {
        return false;
    }
    if (IsSoundServer()) {
        law->scale = VolumeLaw::Scale::Cubic;
    } else if (snd_mixer_selem_get_capture_dB_range(element, &law->minimumDb, &law->maximumDb) ==
                   0 &&
               law->maximumDb > law->minimumDb) {
        law->scale = VolumeLaw::Scale::Decibel;
    }
    return true;
}

AlsaMixerDevice::~AlsaMixerDevice() {
    snd_mixer_close(mixer_);
}

MMRESULT AlsaMixerDevice::GetDestinationByType(uint32_t componentType, MixerLineInfo* line) {
    std::lock_guard<std::mutex> guard(lock_);
    if (componentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
        return MIXERR_INVALLINE;
    }
    *line = lines_[0].info;
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaMixerDevice::GetSource(uint32_t destination, uint32_t source, MixerLineInfo* line) {
    std::lock_guard<std::mutex> guard(lock_);
    if (destination != 0 || source + 1 >= lines_.size()) {
        return MIXERR_INVALLINE;
    }
    *line = lines_[source + 1].info;
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaMixerDevice::GetControlByType(uint32_t lineId, uint32_t controlType,
                                           MixerControlInfo* control) {
    std::lock_guard<std::mutex> guard(lock_);
    if (lineId == 0 || lineId > lines_.size()) {
        return MIXERR_INVALLINE;
    }
    snd_mixer_elem_t* element = lines_[lineId - 1].element;
    bool present = element != nullptr && (controlType == MIXERCONTROL_CONTROLTYPE_VOLUME
                                              ? snd_mixer_selem_has_capture_volume(element)
                                              : controlType == MIXERCONTROL_CONTROLTYPE_MUTE &&
                                                    snd_mixer_selem_has_capture_switch(element));
    if (!present) {
        return MIXERR_INVALCONTROL;
    }
    bool mute = controlType == MIXERCONTROL_CONTROLTYPE_MUTE;
    control->controlId = (lineId - 1) * 2 + (mute ? 2 : 1);
    control->controlType = controlType;
    control->minimum = 0;
    control->maximum = mute ? 1 : 0xFFFF;
    return MMSYSERR_NOERROR;
}

long AlsaMixerDevice::NearestStep(snd_mixer_elem_t* element, long db, long fallback) {
    long below = 0, above = 0, belowDb = 0, aboveDb = 0;
    const bool haveBelow = snd_mixer_selem_ask_capture_dB_vol(element, db, -1, &below) == 0 &&
                           snd_mixer_selem_ask_capture_vol_dB(element, below, &belowDb) == 0;
    const bool haveAbove = snd_mixer_selem_ask_capture_dB_vol(element, db, 1, &above) == 0 &&
                           snd_mixer_selem_ask_capture_vol_dB(element, above, &aboveDb) == 0;
    if (haveBelow && haveAbove) {
        return db - belowDb <= aboveDb - db ? below : above;
    }
    return haveAbove ? above : haveBelow ? below : fallback;
}

AlsaMixerDevice::Line* AlsaMixerDevice::LineOfControl(uint32_t controlId, bool* isMute) {
    if (controlId == 0) {
        return nullptr;
    }
    size_t index = (controlId - 1) / 2;
    *isMute = (controlId - 1) % 2 == 1;
    if (index >= lines_.size() || lines_[index].element == nullptr) {
        return nullptr;
    }
    return &lines_[index];
}

MMRESULT AlsaMixerDevice::GetControlValue(uint32_t controlId, uint32_t* value) {
    std::lock_guard<std::mutex> guard(lock_);
    bool mute = false;
    Line* line = LineOfControl(controlId, &mute);
    if (line == nullptr) {
        return MIXERR_INVALCONTROL;
    }
    if (mute) {
        int on = 1;
        if (snd_mixer_selem_get_capture_switch(line->element, SND_MIXER_SCHN_FRONT_LEFT, &on) < 0) {
            return MMSYSERR_ERROR;
        }
        *value = on ? 0 : 1;
        return MMSYSERR_NOERROR;
    }
    const VolumeLaw& law = line->law;
    long current = 0;
    if (!line->lawKnown || snd_mixer_selem_get_capture_volume(
                               line->element, SND_MIXER_SCHN_FRONT_LEFT, &current) < 0) {
        return MMSYSERR_ERROR;
    }
    if (law.scale != VolumeLaw::Scale::Decibel) {
        *value = law.ValueOf(current);
        return MMSYSERR_NOERROR;
    }
    long db = 0;
    if (current <= law.minimum) {
        *value = 0;
    } else if (snd_mixer_selem_ask_capture_vol_dB(line->element, current, &db) < 0) {
        return MMSYSERR_ERROR;
    } else {
        *value = law.ValueOf(db);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaMixerDevice::SetControlValue(uint32_t controlId, uint32_t value) {
    std::lock_guard<std::mutex> guard(lock_);
    bool mute = false;
    Line* line = LineOfControl(controlId, &mute);
    if (line == nullptr) {
        return MIXERR_INVALCONTROL;
    }
    if (mute) {
        return snd_mixer_selem_set_capture_switch_all(line->element, value != 0 ? 0 : 1) < 0
                   ? MMSYSERR_ERROR
                   : MMSYSERR_NOERROR;
    }
    const VolumeLaw& law = line->law;
    if (!line->lawKnown) {
        return MMSYSERR_ERROR; // its range could not be read
    }
    long step = law.Target(value);
    if (law.scale == VolumeLaw::Scale::Decibel) {
        VolumeLaw linear = law;
        linear.scale = VolumeLaw::Scale::Linear;
        step = value == 0 ? law.minimum : NearestStep(line->element, step, linear.Target(value));
    }
    return snd_mixer_selem_set_capture_volume_all(line->element, step) < 0 ? MMSYSERR_ERROR
                                                                           : MMSYSERR_NOERROR;
}

} // namespace plat
