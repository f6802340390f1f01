#pragma once
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/net/UdpSocket.h"
#include "platform/net/WakeEvent.h"

namespace plat {

// A socket without a network: sent datagrams are recorded, received ones come from a queue.
// A wait with nothing queued lets the current clock run for the whole time-out, so receivers
// driven by a FakeClock see their time-outs pass at once.
class FakeUdpSocket : public UdpSocket {
public:
    struct Sent {
        std::vector<uint8_t> bytes;
        uint32_t address;
        uint16_t port;
    };

    int openError = 0;
    int bindError = 0;
    int sendError = 0;

    int Open() override {
        std::lock_guard<std::mutex> g(lock_);
        if (openError) {
            return openError;
        }
        open_ = true;
        return 0;
    }
    void Close() override {
        std::lock_guard<std::mutex> g(lock_);
        open_ = false;
    }
    bool IsOpen() const override {
        std::lock_guard<std::mutex> g(lock_);
        return open_;
    }
    int Bind(uint32_t address, uint16_t port) override {
        std::lock_guard<std::mutex> g(lock_);
        if (bindError) {
            return bindError;
        }
        boundAddress_ = address;
        boundPort_ = port ? port : 40000;
        return 0;
    }
    int GetLocalAddress(uint32_t* address, uint16_t* port) override {
        std::lock_guard<std::mutex> g(lock_);
        if (address) {
            *address = boundAddress_;
        }
        if (port) {
            *port = boundPort_;
        }
        return 0;
    }
    int SetTos(int tos) override {
        std::lock_guard<std::mutex> g(lock_);
        tos_ = tos;
        return 0;
    }
    int SetDontRoute(bool) override { return 0; }
    int SendTo(const void* data, size_t size, uint32_t address, uint16_t port,
               int* error) override {
        std::lock_guard<std::mutex> g(lock_);
        if (sendError) {
            *error = sendError;
            return -1;
        }
        auto p = static_cast<const uint8_t*>(data);
        sent_.push_back(Sent{std::vector<uint8_t>(p, p + size), address, port});
        return static_cast<int>(size);
    }
    int ReceiveFrom(void* buffer, size_t capacity, int* error,
                    UdpEndpoint* from = nullptr) override {
        std::lock_guard<std::mutex> g(lock_);
        if (incoming_.empty()) {
            *error = EAGAIN;
            return -1;
        }
        std::vector<uint8_t> d = std::move(incoming_.front().first);
        if (from) {
            *from = incoming_.front().second;
        }
        incoming_.pop_front();
        if (!d.empty()) {
            std::memcpy(buffer, d.data(), std::min(capacity, d.size()));
        }
        return static_cast<int>(d.size());
    }
    SocketWait WaitReadable(uint32_t timeoutMs, const WakeEvent* wake) override {
        if (wake && wake->IsSet()) {
            return SocketWait::Woken;
        }
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!incoming_.empty()) {
                return SocketWait::Readable;
            }
        }
        SleepMs(timeoutMs);
        return SocketWait::Timeout;
    }

    // A datagram to receive, from `from` (0.0.0.0:0 unless given).
    void Queue(std::vector<uint8_t> datagram, UdpEndpoint from = {}) {
        std::lock_guard<std::mutex> g(lock_);
        incoming_.emplace_back(std::move(datagram), from);
    }
    size_t Pending() {
        std::lock_guard<std::mutex> g(lock_);
        return incoming_.size();
    }
    std::vector<Sent> SentDatagrams() {
        std::lock_guard<std::mutex> g(lock_);
        return sent_;
    }
    int Tos() {
        std::lock_guard<std::mutex> g(lock_);
        return tos_;
    }
    uint32_t BoundAddress() {
        std::lock_guard<std::mutex> g(lock_);
        return boundAddress_;
    }

private:
    mutable std::mutex lock_;
    bool open_ = false;
    uint32_t boundAddress_ = 0;
    uint16_t boundPort_ = 0;
    int tos_ = -1;
    std::deque<std::pair<std::vector<uint8_t>, UdpEndpoint>> incoming_;
    std::vector<Sent> sent_;
};

} // namespace plat
