#pragma once
#include <cstdint>
#include <string>

#include "platform/audio/WaveHeader.h"

namespace plat {

// Component types of mixer lines and control types, numbered as the original's.
constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

// A line of a mixer: a destination (source = kNoSource) or one of its sources.
struct MixerLineInfo {
    static constexpr uint32_t kNoSource = 0xFFFFFFFFu;
    uint32_t destination = 0;
    uint32_t source = kNoSource;
    uint32_t lineId = 0;
    uint32_t componentType = 0;
    uint32_t connections = 0; // sources of a destination
    std::string name;
};

struct MixerControlInfo {
    uint32_t controlId = 0;
    uint32_t controlType = 0;
    uint32_t minimum = 0;
    uint32_t maximum = 0; // 65535 for volume, 1 for mute
};

// The line and control model of a capture device's mixer. Volumes run from 0 to 65535, mutes
// are 0 or 1. Implementations are thread-safe.
class MixerDevice {
public:
    virtual ~MixerDevice() = default;
    virtual MMRESULT GetDestinationByType(uint32_t componentType, MixerLineInfo* line) = 0;
    virtual MMRESULT GetSource(uint32_t destination, uint32_t source, MixerLineInfo* line) = 0;
    virtual MMRESULT GetControlByType(uint32_t lineId, uint32_t controlType,
                                      MixerControlInfo* control) = 0;
    virtual MMRESULT GetControlValue(uint32_t controlId, uint32_t* value) = 0;
    virtual MMRESULT SetControlValue(uint32_t controlId, uint32_t value) = 0;
};

} // namespace plat
