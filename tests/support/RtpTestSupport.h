#pragma once
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "media/base/EngineTrace.h"
#include "media/base/RTPPacket.h"
#include "media/base/RegistryValues.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/core/Clock.h"
#include "platform/net/UdpSocket.h"
#include "platform/net/WakeEvent.h"
#include "tests/support/EngineFixture.h"

namespace tamsor {

// A socket without a network: sent datagrams are recorded, received ones come from a queue.
// A wait with nothing queued lets the current clock run for the whole time-out, so receivers
// driven by a FakeClock see their time-outs pass at once.
class FakeUdpSocket : public plat::UdpSocket {
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
    int ReceiveFrom(void* buffer, size_t capacity, int* error) override {
        std::lock_guard<std::mutex> g(lock_);
        if (incoming_.empty()) {
            *error = EAGAIN;
            return -1;
        }
        std::vector<uint8_t> d = std::move(incoming_.front());
        incoming_.pop_front();
        if (!d.empty()) {
            std::memcpy(buffer, d.data(), std::min(capacity, d.size()));
        }
        return static_cast<int>(d.size());
    }
    plat::SocketWait WaitReadable(uint32_t timeoutMs, const plat::WakeEvent* wake) override {
        if (wake && wake->IsSet()) {
            return plat::SocketWait::Woken;
        }
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!incoming_.empty()) {
                return plat::SocketWait::Readable;
            }
        }
        plat::SleepMs(timeoutMs);
        return plat::SocketWait::Timeout;
    }

    void Queue(std::vector<uint8_t> datagram) {
        std::lock_guard<std::mutex> g(lock_);
        incoming_.push_back(std::move(datagram));
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
    std::deque<std::vector<uint8_t>> incoming_;
    std::vector<Sent> sent_;
};

// An RTP datagram: version 2, no CSRC, the payload bytes `payloadSize` times `fill`.
inline std::vector<uint8_t> MakeRtp(uint16_t seq, uint32_t ts, uint32_t ssrc, uint8_t pt,
                                    size_t payloadSize, uint8_t fill = 0x55, bool marker = false) {
    std::vector<uint8_t> d(12 + payloadSize, fill);
    d[0] = 0x80;
    d[1] = static_cast<uint8_t>(pt | (marker ? 0x80 : 0));
    d[2] = static_cast<uint8_t>(seq >> 8);
    d[3] = static_cast<uint8_t>(seq);
    for (int i = 0; i < 4; ++i) {
        d[4 + i] = static_cast<uint8_t>(ts >> (24 - 8 * i));
        d[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
    }
    return d;
}

// The engine fixture with registry settings and RTP sample helpers.
class RtpFixture : public EngineFixture {
protected:
    static std::string Setting(const char* name) {
        return GetRegistryString(kRegSettingsKey, name, "<missing>");
    }
    static void SetSetting(const char* name, const char* text) {
        SetRegistryString(kRegSettingsKey, name, text);
    }

    // A sample with `bytes` data bytes of `fill` in the given format.
    static AudioSample* Data(unsigned format, int bytes, uint8_t fill = 0) {
        AudioSample* s = nullptr;
        Pool()->GetAudioSample(&s, nullptr);
        s->SetFormat(MakeWaveFormat(format));
        std::memset(s->GetData(), fill, static_cast<size_t>(bytes));
        s->SetDataSize(bytes);
        return s;
    }
    // Attaches an RTP header record to a sample.
    static AudioSample* WithHeader(AudioSample* s, uint16_t seq, uint32_t ts, uint32_t ssrc,
                                   uint8_t pt) {
        auto* h = new RTPPacket;
        h->version = 2;
        h->headerLength = 12;
        h->totalLength = 12;
        h->sequenceNumber = seq;
        h->timestamp = ts;
        h->ssrc = ssrc;
        h->payloadType = pt;
        s->SetRTPHeader(h);
        return s;
    }
};

} // namespace tamsor
