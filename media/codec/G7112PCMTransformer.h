#pragma once
#include "media/codec/G711Transformer.h"

namespace tamsor {

// The receive decoder for a fixed codec: G.711 in, 16-bit 8 kHz mono PCM out, one output sample
// per input sample. A packet from the network is decoded by the law its payload type names
// (0 µ-law, 8 A-law), comfort noise (13) becomes 20 ms of silence and any other payload type
// is refused; input without an RTP header is decoded by the law chosen with SetALaw/SetMuLaw.
//
// Threads: the law selectors before the transformer joins a running chain;
// TransformAudioSamples on the RTP receiver's thread. No lock of its own.
class G7112PCMTransformer : public G711Transformer {
public:
    G7112PCMTransformer();
    ~G7112PCMTransformer() override;

    int LoadTraceLevel() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;
};

} // namespace tamsor
