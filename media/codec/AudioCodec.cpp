#include "media/codec/AudioCodec.h"

#include "platform/core/DebugOutput.h"

namespace tamsor {

int AudioCodec::Encode(const uint8_t*, int32_t, uint8_t*, int32_t*) {
    plat::DebugOutput("AudioCodec::Encode : ERROR : pure virtual function call !!!\n");
    return 0;
}

int AudioCodec::Decode(const uint8_t*, int32_t, uint8_t*, int32_t*) {
    plat::DebugOutput("AudioCodec::Decode : ERROR : pure virtual function call !!!\n");
    return 0;
}

} // namespace tamsor
