#pragma once
#include <memory>

#include "media/dsp/LimiterCore.h"
#include "media/graph/AudioTransformer.h"

namespace tamsor {

// The limiter stage of the receive chain: limits the first input sample's 16-bit PCM values
// in place and passes the same sample on. Samples of any other format pass unchanged.
//
// Threads: SetParameters on the owner's thread while the chain is stopped; the transform on
// the thread that drives the chain. Neither takes a lock: the two never overlap.
class Limiter : public AudioTransformer {
public:
    Limiter(double threshold, double lossIncrement, double lossDecrement);
    ~Limiter() override;

    int LoadTraceLevel() override;

    // Replaces the core, so the attenuation starts again from nothing. Returns 0.
    int SetParameters(double threshold, double lossIncrement, double lossDecrement);
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;

    const LimiterCore* GetCore() const { return core.get(); }

private:
    std::unique_ptr<LimiterCore> core;
};

} // namespace tamsor
