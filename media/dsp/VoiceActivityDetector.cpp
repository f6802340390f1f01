#include "media/dsp/VoiceActivityDetector.h"

#include <algorithm>
#include <cmath>

namespace tamsor {

namespace {

VadState g_vadState;

constexpr int kChunk = 40;
constexpr uint32_t kStartEnvelope = 10000;
constexpr int32_t kHangoverSamples = 4000;
constexpr float kStartFloorDb = -74.0f;
constexpr int32_t kFloorSamples = 12000;
constexpr float kMarginDb = 10.0f;
constexpr double kDbOffset = 93.32;

// One chunk of 1 to 40 values; true when it holds speech.
bool ChunkStep(VadState& s, const int16_t* x, int k) {
    uint32_t low = s.envelope;
    uint32_t high = s.envelope;
    for (int i = 0; i < k; ++i) {
        const int16_t d = static_cast<int16_t>(static_cast<uint16_t>(x[i]) -
                                               static_cast<uint16_t>(s.previousSample));
        s.previousSample = x[i];
        const int32_t p = static_cast<int32_t>(d) * d;
        int32_t delta;
        if (s.rising) {
            delta = (p >> 5) - static_cast<int32_t>(s.envelope >> 6);
        } else {
            delta = (p >> 8) - static_cast<int32_t>(s.envelope >> 9);
        }
        s.rising = delta > 0;
        s.envelope += static_cast<uint32_t>(delta);
        if (s.envelope > high) {
            high = s.envelope;
        } else if (s.envelope < low) {
            low = s.envelope;
        }
    }
    const float lowDb = static_cast<float>(10.0 * std::log10(static_cast<double>(low)) - kDbOffset);
    const float highDb =
        static_cast<float>(10.0 * std::log10(static_cast<double>(high)) - kDbOffset);

    if (lowDb <= s.noiseFloor) {
        s.noiseFloor = lowDb;
        s.floorTimer = kFloorSamples;
    } else if (s.floorTimer >= k) {
        s.floorTimer -= k;
    } else {
        s.noiseFloor += 1.0f;
        s.floorTimer += kFloorSamples - k;
    }

    if (highDb > s.noiseFloor + s.margin) {
        s.hangover = kHangoverSamples;
        return true;
    }
    if (s.hangover >= k) {
        s.hangover -= k;
        return true;
    }
    s.hangover = 0;
    return false;
}

} // namespace

VadState& VadSharedState() {
    return g_vadState;
}

void VadInit() {
    VadState& s = g_vadState;
    s.initialised = true;
    s.envelope = kStartEnvelope;
    s.rising = true;
    s.hangover = kHangoverSamples;
    s.noiseFloor = kStartFloorDb;
    s.floorTimer = kFloorSamples;
    s.margin = kMarginDb;
}

bool VadIsSpeech(const int16_t* samples, int n) {
    VadState& s = g_vadState;
    if (!s.initialised) {
        return true;
    }
    if (n <= 0) {
        return false;
    }
    bool speech = false;
    for (int start = 0; start < n; start += kChunk) {
        // Every chunk is processed, so the state always advances by all n values.
        if (ChunkStep(s, samples + start, std::min(kChunk, n - start))) {
            speech = true;
        }
    }
    return speech;
}

int VoiceActivityDetector::Reset() {
    VadInit();
    return 0;
}

int VoiceActivityDetector::IsSilence(const int16_t* samples, int n) {
    return VadIsSpeech(samples, n) ? 0 : 1;
}

} // namespace tamsor
