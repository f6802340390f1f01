#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A UDP relay on 127.0.0.1 between the two ends of a loopback call. Peer A sends to PortForA()
// and peer B to PortForB(); what arrives on one port leaves from the other towards the other
// peer's local port, so each peer sees its far end at the port it sends to. Every datagram is
// recorded with its arrival time and RTP header fields. Datagrams from any address outside
// 127.0.0.0/8 are dropped and counted.
//
// Threads: Open, Start and Stop from the owner's thread; the relay thread does the forwarding.
// lock_ guards fromA_, fromB_ and foreign_; the sockets belong to the relay thread between
// Start and Stop.
class RtpRelay {
public:
    struct Packet {
        int64_t timeUs = 0; // CLOCK_MONOTONIC at arrival
        size_t bytes = 0;
        int version = -1; // -1: too short for an RTP header
        int payloadType = -1;
        bool marker = false;
        uint16_t sequence = 0;
        uint32_t timestamp = 0;
        uint32_t ssrc = 0;
        size_t payloadBytes = 0;
        std::vector<uint8_t> payload; // the payload's bytes
    };

    RtpRelay() = default;
    ~RtpRelay();
    RtpRelay(const RtpRelay&) = delete;
    RtpRelay& operator=(const RtpRelay&) = delete;

    // Binds both relay ports (ephemeral, 127.0.0.1) for forwarding to the peers' local ports.
    // False with *error set when a socket cannot be made. Datagrams wait in the sockets until
    // Start, so the peers can be started (forked) before the relay has a thread.
    bool Open(int peerAPort, int peerBPort, std::string* error);
    void Start();
    // While running, also sends `perSecond` datagrams that are not RTP (empty, too short, the
    // wrong version, larger than any RTP packet, in turn) to B from B's relay port. Call
    // before Start.
    void SetJunkTowardsB(int perSecond) { junkPerSecond_ = perSecond; }
    size_t JunkSent() const { return junkSent_.load(); }
    // While running, A's datagrams reach B from a third port instead of PortForB(), as through
    // a NAT. Call before Start.
    void SetNatTowardsB(bool on) { natTowardsB_ = on; }
    // While running, A's datagrams are dropped (neither sent on nor logged) until `ms` after
    // the first of them arrived: B hears nothing of A until then. Call before Start.
    void SetHoldBackFromA(int ms) { holdBackFromAMs_ = ms; }
    // Stops forwarding and closes both ports.
    void Stop();

    int PortForA() const { return portForA_; }
    int PortForB() const { return portForB_; }
    // Whether a datagram of A has arrived (sent on or held back).
    bool HeardFromA() const { return firstFromAUs_.load() >= 0; }
    std::vector<Packet> FromA();
    std::vector<Packet> FromB();
    size_t ForeignDatagrams();

private:
    void Run();
    // fromA: A's datagrams, held back as SetHoldBackFromA says.
    void Relay(int from, int to, int toPort, std::vector<Packet>* log, bool fromA);
    void SendJunk(int64_t nowUs);

    int socketA_ = -1; // receives from A, sends to A
    int socketB_ = -1;
    int socketNat_ = -1; // sends A's datagrams to B when natTowardsB_
    int portForA_ = 0;
    int portForB_ = 0;
    int peerAPort_ = 0;
    int peerBPort_ = 0;
    int junkPerSecond_ = 0;
    bool natTowardsB_ = false;
    int holdBackFromAMs_ = 0;
    std::atomic<int64_t> firstFromAUs_{-1}; // when A's first datagram arrived
    int64_t junkStartUs_ = 0;
    std::atomic<size_t> junkSent_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::vector<Packet> fromA_;
    std::vector<Packet> fromB_;
    size_t foreign_ = 0;
};

// Per-direction figures from the relay's log.
struct RtpStreamStats {
    size_t packets = 0;          // every datagram
    size_t mediaPackets = 0;     // RTP of the expected payload type
    double packetsPerSecond = 0; // media packets, from 1 s after the first one on
    size_t comfortNoise = 0;     // payload type 13: a sender sends one when its audio stops
    size_t wrongPayloadType = 0; // neither the expected type nor comfort noise
    size_t notRtp = 0;           // too short, or not version 2
    size_t wrongPayloadSize = 0; // payload not the expected bytes
    size_t sequenceJumps = 0;    // a packet whose sequence number is not the previous one + 1
    int firstPayloadType = -1;
};
RtpStreamStats SummariseRtp(const std::vector<RtpRelay::Packet>& packets, int expectedPayloadType,
                            size_t expectedPayloadBytes);

// A free UDP port on 127.0.0.1 (bound and released at once), or 0.
int FindFreeUdpPort();
