#include "platform/audio/MemoryMixer.h"

#include <algorithm>

namespace plat {

MemoryMixer* MemoryMixer::WithMicrophone(MemoryMixer* mixer) {
    uint32_t destination = mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording");
    uint32_t mic = mixer->AddSource(destination, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic");
    mixer->AddControl(mic, MIXERCONTROL_CONTROLTYPE_VOLUME, 0xFFFF);
    mixer->AddControl(mic, MIXERCONTROL_CONTROLTYPE_MUTE, 0);
    return mixer;
}

uint32_t MemoryMixer::AddDestination(uint32_t componentType, const std::string& name) {
    std::lock_guard<std::mutex> guard(lock_);
    Line line;
    line.info.lineId = static_cast<uint32_t>(lines_.size()) + 1;
    line.info.componentType = componentType;
    line.info.name = name;
    uint32_t index = 0;
    for (const Line& other : lines_) {
        index += other.parent == 0 ? 1 : 0;
    }
    line.info.destination = index;
    lines_.push_back(line);
    return line.info.lineId;
}

uint32_t MemoryMixer::AddSource(uint32_t destinationLineId, uint32_t componentType,
                                const std::string& name) {
    std::lock_guard<std::mutex> guard(lock_);
    Line* destination = FindLine(destinationLineId);
    if (destination == nullptr || destination->parent != 0) {
        return 0;
    }
    Line line;
    line.parent = destinationLineId;
    line.info.lineId = static_cast<uint32_t>(lines_.size()) + 1;
    line.info.componentType = componentType;
    line.info.name = name;
    line.info.destination = destination->info.destination;
    line.info.source = destination->info.connections++;
    lines_.push_back(line);
    return line.info.lineId;
}

uint32_t MemoryMixer::AddControl(uint32_t lineId, uint32_t controlType, uint32_t initialValue) {
    std::lock_guard<std::mutex> guard(lock_);
    Control control;
    control.info.controlId = static_cast<uint32_t>(controls_.size()) + 1;
    control.info.controlType = controlType;
    control.info.maximum = controlType == MIXERCONTROL_CONTROLTYPE_MUTE ? 1 : 0xFFFF;
    control.lineId = lineId;
    control.value = initialValue;
    controls_.push_back(control);
    return control.info.controlId;
}

void MemoryMixer::InjectFailure(Op op, MMRESULT code, int count) {
    std::lock_guard<std::mutex> guard(lock_);
    failures_[static_cast<int>(op)] = {code, count};
}

bool MemoryMixer::ValueOf(uint32_t lineId, uint32_t controlType, uint32_t* value) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const Control& control : controls_) {
        if (control.lineId == lineId && control.info.controlType == controlType) {
            *value = control.value;
            return true;
        }
    }
    return false;
}

std::vector<MemoryMixer::Write> MemoryMixer::Writes() {
    std::lock_guard<std::mutex> guard(lock_);
    return writes_;
}

MMRESULT MemoryMixer::TakeFailure(Op op) {
    Failure& failure = failures_[static_cast<int>(op)];
    if (failure.count == 0) {
        return MMSYSERR_NOERROR;
    }
    if (failure.count > 0) {
        --failure.count;
    }
    return failure.code;
}

MemoryMixer::Line* MemoryMixer::FindLine(uint32_t lineId) {
    auto it = std::find_if(lines_.begin(), lines_.end(),
                           [lineId](const Line& line) { return line.info.lineId == lineId; });
    return it == lines_.end() ? nullptr : &*it;
}

MemoryMixer::Control* MemoryMixer::FindControl(uint32_t controlId) {
    auto it = std::find_if(controls_.begin(), controls_.end(),
                           [controlId](const Control& c) { return c.info.controlId == controlId; });
    return it == controls_.end() ? nullptr : &*it;
}

MMRESULT MemoryMixer::GetDestinationByType(uint32_t componentType, MixerLineInfo* line) {
    std::lock_guard<std::mutex> guard(lock_);
    if (MMRESULT failure = TakeFailure(Op::GetDestination)) {
        return failure;
    }
    for (const Line& candidate : lines_) {
        if (candidate.parent == 0 && candidate.info.componentType == componentType) {
            *line = candidate.info;
            return MMSYSERR_NOERROR;
        }
    }
    return MIXERR_INVALLINE;
}

MMRESULT MemoryMixer::GetSource(uint32_t destination, uint32_t source, MixerLineInfo* line) {
    std::lock_guard<std::mutex> guard(lock_);
    if (MMRESULT failure = TakeFailure(Op::GetSource)) {
        return failure;
    }
    for (const Line& candidate : lines_) {
        if (candidate.parent != 0 && candidate.info.destination == destination &&
            candidate.info.source == source) {
            *line = candidate.info;
            return MMSYSERR_NOERROR;
        }
    }
    return MIXERR_INVALLINE;
}

MMRESULT MemoryMixer::GetControlByType(uint32_t lineId, uint32_t controlType,
                                       MixerControlInfo* control) {
    std::lock_guard<std::mutex> guard(lock_);
    if (MMRESULT failure = TakeFailure(Op::GetControl)) {
        return failure;
    }
    if (FindLine(lineId) == nullptr) {
        return MIXERR_INVALLINE;
    }
    for (const Control& candidate : controls_) {
        if (candidate.lineId == lineId && candidate.info.controlType == controlType) {
            *control = candidate.info;
            return MMSYSERR_NOERROR;
        }
    }
    return MIXERR_INVALCONTROL;
}

MMRESULT MemoryMixer::GetControlValue(uint32_t controlId, uint32_t* value) {
    std::lock_guard<std::mutex> guard(lock_);
    if (MMRESULT failure = TakeFailure(Op::GetValue)) {
        return failure;
    }
    Control* control = FindControl(controlId);
    if (control == nullptr) {
        return MIXERR_INVALCONTROL;
    }
    *value = control->value;
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryMixer::SetControlValue(uint32_t controlId, uint32_t value) {
    std::lock_guard<std::mutex> guard(lock_);
    if (MMRESULT failure = TakeFailure(Op::SetValue)) {
        return failure;
    }
    Control* control = FindControl(controlId);
    if (control == nullptr) {
        return MIXERR_INVALCONTROL;
    }
    control->value = std::min(value, control->info.maximum);
    writes_.push_back({control->lineId, control->info.controlType, control->value});
    return MMSYSERR_NOERROR;
}

} // namespace plat
