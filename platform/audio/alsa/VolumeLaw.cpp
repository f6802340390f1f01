#include "platform/audio/alsa/VolumeLaw.h"

#include <algorithm>
#include <cmath>

namespace plat {

double VolumeLaw::Amplitude(uint32_t value) {
    return static_cast<double>(std::min(value, kFullScale)) / kFullScale;
}

long VolumeLaw::Target(uint32_t value) const {
    const uint32_t v = std::min(value, kFullScale);
    switch (scale) {
    case Scale::Linear:
        return minimum + static_cast<long>(v) * (maximum - minimum) / static_cast<long>(kFullScale);
    case Scale::Cubic:
        return minimum +
               std::lround(std::cbrt(Amplitude(v)) * static_cast<double>(maximum - minimum));
    case Scale::Decibel:
        if (v == 0) {
            return minimumDb;
        }
        return std::clamp(std::lround(2000.0 * std::log10(Amplitude(v))), minimumDb, maximumDb);
    }
    return minimum;
}

uint32_t VolumeLaw::ValueOf(long target) const {
    if (scale == Scale::Decibel) {
        if (target <= minimumDb) {
            return 0;
        }
        const double amplitude = std::pow(10.0, static_cast<double>(target) / 2000.0);
        return static_cast<uint32_t>(std::lround(std::min(amplitude, 1.0) * kFullScale));
    }
    const long span = maximum > minimum ? maximum - minimum : 1;
    const long step = std::clamp(target, minimum, std::max(minimum, maximum)) - minimum;
    if (scale == Scale::Linear) {
        return static_cast<uint32_t>(step * static_cast<long>(kFullScale) / span);
    }
    const double share = static_cast<double>(step) / static_cast<double>(span);
    return static_cast<uint32_t>(std::lround(share * share * share * kFullScale));
}

} // namespace plat
