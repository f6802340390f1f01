// libFuzzer target: arbitrary bytes as a peer's SDP. Parsing never fails hard, what the call
// logic reads stays in range, and what we write of a parsed description reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/call/PeerSdp.h"
#include "sip/SdpContents.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto sdp = sipua::SdpContents::parse(text);
    if (!sdp) {
        return 0;
    }
    if (sdp->media().size() > sipua::SdpContents::kMaxMedia) {
        std::abort();
    }
    for (const auto& medium : sdp->media()) {
        if (medium.codecs.size() > sipua::SdpContents::kMaxCodecs || medium.port > 65535) {
            std::abort();
        }
    }
    int codec = ChooseCodec(*sdp);
    if (codec != kCodecByPayloadType && codec != kCodecPcma && codec != kCodecPcmu) {
        std::abort();
    }
    MediaTarget target = MediaTargetOf(*sdp);
    std::string why;
    if (IsUsableOffer(*sdp, &why) && (target.port <= 0 || target.address.empty())) {
        std::abort();
    }
    std::string written = sdp->encode();
    auto again = sipua::SdpContents::parse(written);
    if (!again || again->encode() != written) {
        std::abort(); // what we send must read back as we wrote it
    }
    return 0;
}
