#pragma once
#include <string>

#include "sip/SdpContents.h"

// What the call logic reads from a peer's session description.

// Codec selectors of the media engine.
constexpr int kCodecByPayloadType = 0;
constexpr int kCodecPcma = 2;
constexpr int kCodecPcmu = 4;

// The selector for a peer's first audio medium: its codec list in order, the first entry that
// is PCMU/8000 (4) or PCMA/8000 (2), names compared without regard to case; 0 when neither is
// listed or there is no audio medium.
int ChooseCodec(const sipua::SdpContents& sdp);

// Where the media of a peer's description go: the first audio medium's port and its
// connection address (the medium's own c= line, else the session's).
struct MediaTarget {
    std::string address;
    int port = -1;
};
MediaTarget MediaTargetOf(const sipua::SdpContents& sdp);

// Whether an incoming offer can be answered with our audio: an audio medium with a port in
// 1-65535, a dotted IPv4 connection address that can be sent to, and PCMU or PCMA among its
// codecs. When not, *why says what is missing (for the trace).
bool IsUsableOffer(const sipua::SdpContents& sdp, std::string* why);
