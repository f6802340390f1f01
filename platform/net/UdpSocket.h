#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace plat {

class WakeEvent;

enum class SocketWait { Readable, Woken, Timeout, Failed };

// Where a datagram came from: the IPv4 address in network order, the port in host order.
struct UdpEndpoint {
    uint32_t address = 0;
    uint16_t port = 0;
    bool operator==(const UdpEndpoint&) const = default;
};

// A non-blocking IPv4 UDP socket. The descriptor is -1 when there is none. The object closes
// its descriptor when it is destroyed, so a socket shared through std::shared_ptr (the RTP
// sender and receiver share one) is closed only when its last holder lets it go.
//
// Every operation is virtual so tests can put a fake in its place.
//
// Threads: Open, Bind, SetTos, SetDontRoute and Close are called by the owner while it sets the
// socket up or tears it down; SendTo (one thread) and WaitReadable/ReceiveFrom (another) may run
// at the same time, which the kernel allows. The descriptor itself is atomic.
class UdpSocket {
public:
    UdpSocket() = default;
    virtual ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates the socket (closing one held before). Returns 0 or the errno of socket().
    virtual int Open();
    // Closes the descriptor; a no-op without one.
    virtual void Close();
    virtual bool IsOpen() const { return fd_.load() >= 0; }
    int Fd() const { return fd_.load(); }

    // Binds to `address` (network order; 0 is any) and `port` (host order; 0 lets the system
    // pick). Returns 0 or errno.
    virtual int Bind(uint32_t address, uint16_t port);
    // The bound local port in host order. Returns 0 or errno.
    virtual int GetLocalPort(uint16_t* port);
    // The bound local address (network order) and port (host order); either may be null.
    virtual int GetLocalAddress(uint32_t* address, uint16_t* port);
    // IP type of service (low 8 bits). Returns 0 or errno.
    virtual int SetTos(int tos);
    virtual int SetDontRoute(bool on);

    // Sends one datagram to `address` (network order) and `port` (host order). Returns the
    // count sent, or -1 with *error set to errno.
    virtual int SendTo(const void* data, size_t size, uint32_t address, uint16_t port, int* error);
    // Takes one waiting datagram. Returns its full length, which is larger than `capacity`
    // when the datagram did not fit (only `capacity` bytes were stored); or -1 with *error set
    // (EAGAIN/EWOULDBLOCK when nothing is waiting). `from` (optional) receives its source.
    virtual int ReceiveFrom(void* buffer, size_t capacity, int* error, UdpEndpoint* from = nullptr);
    // Waits at most timeoutMs until a datagram is waiting or `wake` (optional) is set.
    virtual SocketWait WaitReadable(uint32_t timeoutMs, const WakeEvent* wake);

protected:
    std::atomic<int> fd_{-1};
};

} // namespace plat
