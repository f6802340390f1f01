#pragma once
#include <cstdint>

#include "media/codec/AudioCodec.h"

namespace tamsor {

// G.711 µ-law and A-law by table look-up: 16-bit little-endian PCM in, one code byte per
// sample out, and back. The tables are constant and shared by every instance.
//
// Threads: an instance is used by one thread at a time (the chain's pushing thread); the law
// is chosen before the codec joins a running chain or by that same thread.
class G711Codec : public AudioCodec {
public:
    static constexpr int32_t kMuLaw = 0;
    static constexpr int32_t kALaw = 1;

    // Returns 0, or -10 with *count 0 when the output cannot hold the result.
    int Encode(const uint8_t* input, int32_t inputLength, uint8_t* output, int32_t* count) override;
    int Decode(const uint8_t* input, int32_t inputLength, uint8_t* output, int32_t* count) override;

    // Single values, through the same tables.
    static uint8_t EncodeSample(int16_t sample, int32_t law);
    static int16_t DecodeSample(uint8_t code, int32_t law);

    // 0 codes µ-law, 1 A-law; any value other than 1 codes µ-law.
    int32_t law = kMuLaw;
};

} // namespace tamsor
