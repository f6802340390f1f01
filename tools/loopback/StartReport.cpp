#include "tools/loopback/StartReport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tools/loopback/TestSignal.h"

namespace loopback {

namespace {

constexpr size_t kBlock = kSampleRate / 100; // 10 ms
// Below this magnitude a sample is taken for silence: the chain's silence is exact zeros.
constexpr int kSilence = 50;

int PeakOf(const std::vector<int16_t>& s, size_t begin, size_t end) {
    int peak = 0;
    for (size_t i = begin; i < std::min(end, s.size()); ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    }
    return peak;
}

} // namespace

StartReport MeasureStart(const std::vector<int16_t>& speaker) {
    StartReport r;
    const auto first = std::find_if(speaker.begin(), speaker.end(),
                                    [](int16_t x) { return std::abs(int{x}) >= kSilence; });
    if (first == speaker.end()) {
        return r;
    }
    const size_t start = static_cast<size_t>(first - speaker.begin());
    r.heard = true;
    r.firstAudioS = static_cast<double>(start) / kSampleRate;
    r.firstPeak = PeakOf(speaker, start, start + static_cast<size_t>(kStartClickMs * 8));
    const size_t blocks = static_cast<size_t>(kStartSpanS * 100);
    std::vector<bool> sound(blocks);
    std::vector<int> steady;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t at = start + b * kBlock;
        const int peak = at + kBlock <= speaker.size() ? PeakOf(speaker, at, at + kBlock) : 0;
        sound[b] = peak >= kSilence;
        if (sound[b] && b >= blocks / 2) {
            steady.push_back(peak);
        }
    }
    for (size_t b = 0; b < blocks;) {
        size_t end = b;
        while (end < blocks && !sound[end]) {
            ++end;
        }
        if (end > b) {
            r.holes.push_back({static_cast<double>(b) * 10.0, static_cast<double>(end - b) * 10.0});
        }
        b = end + 1;
    }
    if (!steady.empty()) {
        std::nth_element(steady.begin(), steady.begin() + steady.size() / 2, steady.end());
        r.steadyPeak = steady[steady.size() / 2];
    }
    return r;
}

void PrintStartReport(std::FILE* to, const char* direction, const StartReport& r) {
    if (!r.heard) {
        std::fprintf(to, "  start %s: no far audio heard\n", direction);
        return;
    }
    const double rise = r.steadyPeak > 0 ? 20 * std::log10(double(r.firstPeak) / r.steadyPeak) : 0;
    std::fprintf(to,
                 "  start %s: first far audio at %.3f s; peak %d in its first %.0f ms against "
                 "%d after 0.5 s (%+.1f dB); holes in the first %.0f s:",
                 direction, r.firstAudioS, r.firstPeak, kStartClickMs, r.steadyPeak, rise,
                 kStartSpanS);
    if (r.holes.empty()) {
        std::fprintf(to, " none");
    }
    for (const StartHole& h : r.holes) {
        std::fprintf(to, " %.0f ms long at %.0f ms;", h.ms, h.atMs);
    }
    std::fprintf(to, "\n");
}

} // namespace loopback
