#pragma once
#include <cstdint>

namespace plat {

// How a mixer value (0-65535, MixerDevice's volume scale) becomes a setting of an ALSA control
// and back. A mixer value is an amplitude gain of value / 65535: 32767 halves the signal
// (-6 dB) on every control, whatever its steps mean.
//   Linear:  the control's steps are proportional to amplitude (a control that says nothing
//            else about itself).
//   Cubic:   the sound server's control (PulseAudio's ALSA plugin, PipeWire's): its range maps
//            onto the server's volume, whose amplitude is the cube of the step's share of the
//            range, so the step is the cube root of the gain.
//   Decibel: the control tells its steps in dB; the target is the gain in hundredths of a dB,
//            within the control's range, and ALSA picks the step.
// A value of 0 is the bottom of the control's range in every law.
struct VolumeLaw {
    enum class Scale { Linear, Cubic, Decibel };
    static constexpr uint32_t kFullScale = 0xFFFF;

    Scale scale = Scale::Linear;
    long minimum = 0, maximum = 0;     // the control's steps
    long minimumDb = 0, maximumDb = 0; // its range in 0.01 dB (Decibel only)

    // The gain of a mixer value as an amplitude factor, 0 to 1 (above 65535 counts as 65535).
    static double Amplitude(uint32_t value);

    // Linear and Cubic: the step for a mixer value. Decibel: the level in 0.01 dB.
    long Target(uint32_t value) const;
    // The mixer value a step (Linear, Cubic) or a level in 0.01 dB (Decibel) stands for.
    uint32_t ValueOf(long target) const;
};

} // namespace plat
