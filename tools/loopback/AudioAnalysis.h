#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// What a speaker file holds: tone levels by Goertzel, overall level, the dominant tone, and the
// position of a marker by normalised cross-correlation. Levels are in dB of a full-scale sine;
// ranges are sample indices [begin, end), clipped to the signal.
namespace loopback {

constexpr double kNoSignalDb = -200.0;

// The level of the tone at `hz`: Goertzel over Hann-windowed blocks of 100 ms, power averaged
// over the blocks. A tone 100 Hz away leaks less than -80 dB into it.
double ToneLevelDb(const std::vector<int16_t>& samples, size_t begin, size_t end, double hz);

// The strongest level of the tone at `hz` in any 100 ms block of [begin, end), the blocks 50 ms
// apart: a tone that comes and goes shows here even when its average is low.
double LoudestToneBlockDb(const std::vector<int16_t>& samples, size_t begin, size_t end, double hz);

// The RMS level, in dBFS of a full-scale sine (a sine of peak 32767 reads 0 dBFS).
double LevelDbfs(const std::vector<int16_t>& samples, size_t begin, size_t end);

struct TonePeak {
    double hz = 0;
    double db = kNoSignalDb;
};
// The strongest tone between lowHz and highHz, to a quarter hertz.
TonePeak DominantTone(const std::vector<int16_t>& samples, size_t begin, size_t end,
                      double lowHz = 100, double highHz = 3900);

struct MarkerMatch {
    bool found = false;
    size_t position = 0;    // where the marker starts in the samples
    double correlation = 0; // normalised, 1 for an exact copy at any level
};
// The best match of the marker starting in [searchBegin, searchEnd); found when the normalised
// correlation reaches minCorrelation.
MarkerMatch FindMarker(const std::vector<int16_t>& samples, const std::vector<int16_t>& marker,
                       size_t searchBegin, size_t searchEnd, double minCorrelation = 0.5);

} // namespace loopback
