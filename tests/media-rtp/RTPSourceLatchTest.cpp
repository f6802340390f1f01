#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <vector>

#include "media/rtp/RTPSourceLatch.h"

using namespace tamsor;

namespace {

// A packet: its source ('P' the peer's address, 'Q' the peer's host on another port, 'N' the
// peer seen through a NAT, 'S' a stranger), sequence number, arrival and payload type, and
// what the latch makes of it: 'L' taken as the source, 'i' accepted, '-' refused.
struct Packet {
    char from;
    uint16_t seq;
    uint32_t atMs;
    char expected;
    int payloadType = 0;
};
using Packets = std::vector<Packet>;

plat::UdpEndpoint Source(char from) {
    return from == 'P'   ? plat::UdpEndpoint{htonl(0x7F000001), 5004}
           : from == 'Q' ? plat::UdpEndpoint{htonl(0x7F000001), 5006}
           : from == 'N' ? plat::UdpEndpoint{htonl(0xC6336401), 40000}
                         : plat::UdpEndpoint{htonl(0x7F000002), 7000};
}

char Judge(RTPSourceLatch& latch, const Packet& p) {
    static const char kMarks[] = {'i', 'L', '-'}; // in the order of Outcome
    return kMarks[static_cast<int>(latch.Check(Source(p.from), p.payloadType, p.seq, p.atMs))];
}

// `n` packets of one source 20 ms apart, sequence numbers `step` apart: refused, but the last,
// which is judged `last`.
Packets Burst(char from, uint16_t seq, int n, uint32_t t0, char last = '-', int payloadType = 0,
              int step = 1) {
    Packets p;
    for (int i = 0; i < n; ++i) {
        p.push_back({from, static_cast<uint16_t>(seq + step * i),
                     t0 + 20u * static_cast<uint32_t>(i), i == n - 1 ? last : '-', payloadType});
    }
    return p;
}
Packets operator+(Packets a, const Packets& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(RTPSourceLatchTest, OnlyThePeerOrItsSteadyStreamIsHeard) {
    struct Case {
        const char* name;
        Packets packets; // judged in the order of arrival
        bool peerKnown = true;
        int payloadType = 0;
    } cases[] = {
        {"the peer's address is taken at once", Burst('S', 9, 1, 0) + Burst('P', 1, 1, 5, 'L') +
                                                    Burst('P', 2, 1, 25, 'i') +
                                                    Burst('Q', 3, 1, 30)},
        {"without a peer address the first source is taken",
         Burst('S', 9, 1, 0, 'L') + Burst('P', 1, 1, 5) + Burst('S', 10, 1, 20, 'i'), false},
        {"a steady stream is taken at its fifth packet, then kept",
         Burst('N', 100, 5, 0, 'L') + Burst('N', 105, 1, 100, 'i') + Burst('S', 9, 1, 5)},
        {"a gap of 250 ms keeps the run", Burst('N', 1, 4, 0) + Burst('N', 5, 1, 310, 'L')},
        {"a gap of 251 ms starts it again",
         Burst('N', 1, 4, 0) + Burst('N', 5, 1, 311) + Burst('N', 6, 4, 331, 'L')},
        {"four sequence numbers ahead keeps the run",
         Burst('N', 1, 4, 0) + Burst('N', 8, 1, 80, 'L')},
        {"five ahead, the same or one behind start it again",
         Burst('N', 1, 4, 0) + Burst('N', 9, 4, 80) + Burst('N', 12, 2, 160, '-', 0, -1) +
             Burst('N', 12, 4, 200, 'L')},
        {"the sequence wrap forwards keeps the run", Burst('N', 65533, 5, 0, 'L')},
        {"backwards across the wrap it never builds", Burst('N', 1, 5, 0, '-', 0, -1)},
        {"a stream of another payload type than the call's is never taken",
         Burst('N', 1, 6, 0, '-', 8) + Burst('N', 7, 5, 120, 'L')},
        {"decoding by payload type: a change of type starts the run again",
         Burst('N', 1, 4, 0, '-', 8) + Burst('N', 5, 5, 80, 'L'), true, -1},
        {"a stranger in between does not break the peer's run",
         Burst('N', 1, 5, 0, 'L') + Burst('S', 50, 5, 10) + Burst('Q', 1, 1, 35)},
        {"the peer's address takes over from a stream learnt elsewhere",
         Burst('S', 1, 5, 0, 'L') + Burst('P', 1, 1, 90, 'L') + Burst('S', 6, 1, 100)},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::stable_sort(c.packets.begin(), c.packets.end(),
                         [](const Packet& a, const Packet& b) { return a.atMs < b.atMs; });
        RTPSourceLatch latch;
        latch.SetPeer(c.peerKnown ? Source('P') : plat::UdpEndpoint{}, c.payloadType);
        for (const Packet& p : c.packets) {
            EXPECT_EQ(Judge(latch, p), p.expected)
                << p.from << " seq " << p.seq << " at " << p.atMs;
        }
    }
}

TEST(RTPSourceLatchTest, AnotherSourceIsLearntOnlyAfterTwoSecondsOfSilence) {
    // The peer's last packet comes at base + 20 ms, a stranger streams from base + 80 ms on;
    // the millisecond clock may wrap meanwhile.
    struct Case {
        uint32_t base, strangerAtMs;
        char expected;
    } cases[] = {{0, 2019, '-'}, {0, 2020, 'L'}, {0xFFFFFF00, 2019, '-'}, {0xFFFFFF00, 2020, 'L'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.base << " + " << c.strangerAtMs);
        RTPSourceLatch latch;
        latch.SetPeer(Source('P'), 0);
        const uint32_t at = c.base + c.strangerAtMs;
        for (const Packet& p : Packets{{'P', 1, c.base, 'L'}, {'P', 2, c.base + 20, 'i'}} +
                                   Burst('S', 100, 98, at - 97 * 20, c.expected)) {
            ASSERT_EQ(Judge(latch, p), p.expected) << p.atMs - c.base;
        }
    }
    // A new peer forgets the source.
    RTPSourceLatch latch;
    latch.SetPeer({}, 0);
    ASSERT_EQ(Judge(latch, {'S', 1, 0, 'L'}), 'L');
    latch.SetPeer(Source('P'), 0);
    EXPECT_EQ(Judge(latch, {'S', 2, 20, '-'}), '-');
    EXPECT_EQ(Judge(latch, {'P', 1, 30, 'L'}), 'L');
}

} // namespace
