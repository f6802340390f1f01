#include "platform/audio/alsa/AlsaMixerDevice.h"

#include <alsa/asoundlib.h>

#include <cstring>
#include <strings.h>

namespace plat {

MMRESULT AlsaMixerDevice::Open(const std::string& card, std::shared_ptr<MixerDevice>* out) {
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
            continue;
        }
        Line line;
        line.element = element;
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
    long minimum = 0, maximum = 0, current = 0;
    if (snd_mixer_selem_get_capture_volume_range(line->element, &minimum, &maximum) < 0 ||
        snd_mixer_selem_get_capture_volume(line->element, SND_MIXER_SCHN_FRONT_LEFT, &current) <
            0) {
        return MMSYSERR_ERROR;
    }
    long span = maximum > minimum ? maximum - minimum : 1;
    *value = static_cast<uint32_t>((current - minimum) * 0xFFFF / span);
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
    long minimum = 0, maximum = 0;
    if (snd_mixer_selem_get_capture_volume_range(line->element, &minimum, &maximum) < 0) {
        return MMSYSERR_ERROR;
    }
    long level =
        minimum + static_cast<long>(value > 0xFFFF ? 0xFFFF : value) * (maximum - minimum) / 0xFFFF;
    return snd_mixer_selem_set_capture_volume_all(line->element, level) < 0 ? MMSYSERR_ERROR
                                                                            : MMSYSERR_NOERROR;
}

} // namespace plat
