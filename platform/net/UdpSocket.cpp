#include "platform/net/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/net/WakeEvent.h"

namespace plat {

UdpSocket::~UdpSocket() {
    UdpSocket::Close();
}

int UdpSocket::Open() {
    Close();
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    fd_.store(fd);
    return 0;
}

void UdpSocket::Close() {
    int fd = fd_.exchange(-1);
    if (fd >= 0) {
        close(fd);
    }
}

int UdpSocket::Bind(uint32_t address, uint16_t port) {
    int fd = fd_.load();
    if (fd < 0) {
        return EBADF;
    }
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = address;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&sin), sizeof(sin)) != 0) {
        return errno;
    }
    return 0;
}

int UdpSocket::GetLocalPort(uint16_t* port) {
    return GetLocalAddress(nullptr, port);
}

int UdpSocket::GetLocalAddress(uint32_t* address, uint16_t* port) {
    int fd = fd_.load();
    if (fd < 0) {
        return EBADF;
    }
    sockaddr_in sin{};
    socklen_t len = sizeof(sin);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len) != 0) {
        return errno;
    }
    if (address) {
        *address = sin.sin_addr.s_addr;
    }
    if (port) {
        *port = ntohs(sin.sin_port);
    }
    return 0;
}

int UdpSocket::SetTos(int tos) {
    int fd = fd_.load();
    if (fd < 0) {
        return EBADF;
    }
    int value = tos & 0xFF;
    if (setsockopt(fd, IPPROTO_IP, IP_TOS, &value, sizeof(value)) != 0) {
        return errno;
    }
    return 0;
}

int UdpSocket::SetDontRoute(bool on) {
    int fd = fd_.load();
    if (fd < 0) {
        return EBADF;
    }
    int value = on ? 1 : 0;
    if (setsockopt(fd, SOL_SOCKET, SO_DONTROUTE, &value, sizeof(value)) != 0) {
        return errno;
    }
    return 0;
}

int UdpSocket::SendTo(const void* data, size_t size, uint32_t address, uint16_t port, int* error) {
    int fd = fd_.load();
    if (fd < 0) {
        if (error) {
            *error = EBADF;
        }
        return -1;
    }
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = address;
    ssize_t n =
        sendto(fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sin), sizeof(sin));
    if (n < 0) {
        if (error) {
            *error = errno;
        }
        return -1;
    }
    return static_cast<int>(n);
}

int UdpSocket::ReceiveFrom(void* buffer, size_t capacity, int* error, UdpEndpoint* from) {
    int fd = fd_.load();
    if (fd < 0) {
        if (error) {
            *error = EBADF;
        }
        return -1;
    }
    // MSG_TRUNC makes the kernel report the datagram's real length, so an oversized one can be
    // recognised instead of being taken as a shorter, cut-off packet.
    sockaddr_in source{};
    socklen_t length = sizeof(source);
    ssize_t n = recvfrom(fd, buffer, capacity, MSG_TRUNC | MSG_DONTWAIT,
                         reinterpret_cast<sockaddr*>(&source), &length);
    if (n < 0) {
        if (error) {
            *error = errno;
        }
        return -1;
    }
    if (from) {
        *from = source.sin_family == AF_INET
                    ? UdpEndpoint{source.sin_addr.s_addr, ntohs(source.sin_port)}
                    : UdpEndpoint{};
    }
    return static_cast<int>(n);
}

SocketWait UdpSocket::WaitReadable(uint32_t timeoutMs, const WakeEvent* wake) {
    int fd = fd_.load();
    pollfd fds[2];
    nfds_t count = 0;
    if (fd >= 0) {
        fds[count++] = pollfd{fd, POLLIN, 0};
    }
    if (wake && wake->IsValid()) {
        fds[count++] = pollfd{wake->Fd(), POLLIN, 0};
    }
    if (count == 0) {
        return SocketWait::Failed;
    }
    int timeout = timeoutMs > 0x7FFFFFFFu ? -1 : static_cast<int>(timeoutMs);
    int rc;
    do {
        rc = poll(fds, count, timeout);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        return SocketWait::Failed;
    }
    if (rc == 0) {
        return SocketWait::Timeout;
    }
    // A wake request wins over a waiting datagram so that a stop is seen at once.
    if (wake && wake->IsValid() && (fds[count - 1].revents & POLLIN)) {
        return SocketWait::Woken;
    }
    if (fd >= 0 && (fds[0].revents & (POLLIN | POLLERR))) {
        return SocketWait::Readable;
    }
    return SocketWait::Failed;
}

} // namespace plat
