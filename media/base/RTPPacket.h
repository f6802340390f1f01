#pragma once
#include <cstdint>

namespace tamsor {

class TraceComponent;

// The description of one RTP datagram (RFC 3550 fixed header). The record does not own the
// datagram: `packet` and `payload` are valid only while the caller keeps the bytes. A header
// copy refers to no datagram. Header fields are in host order.
class RTPPacket {
public:
    // Checks the fixed header of a received datagram and describes it. Returns a new record
    // (owned by the caller), or null for a rejected datagram, whose reason goes to the
    // component's trace, or when memory runs out. Never throws.
    static RTPPacket* CreateRTPPacket(const uint8_t* data, int32_t length,
                                      const TraceComponent* component);
    // A copy of the header fields that refers to no datagram; null when memory runs out.
    RTPPacket* CopyHeader() const;

    uint16_t sequenceNumber = 0;
    const uint8_t* packet = nullptr;
    int32_t totalLength = 0;
    uint8_t extension = 0;
    uint8_t csrcCount = 0;
    uint8_t marker = 0;
    uint8_t payloadType = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    int32_t payloadLength = 0;
    const uint8_t* payload = nullptr;
    uint8_t version = 0;
    int32_t headerLength = 0;
    int32_t numPadding = 0;
};

} // namespace tamsor
