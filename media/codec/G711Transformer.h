#pragma once
#include "media/codec/G711Codec.h"
#include "media/graph/AudioTransformer.h"

namespace tamsor {

// What the G.711 encoder and the fixed-codec decoder share: the codec and its law selectors.
//
// Threads: SetALaw / SetMuLaw before the transformer joins a running chain; no lock of its own.
class G711Transformer : public AudioTransformer {
public:
    int SetALaw();
    int SetMuLaw();

protected:
    G711Codec codec;
};

} // namespace tamsor
