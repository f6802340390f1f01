#pragma once
#include <atomic>
#include <cstdint>

#include "media/graph/AudioTransformer.h"

namespace tamsor {

// Scales one 16-bit stream, in place, by volume squared over 10000 (volume 0 to 100).
//
// Threads: SetVolume on the owner's thread; the transform on whichever thread drives the chain.
// volume is atomic, so it may change while samples pass.
class PCMVolumeTransformer : public AudioTransformer {
public:
    PCMVolumeTransformer();
    ~PCMVolumeTransformer() override;

    int LoadTraceLevel() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;

    // Stores the volume clamped to 0..100. Returns 0.
    int SetVolume(int32_t newVolume);
    int32_t GetVolume() const { return volume.load(); }

private:
    std::atomic<int32_t> volume{0};
};

} // namespace tamsor
