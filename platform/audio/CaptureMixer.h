#pragma once
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/audio/MixerDevice.h"

namespace plat {

class WaveIn;

// The mixer of a capture device, opened through an open WaveIn or by device number: its
// destination lines (the wave-in line found by component type), their source lines, and the
// volume and mute controls of each line. Results are the original's numbers.
//
// Threads: one owner at a time; lock_ guards mixer_. The device behind it is thread-safe.
class CaptureMixer {
public:
    CaptureMixer() = default;
    ~CaptureMixer() { Close(); }
    CaptureMixer(const CaptureMixer&) = delete;
    CaptureMixer& operator=(const CaptureMixer&) = delete;

    // Opens the mixer of the device the WaveIn has open (MMSYSERR_INVALHANDLE when closed).
    MMRESULT Open(const WaveIn& waveIn);
    // Opens the mixer of a capture device number (or WAVE_MAPPER).
    MMRESULT Open(int inputDevice);
    MMRESULT Close();
    bool IsOpen();

    // The first destination line of this component type.
    MMRESULT GetLineInfoByComponentType(uint32_t componentType, MixerLineInfo* line);
    // Source `source` of destination `destination`.
    MMRESULT GetSourceLineInfo(uint32_t destination, uint32_t source, MixerLineInfo* line);
    // The line's control of this type.
    MMRESULT GetLineControlByType(uint32_t lineId, uint32_t controlType, MixerControlInfo* control);
    MMRESULT GetControlDetails(uint32_t controlId, uint32_t* value);
    MMRESULT SetControlDetails(uint32_t controlId, uint32_t value);

private:
    std::shared_ptr<MixerDevice> Device();

    std::mutex lock_;
    std::shared_ptr<MixerDevice> mixer_;
};

} // namespace plat
