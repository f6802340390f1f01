#pragma once
#include "media/graph/AudioTransformer.h"

namespace tamsor {

// Adds the 16-bit values of every input of a set into one sample, clamped to the 16-bit range.
// A single input is passed on as it is.
//
// Threads: runs on whichever thread pushes into or pulls from it; it has no state of its own.
class PCMMixer : public AudioTransformer {
public:
    PCMMixer();
    ~PCMMixer() override;

    int LoadTraceLevel() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;
};

} // namespace tamsor
