#pragma once
#include <cstdint>

namespace tamsor {

// A speech codec: turns input bytes into output bytes. `count` holds the output buffer's
// capacity in bytes on entry and the number of bytes produced on return. The base versions
// only report that they were called and produce nothing.
class AudioCodec {
public:
    virtual ~AudioCodec() = default;
    virtual int Encode(const uint8_t* input, int32_t inputLength, uint8_t* output, int32_t* count);
    virtual int Decode(const uint8_t* input, int32_t inputLength, uint8_t* output, int32_t* count);
};

} // namespace tamsor
