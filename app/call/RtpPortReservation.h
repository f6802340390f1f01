#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace plat {
class UdpSocket;
}

// The local RTP port of a call: 8000 when it is free, else the next even port up to 8100 that
// is free together with the odd port above it (where the media bind their second socket). The
// port is written into our SDP before the media start, so two sockets hold both ports from the
// choice until the media bind them: no other program can take the port meanwhile.
//
// Threads: the GUI thread only.
class RtpPortReservation {
public:
    static constexpr uint16_t kFirstPort = 8000;
    static constexpr uint16_t kLastPort = 8100;
    using SocketFactory = std::function<std::unique_ptr<plat::UdpSocket>()>;

    // Without a factory, real sockets.
    explicit RtpPortReservation(SocketFactory sockets = {});
    ~RtpPortReservation();
    RtpPortReservation(const RtpPortReservation&) = delete;
    RtpPortReservation& operator=(const RtpPortReservation&) = delete;

    // The call's port: the one chosen before, else the first free pair, now held. 0 when no
    // pair is free.
    uint16_t Reserve();
    // Lets both ports go, right before the media bind them; the port stays the call's.
    void HandOver();
    // The call is over: the ports go and the next call chooses again.
    void Clear();
    uint16_t Port() const { return port_; }
    bool IsHeld() const { return rtp_ != nullptr; }

private:
    // A socket bound to any address at `port`, or null.
    std::unique_ptr<plat::UdpSocket> Bound(uint16_t port);

    SocketFactory sockets_;
    uint16_t port_ = 0;
    std::unique_ptr<plat::UdpSocket> rtp_;
    std::unique_ptr<plat::UdpSocket> rtcp_;
};
