#include "app/call/PeerSdp.h"

#include <arpa/inet.h>
#include <strings.h>

namespace {

bool IsCodec(const sipua::SdpContents::Codec& codec, const char* name) {
    return codec.rate == 8000 && strcasecmp(codec.name.c_str(), name) == 0;
}

} // namespace

int ChooseCodec(const sipua::SdpContents& sdp) {
    const sipua::SdpContents::Medium* audio = sdp.firstAudio();
    if (!audio) {
        return kCodecByPayloadType;
    }
    for (const sipua::SdpContents::Codec& codec : audio->codecs) {
        if (IsCodec(codec, "PCMU")) {
            return kCodecPcmu;
        }
        if (IsCodec(codec, "PCMA")) {
            return kCodecPcma;
        }
    }
    return kCodecByPayloadType;
}

MediaTarget MediaTargetOf(const sipua::SdpContents& sdp) {
    MediaTarget target;
    if (const sipua::SdpContents::Medium* audio = sdp.firstAudio()) {
        target.address = sdp.connectionFor(*audio);
        target.port = audio->port;
    }
    return target;
}

bool IsUsableOffer(const sipua::SdpContents& sdp, std::string* why) {
    const sipua::SdpContents::Medium* audio = sdp.firstAudio();
    if (!audio) {
        *why = "sin medio de audio";
        return false;
    }
    if (audio->port <= 0 || audio->port > 65535) {
        *why = "puerto de audio no valido";
        return false;
    }
    in_addr address{};
    std::string host = sdp.connectionFor(*audio);
    if (inet_pton(AF_INET, host.c_str(), &address) != 1 || address.s_addr == INADDR_ANY ||
        address.s_addr == INADDR_BROADCAST) {
        *why = "direccion de conexion no valida";
        return false;
    }
    if (ChooseCodec(sdp) == kCodecByPayloadType) {
        *why = "ni PCMU ni PCMA";
        return false;
    }
    return true;
}
