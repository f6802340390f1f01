#include "tools/loopback/RtpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kPollMs = 20;
constexpr int kJunkPollMs = 2;

int64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// A UDP socket bound to 127.0.0.1:port (0: any free port); -1 on failure.
int BindLoopback(int port, int* boundPort, std::string* error) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof(address);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = std::string("bind 127.0.0.1: ") + std::strerror(errno);
        close(s);
        return -1;
    }
    *boundPort = ntohs(address.sin_port);
    return s;
}

RtpRelay::Packet Parse(const uint8_t* data, size_t bytes, int64_t timeUs) {
    RtpRelay::Packet p;
    p.timeUs = timeUs;
    p.bytes = bytes;
    if (bytes < 12) {
        return p;
    }
    p.version = data[0] >> 6;
    p.marker = (data[1] & 0x80) != 0;
    p.payloadType = data[1] & 0x7F;
    p.sequence = static_cast<uint16_t>(data[2] << 8 | data[3]);
    p.timestamp = uint32_t{data[4]} << 24 | uint32_t{data[5]} << 16 | uint32_t{data[6]} << 8 |
                  uint32_t{data[7]};
    p.ssrc = uint32_t{data[8]} << 24 | uint32_t{data[9]} << 16 | uint32_t{data[10]} << 8 |
             uint32_t{data[11]};
    const size_t header = 12 + 4 * static_cast<size_t>(data[0] & 0x0F);
    p.payloadBytes = bytes > header ? bytes - header : 0;
    if (p.payloadBytes > 0) {
        p.payload.assign(data + header, data + bytes);
    }
    return p;
}

} // namespace

RtpRelay::~RtpRelay() {
    Stop();
}

bool RtpRelay::Open(int peerAPort, int peerBPort, std::string* error) {
    peerAPort_ = peerAPort;
    peerBPort_ = peerBPort;
    socketA_ = BindLoopback(0, &portForA_, error);
    if (socketA_ < 0) {
        return false;
    }
    socketB_ = BindLoopback(0, &portForB_, error);
    int natPort = 0;
    socketNat_ = socketB_ < 0 ? -1 : BindLoopback(0, &natPort, error);
    if (socketNat_ < 0) {
        Stop();
        return false;
    }
    return true;
}

void RtpRelay::Start() {
    if (!thread_.joinable() && socketA_ >= 0) {
        stop_.store(false);
        thread_ = std::thread([this] { Run(); });
    }
}

void RtpRelay::Stop() {
    if (thread_.joinable()) {
        stop_.store(true);
        thread_.join();
    }
    for (int* s : {&socketA_, &socketB_, &socketNat_}) {
        if (*s >= 0) {
            close(*s);
            *s = -1;
        }
    }
}

std::vector<RtpRelay::Packet> RtpRelay::FromA() {
    std::lock_guard<std::mutex> guard(lock_);
    return fromA_;
}

std::vector<RtpRelay::Packet> RtpRelay::FromB() {
    std::lock_guard<std::mutex> guard(lock_);
    return fromB_;
}

size_t RtpRelay::ForeignDatagrams() {
    std::lock_guard<std::mutex> guard(lock_);
    return foreign_;
}

void RtpRelay::Run() {
    pollfd fds[2] = {{socketA_, POLLIN, 0}, {socketB_, POLLIN, 0}};
    junkStartUs_ = MonotonicUs();
    while (!stop_.load()) {
        fds[0].revents = fds[1].revents = 0;
        const int ready = poll(fds, 2, junkPerSecond_ > 0 ? kJunkPollMs : kPollMs);
        if (junkPerSecond_ > 0) {
            SendJunk(MonotonicUs());
        }
        if (ready <= 0) {
            continue;
        }
        if (fds[0].revents & POLLIN) {
            Relay(socketA_, natTowardsB_ ? socketNat_ : socketB_, peerBPort_, &fromA_, true);
        }
        if (fds[1].revents & POLLIN) {
            Relay(socketB_, socketA_, peerAPort_, &fromB_, false);
        }
    }
}

void RtpRelay::Relay(int from, int to, int toPort, std::vector<Packet>* log, bool fromA) {
    uint8_t buffer[2048];
    sockaddr_in source{};
    socklen_t length = sizeof(source);
    const ssize_t n = recvfrom(from, buffer, sizeof(buffer), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&source), &length);
    if (n < 0) {
        return;
    }
    const int64_t now = MonotonicUs();
    if ((ntohl(source.sin_addr.s_addr) >> 24) != 127) {
        std::lock_guard<std::mutex> guard(lock_);
        ++foreign_;
        return;
    }
    if (fromA) {
        int64_t first = -1;
        firstFromAUs_.compare_exchange_strong(first, now);
        if (now - firstFromAUs_.load() < int64_t{holdBackFromAMs_} * 1000) {
            return;
        }
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(static_cast<uint16_t>(toPort));
    // A peer that has not bound its port yet refuses the datagram; RTP tolerates the loss.
    (void)sendto(to, buffer, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&target),
                 sizeof(target));
    std::lock_guard<std::mutex> guard(lock_);
    log->push_back(Parse(buffer, static_cast<size_t>(n), now));
}

RtpStreamStats SummariseRtp(const std::vector<RtpRelay::Packet>& packets, int expectedPayloadType,
                            size_t expectedPayloadBytes) {
    constexpr int kComfortNoise = 13;
    RtpStreamStats s;
    s.packets = packets.size();
    std::vector<const RtpRelay::Packet*> media;
    const RtpRelay::Packet* previous = nullptr;
    for (const RtpRelay::Packet& p : packets) {
        if (p.version != 2) {
            ++s.notRtp;
            continue;
        }
        if (s.firstPayloadType < 0) {
            s.firstPayloadType = p.payloadType;
        }
        if (previous && static_cast<uint16_t>(previous->sequence + 1) != p.sequence) {
            ++s.sequenceJumps;
        }
        previous = &p;
        if (p.payloadType == kComfortNoise) {
            ++s.comfortNoise;
        } else if (p.payloadType != expectedPayloadType) {
            ++s.wrongPayloadType;
        } else {
            s.wrongPayloadSize += p.payloadBytes != expectedPayloadBytes ? 1 : 0;
            media.push_back(&p);
        }
    }
    s.mediaPackets = media.size();
    if (media.empty()) {
        return s;
    }
    // The start of a call may come in a burst; count from 1 s after the first packet.
    const int64_t settled = media.front()->timeUs + 1000000;
    int64_t first = -1;
    size_t steady = 0;
    for (const RtpRelay::Packet* p : media) {
        if (p->timeUs >= settled) {
            first = first < 0 ? p->timeUs : first;
            ++steady;
        }
    }
    const int64_t last = media.back()->timeUs;
    if (steady > 1 && last > first) {
        s.packetsPerSecond =
            static_cast<double>(steady - 1) * 1e6 / static_cast<double>(last - first);
    }
    return s;
}

int FindFreeUdpPort() {
    std::string error;
    int port = 0;
    const int s = BindLoopback(0, &port, &error);
    if (s < 0) {
        return 0;
    }
    close(s);
    return port;
}

void RtpRelay::SendJunk(int64_t nowUs) {
    // As many as are due by now, evenly spread over each second.
    const size_t due = static_cast<size_t>((nowUs - junkStartUs_) * junkPerSecond_ / 1000000);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(static_cast<uint16_t>(peerBPort_));
    for (size_t n = junkSent_.load(); n < due; ++n) {
        uint8_t junk[1200];
        std::memset(junk, 0x5A, sizeof(junk));
        size_t bytes;
        switch (n % 4) {
        case 0:
            bytes = 0;
            break;
        case 1:
            bytes = 7; // shorter than a header
            break;
        case 2:
            bytes = 172;
            junk[0] = 0x40; // version 1
            break;
        default:
            bytes = sizeof(junk); // larger than the receiver's slots
            junk[0] = 0x80;
            break;
        }
        (void)sendto(socketB_, junk, bytes, 0, reinterpret_cast<sockaddr*>(&target),
                     sizeof(target));
        junkSent_.store(n + 1);
    }
}
