#pragma once
#include <cstdint>
#include <memory>
#include <span>

#include "media/dsp/FIRFilterCore.h"
#include "media/graph/AudioTransformer.h"

namespace tamsor {

// The voice-band filter stage: each sample is filtered into a new pool sample by the core made
// for the width given to SetCoefficients (8, 16 or 32 bits).
//
// Threads: SetCoefficients on the owner's thread while the chain is stopped; the transform on
// the thread that drives the chain. No lock: the two never overlap.
class FIRTransformer : public AudioTransformer {
public:
    FIRTransformer();
    ~FIRTransformer() override;

    int LoadTraceLevel() override;

    // Makes a new core with the first `taps` coefficients of the table (never more than the
    // table holds) and a zeroed delay line; for a width other than 8, 16 or 32 no core is made.
    // The width is kept either way. Returns 0.
    int SetCoefficients(std::span<const double> table, int taps, uint32_t width);
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;

    uint32_t GetWidth() const { return width; }

private:
    void DestroyCore();

    std::unique_ptr<FIRFilterCore8> core8;
    std::unique_ptr<FIRFilterCore16> core16;
    std::unique_ptr<FIRFilterCore32> core32;
    uint32_t width = 0;
};

} // namespace tamsor
