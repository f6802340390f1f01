#include "media/rtp/RTPSourceLatch.h"

namespace tamsor {

void RTPSourceLatch::SetPeer(plat::UdpEndpoint newPeer, int payloadType) {
    peer = newPeer;
    peerPayloadType = payloadType;
    latched = false;
    learntByStream = false;
    source = {};
    lastHeardMs = 0;
    candidates = {};
}

RTPSourceLatch::Outcome RTPSourceLatch::Check(const plat::UdpEndpoint& from, int payloadType,
                                              uint16_t seq, uint32_t nowMs) {
    if (latched && from == source) {
        lastHeardMs = nowMs;
        return Outcome::Accepted;
    }
    const bool peerKnown = peer.address != 0;
    const bool fromPeer = peerKnown && from == peer;
    if ((!latched && (!peerKnown || fromPeer)) || (fromPeer && learntByStream)) {
        return Latch(from, false, nowMs);
    }
    if (!CountRun(from, payloadType, seq, nowMs)) {
        return Outcome::Refused;
    }
    if (!latched || nowMs - lastHeardMs >= kRelearnSilenceMs) {
        return Latch(from, true, nowMs);
    }
    return Outcome::Refused;
}

bool RTPSourceLatch::CountRun(const plat::UdpEndpoint& from, int payloadType, uint16_t seq,
                              uint32_t nowMs) {
    Candidate* c = nullptr;
    for (Candidate& entry : candidates) {
        if (entry.run > 0 && entry.from == from) {
            c = &entry;
            break;
        }
    }
    if (!c) {
        // A free entry, else the one heard longest ago.
        c = &candidates[0];
        for (Candidate& entry : candidates) {
            if (entry.run == 0) {
                c = &entry;
                break;
            }
            if (nowMs - entry.lastMs > nowMs - c->lastMs) {
                c = &entry;
            }
        }
        *c = Candidate{from, seq, payloadType, nowMs, 0};
    }
    if (peerPayloadType >= 0 && payloadType != peerPayloadType) {
        c->run = 0;
        return false;
    }
    const uint16_t step = static_cast<uint16_t>(seq - c->lastSeq);
    const bool continues = c->run > 0 && payloadType == c->payloadType && step >= 1 &&
                           step <= kSteadyMaxSeqStep && nowMs - c->lastMs <= kSteadyMaxGapMs;
    c->run = continues ? c->run + 1 : 1;
    c->lastSeq = seq;
    c->payloadType = payloadType;
    c->lastMs = nowMs;
    return c->run >= kSteadyPackets;
}

RTPSourceLatch::Outcome RTPSourceLatch::Latch(const plat::UdpEndpoint& from, bool byStream,
                                              uint32_t nowMs) {
    latched = true;
    learntByStream = byStream;
    source = from;
    lastHeardMs = nowMs;
    return Outcome::Latched;
}

} // namespace tamsor
