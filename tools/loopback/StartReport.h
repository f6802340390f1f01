#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// The start of what a listener heard: where the far audio begins, how loud its first 40 ms
// are against the level that follows, and the holes (10 ms blocks without sound) in the second
// after it. Printed by the loopback benchmark, beside the delay.
namespace loopback {

constexpr double kStartClickMs = 40.0;
constexpr double kStartSpanS = 1.0;

struct StartHole {
    double atMs = 0; // after the first far audio
    double ms = 0;
};

struct StartReport {
    bool heard = false;
    double firstAudioS = 0; // into the speaker file
    int firstPeak = 0;      // the largest magnitude in the first kStartClickMs
    int steadyPeak = 0;     // the median peak of the 10 ms blocks from 0.5 s to kStartSpanS
    std::vector<StartHole> holes;
};

StartReport MeasureStart(const std::vector<int16_t>& speaker);
void PrintStartReport(std::FILE* to, const char* direction, const StartReport& report);

} // namespace loopback
