#include "app/call/RtpPortReservation.h"

#include "platform/net/UdpSocket.h"

RtpPortReservation::RtpPortReservation(SocketFactory sockets) : sockets_(std::move(sockets)) {
    if (!sockets_) {
        sockets_ = [] { return std::make_unique<plat::UdpSocket>(); };
    }
}

RtpPortReservation::~RtpPortReservation() = default;

std::unique_ptr<plat::UdpSocket> RtpPortReservation::Bound(uint16_t port) {
    std::unique_ptr<plat::UdpSocket> socket = sockets_();
    // Any address, as the media bind: a program bound to one address of the port holds it too.
    if (!socket || socket->Open() != 0 || socket->Bind(0, port) != 0) {
        return nullptr;
    }
    return socket;
}

uint16_t RtpPortReservation::Reserve() {
    if (port_ != 0) {
        return port_;
    }
    for (uint32_t port = kFirstPort; port <= kLastPort; port += 2) {
        std::unique_ptr<plat::UdpSocket> rtp = Bound(static_cast<uint16_t>(port));
        std::unique_ptr<plat::UdpSocket> rtcp =
            rtp ? Bound(static_cast<uint16_t>(port + 1)) : nullptr;
        if (rtcp) {
            rtp_ = std::move(rtp);
            rtcp_ = std::move(rtcp);
            port_ = static_cast<uint16_t>(port);
            return port_;
        }
    }
    return 0;
}

void RtpPortReservation::HandOver() {
    rtp_.reset();
    rtcp_.reset();
}

void RtpPortReservation::Clear() {
    HandOver();
    port_ = 0;
}
