#include "media/codec/G711Transformer.h"

namespace tamsor {

int G711Transformer::SetALaw() {
    codec.law = G711Codec::kALaw;
    return 0;
}

int G711Transformer::SetMuLaw() {
    codec.law = G711Codec::kMuLaw;
    return 0;
}

} // namespace tamsor
