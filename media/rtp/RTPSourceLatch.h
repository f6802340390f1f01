#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/net/UdpSocket.h"

namespace tamsor {

// Which source a call's RTP is accepted from. The first packet from the peer's own address
// (the address and port its session description gave) fixes the source at once; a peer whose
// packets come from elsewhere, as behind a NAT, is learnt from the first source that sends a
// steady stream of the call's payload type. Packets from every other source are refused.
// Another source is learnt only once the fixed one has been silent for kRelearnSilenceMs and
// the other sends a steady stream; the peer's own address takes over at once from a source
// that was learnt by its stream. Without a peer address the first source is taken.
//
// Threads: one thread calls everything (the receiver's); it keeps no lock.
class RTPSourceLatch {
public:
    // A steady stream: kSteadyPackets packets in a row of the payload type, each at most
    // kSteadyMaxGapMs after the one before and 1 to kSteadyMaxSeqStep sequence numbers ahead
    // of it (modulo 2^16).
    static constexpr int kSteadyPackets = 5;
    static constexpr uint32_t kSteadyMaxGapMs = 250;
    static constexpr uint16_t kSteadyMaxSeqStep = 4;
    static constexpr uint32_t kRelearnSilenceMs = 2000;
    // Other sources followed at the same time; a new one replaces the one heard longest ago.
    static constexpr size_t kCandidates = 4;

    enum class Outcome {
        Accepted, // from the source in use
        Latched,  // from a source that is now the one in use
        Refused,
    };

    // The peer's address (address 0: none known) and the payload type of its stream (-1: any
    // one type). The source in use and every stream followed so far are forgotten.
    void SetPeer(plat::UdpEndpoint peer, int payloadType);
    // Judges one valid RTP packet from `from` with this payload type and sequence number,
    // arriving at `nowMs`.
    Outcome Check(const plat::UdpEndpoint& from, int payloadType, uint16_t seq, uint32_t nowMs);

    bool IsLatched() const { return latched; }
    plat::UdpEndpoint Source() const { return source; }

private:
    struct Candidate {
        plat::UdpEndpoint from;
        uint16_t lastSeq = 0;
        int payloadType = -1;
        uint32_t lastMs = 0;
        int run = 0; // packets in a row so far; 0: the entry is free
    };

    // Counts the packet into its source's run; true once that run is steady.
    bool CountRun(const plat::UdpEndpoint& from, int payloadType, uint16_t seq, uint32_t nowMs);
    Outcome Latch(const plat::UdpEndpoint& from, bool byStream, uint32_t nowMs);

    plat::UdpEndpoint peer;
    int peerPayloadType = -1;
    bool latched = false;
    bool learntByStream = false;
    plat::UdpEndpoint source;
    uint32_t lastHeardMs = 0;
    std::array<Candidate, kCandidates> candidates{};
};

} // namespace tamsor
