#include "tools/loopback/AudioAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/loopback/TestSignal.h"

namespace loopback {

namespace {

constexpr size_t kBlock = kSampleRate / 10;

double ToDb(double amplitude) {
    return amplitude > 0 ? 20.0 * std::log10(amplitude / 32767.0) : kNoSignalDb;
}

// Squared amplitude of the tone at hz in one Hann-windowed block.
double BlockTonePower(const int16_t* x, size_t n, double hz) {
    const double w = 2 * std::numbers::pi * hz / kSampleRate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0, windowSum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n);
        windowSum += window;
        const double s0 = x[i] * window + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    const double amplitude = 2 * std::sqrt(std::max(0.0, power)) / windowSum;
    return amplitude * amplitude;
}

} // namespace

double ToneLevelDb(const std::vector<int16_t>& samples, size_t begin, size_t end, double hz) {
    end = std::min(end, samples.size());
    if (begin >= end) {
        return kNoSignalDb;
    }
    const size_t block = std::min(kBlock, end - begin);
    double total = 0;
    size_t blocks = 0;
    for (size_t at = begin; at + block <= end; at += block) {
        total += BlockTonePower(samples.data() + at, block, hz);
        ++blocks;
    }
    return ToDb(std::sqrt(total / static_cast<double>(blocks)));
}

double LoudestToneBlockDb(const std::vector<int16_t>& samples, size_t begin, size_t end,
                          double hz) {
    end = std::min(end, samples.size());
    double loudest = kNoSignalDb;
    for (size_t at = begin; at + kBlock <= end; at += kBlock / 2) {
        loudest = std::max(loudest, ToneLevelDb(samples, at, at + kBlock, hz));
    }
    return loudest;
}

double LevelDbfs(const std::vector<int16_t>& samples, size_t begin, size_t end) {
    end = std::min(end, samples.size());
    if (begin >= end) {
        return kNoSignalDb;
    }
    double sum = 0;
    for (size_t i = begin; i < end; ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return ToDb(std::sqrt(2 * sum / static_cast<double>(end - begin)));
}

TonePeak DominantTone(const std::vector<int16_t>& samples, size_t begin, size_t end, double lowHz,
                      double highHz) {
    // A coarse scan (the Hann main lobe of a 100 ms block is 40 Hz wide), then a fine one.
    TonePeak best;
    for (double hz = lowHz; hz <= highHz; hz += 4) {
        const double db = ToneLevelDb(samples, begin, end, hz);
        if (db > best.db) {
            best = {hz, db};
        }
    }
    const double centre = best.hz;
    for (double hz = centre - 4; hz <= centre + 4; hz += 0.25) {
        const double db = ToneLevelDb(samples, begin, end, hz);
        if (db > best.db) {
            best = {hz, db};
        }
    }
    return best;
}

MarkerMatch FindMarker(const std::vector<int16_t>& samples, const std::vector<int16_t>& marker,
                       size_t searchBegin, size_t searchEnd, double minCorrelation) {
    MarkerMatch best;
    if (marker.empty() || samples.size() < marker.size()) {
        return best;
    }
    double markerEnergy = 0;
    for (int16_t m : marker) {
        markerEnergy += static_cast<double>(m) * m;
    }
    searchEnd = std::min(searchEnd, samples.size() - marker.size() + 1);
    for (size_t p = searchBegin; p < searchEnd; ++p) {
        double dot = 0, energy = 0;
        for (size_t i = 0; i < marker.size(); ++i) {
            const double s = samples[p + i];
            dot += s * marker[i];
            energy += s * s;
        }
        if (energy <= 0 || markerEnergy <= 0) {
            continue;
        }
        const double c = dot / std::sqrt(energy * markerEnergy);
        if (c > best.correlation) {
            best.position = p;
            best.correlation = c;
        }
    }
    best.found = best.correlation >= minCorrelation;
    return best;
}

} // namespace loopback
