#pragma once
#include "media/codec/G711Transformer.h"

namespace tamsor {

// The transmit chain's encoder: 16-bit PCM in, G.711 of the chosen law out, one output sample
// per input sample of the same duration. A silence sample stays a silence sample.
//
// Threads: SetALaw / SetMuLaw before the transformer joins a running chain; TransformAudioSamples
// on the thread that pushes the transmit chain. No lock of its own.
class PCM2G711Transformer : public G711Transformer {
public:
    PCM2G711Transformer();
    ~PCM2G711Transformer() override;

    int LoadTraceLevel() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;
};

} // namespace tamsor
