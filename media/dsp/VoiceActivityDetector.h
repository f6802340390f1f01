#pragma once
#include <cstdint>

namespace tamsor {

// The energy detector's state, one for the whole library and shared by every VAD object: an
// envelope of the first-differenced signal, an adaptive noise floor and a hangover. Used by
// one transmit chain at a time, without a lock.
struct VadState {
    bool initialised = false;
    uint32_t envelope = 0;
    bool rising = false;
    int32_t hangover = 0;
    float noiseFloor = 0.0f;
    int32_t floorTimer = 0;
    float margin = 0.0f;
    // Input of the first-difference filter; 1700 when the library is loaded, and carried
    // across frames, chunks and re-initialisations.
    int16_t previousSample = 1700;
};

// The library's detector state (tests read and prepare it).
VadState& VadSharedState();

// Sets the state to its starting values (all but the previous sample).
void VadInit();
// True when the n 16-bit values hold speech; true for anything before the first VadInit, false
// for n of 0 or less afterwards.
bool VadIsSpeech(const int16_t* samples, int n);

// The detector of a VAD object; it works on the library-wide state.
class VoiceActivityDetector {
public:
    virtual ~VoiceActivityDetector() = default;

    // VadInit. Returns 0.
    int Reset();
    // 1 when VadIsSpeech reports no speech, else 0.
    int IsSilence(const int16_t* samples, int n);
};

} // namespace tamsor
