#include "media/base/RTPPacket.h"

#include <new>

#include "media/base/Exception.h"
#include "media/base/TraceComponent.h"

namespace tamsor {

namespace {

constexpr int32_t kFixedHeaderLength = 12;

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t Read32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// The checks of the fixed header, in order; throws the reason of a rejection.
void CheckHeader(const uint8_t* data, int32_t length, int32_t* headerLength, int32_t* numPadding) {
    if (!data || length < kFixedHeaderLength) {
        throw Exception(-10, "invalid RTP packet : len = %d bytes", length);
    }
    const uint8_t first = data[0];
    *numPadding = (first & 0x20) ? data[length - 1] : 0;
    if (first & 0x10) {
        throw Exception(-20, "header extension not supported");
    }
    const int version = first >> 6;
    if (version != 2) {
        throw Exception(-30, "invalid RTP version %d", version);
    }
    const int csrcCount = first & 0x0F;
    *headerLength = kFixedHeaderLength + 4 * csrcCount;
    if (length < *headerLength) {
        throw Exception(-40, "totalLength (%d) < headerLength (%d) ! contributor count = %d",
                        length, *headerLength, csrcCount);
    }
    if (length < *headerLength + *numPadding) {
        throw Exception(-50, "totalLength (%d) < headerLength (%d) + numPadding (%d)", length,
                        *headerLength, *numPadding);
    }
}

} // namespace

RTPPacket* RTPPacket::CreateRTPPacket(const uint8_t* data, int32_t length,
                                      const TraceComponent* component) {
    int32_t headerLength = 0;
    int32_t numPadding = 0;
    try {
        CheckHeader(data, length, &headerLength, &numPadding);
    } catch (const Exception& e) {
        if (component) {
            component->Trace(TRACE_FAILURE, "RTPPacket::CreateRTPPacket : error %d : %s\n",
                             e.GetCode(), e.GetMessage());
        }
        return nullptr;
    }
    RTPPacket* p = new (std::nothrow) RTPPacket;
    if (!p) {
        return nullptr;
    }
    p->packet = data;
    p->totalLength = length;
    p->version = static_cast<uint8_t>(data[0] >> 6);
    p->extension = static_cast<uint8_t>((data[0] >> 4) & 1);
    p->csrcCount = static_cast<uint8_t>(data[0] & 0x0F);
    p->marker = static_cast<uint8_t>(data[1] >> 7);
    p->payloadType = static_cast<uint8_t>(data[1] & 0x7F);
    p->sequenceNumber = Read16(data + 2);
    p->timestamp = Read32(data + 4);
    p->ssrc = Read32(data + 8);
    p->headerLength = headerLength;
    p->numPadding = numPadding;
    p->payloadLength = length - headerLength - numPadding;
    p->payload = data + headerLength;
    return p;
}

RTPPacket* RTPPacket::CopyHeader() const {
    RTPPacket* p = new (std::nothrow) RTPPacket;
    if (!p) {
        return nullptr;
    }
    p->sequenceNumber = sequenceNumber;
    p->extension = extension;
    p->csrcCount = csrcCount;
    p->marker = marker;
    p->payloadType = payloadType;
    p->timestamp = timestamp;
    p->ssrc = ssrc;
    p->version = version;
    p->headerLength = headerLength;
    p->totalLength = headerLength;
    return p;
}

} // namespace tamsor
