#include "platform/audio/CaptureMixer.h"

#include "platform/audio/AudioBackend.h"
#include "platform/audio/WaveIn.h"

namespace plat {

MMRESULT CaptureMixer::Open(const WaveIn& waveIn) {
    if (!waveIn.IsOpen()) {
        return MMSYSERR_INVALHANDLE;
    }
    return Open(waveIn.DeviceId());
}

MMRESULT CaptureMixer::Open(int inputDevice) {
    AudioBackend& backend = CurrentAudioBackend();
    if (MMRESULT fault = backend.TakeFault(AudioOp::MixerOpen)) {
        return fault;
    }
    if (inputDevice != WAVE_MAPPER && (inputDevice < 0 || static_cast<size_t>(inputDevice) >=
                                                              backend.InputDeviceNames().size())) {
        return MMSYSERR_BADDEVICEID;
    }
    std::shared_ptr<MixerDevice> mixer;
    if (MMRESULT result = backend.OpenMixer(inputDevice, &mixer)) {
        return result;
    }
    std::lock_guard<std::mutex> guard(lock_);
    mixer_ = std::move(mixer);
    return MMSYSERR_NOERROR;
}

MMRESULT CaptureMixer::Close() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!mixer_) {
        return MMSYSERR_INVALHANDLE;
    }
    mixer_.reset();
    return MMSYSERR_NOERROR;
}

bool CaptureMixer::IsOpen() {
    std::lock_guard<std::mutex> guard(lock_);
    return mixer_ != nullptr;
}

std::shared_ptr<MixerDevice> CaptureMixer::Device() {
    std::lock_guard<std::mutex> guard(lock_);
    return mixer_;
}

MMRESULT CaptureMixer::GetLineInfoByComponentType(uint32_t componentType, MixerLineInfo* line) {
    std::shared_ptr<MixerDevice> mixer = Device();
    if (!mixer) {
        return MMSYSERR_INVALHANDLE;
    }
    if (line == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return mixer->GetDestinationByType(componentType, line);
}

MMRESULT CaptureMixer::GetSourceLineInfo(uint32_t destination, uint32_t source,
                                         MixerLineInfo* line) {
    std::shared_ptr<MixerDevice> mixer = Device();
    if (!mixer) {
        return MMSYSERR_INVALHANDLE;
    }
    if (line == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return mixer->GetSource(destination, source, line);
}

MMRESULT CaptureMixer::GetLineControlByType(uint32_t lineId, uint32_t controlType,
                                            MixerControlInfo* control) {
    std::shared_ptr<MixerDevice> mixer = Device();
    if (!mixer) {
        return MMSYSERR_INVALHANDLE;
    }
    if (control == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return mixer->GetControlByType(lineId, controlType, control);
}

MMRESULT CaptureMixer::GetControlDetails(uint32_t controlId, uint32_t* value) {
    std::shared_ptr<MixerDevice> mixer = Device();
    if (!mixer) {
        return MMSYSERR_INVALHANDLE;
    }
    if (value == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return mixer->GetControlValue(controlId, value);
}

MMRESULT CaptureMixer::SetControlDetails(uint32_t controlId, uint32_t value) {
    std::shared_ptr<MixerDevice> mixer = Device();
    if (!mixer) {
        return MMSYSERR_INVALHANDLE;
    }
    return mixer->SetControlValue(controlId, value);
}

} // namespace plat
