// libFuzzer target: arbitrary bytes as RTP datagrams through the receive path. The whole input
// is parsed as one datagram; then it is cut into datagrams (each led by a 2-byte big-endian
// length) that go two ways: parsed one by one into samples, the way the receiver hands them
// out, and through the receiver itself on a socket without a network. Either way the samples
// go through both G.711 decoders and the jitter buffer, which is pulled as the speaker would.
// Any read outside a buffer, a record that points outside its datagram, or a sample reference
// lost or freed twice is a finding.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "media/base/RTPPacket.h"
#include "media/base/WaveFormat.h"
#include "media/codec/G7112PCMTransformer.h"
#include "media/codec/GenericRTP2PCMDecoder.h"
#include "media/graph/AudioGraph.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/rtp/RTPAudioSource.h"
#include "media/rtp/RTPJitterBuffer.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/net/UdpSocket.h"
#include "platform/net/WakeEvent.h"
#include "platform/store/Registry.h"
#include "tests/fuzz/FuzzSandbox.h"

using namespace tamsor;

namespace {

constexpr size_t kMaxDatagrams = 64;
constexpr int kSlotSize = RTPAudioSource::kSlotSize;

// Stops the run with a crash that libFuzzer reports, naming the broken rule.
void Require(bool condition, const char* rule) {
    if (!condition) {
        fprintf(stderr, "RtpPacketFuzzer: %s\n", rule);
        abort();
    }
}

// A socket without a network: datagrams come from a queue, whole, and a wait with nothing
// queued lets the (fake) clock run for the whole time-out.
class QueueSocket : public plat::UdpSocket {
public:
    int Open() override {
        open_ = true;
        return 0;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    int Bind(uint32_t, uint16_t) override { return 0; }
    int GetLocalAddress(uint32_t* address, uint16_t* port) override {
        if (address) {
            *address = 0;
        }
        if (port) {
            *port = 40000;
        }
        return 0;
    }
    int SetTos(int) override { return 0; }
    int SetDontRoute(bool) override { return 0; }
    int SendTo(const void*, size_t size, uint32_t, uint16_t, int*) override {
        return static_cast<int>(size);
    }
    int ReceiveFrom(void* buffer, size_t capacity, int* error,
                    plat::UdpEndpoint* /*from*/ = nullptr) override {
        if (incoming.empty()) {
            *error = EAGAIN;
            return -1;
        }
        const std::vector<uint8_t>& d = incoming.front();
        const size_t n = d.size() < capacity ? d.size() : capacity;
        if (n > 0) {
            std::memcpy(buffer, d.data(), n);
        }
        // Like a receive with MSG_TRUNC: the datagram's real length.
        const int length = static_cast<int>(d.size());
        incoming.pop_front();
        return length;
    }
    plat::SocketWait WaitReadable(uint32_t timeoutMs, const plat::WakeEvent*) override {
        if (!incoming.empty()) {
            return plat::SocketWait::Readable;
        }
        plat::SleepMs(timeoutMs);
        return plat::SocketWait::Timeout;
    }

    std::deque<std::vector<uint8_t>> incoming;

private:
    bool open_ = false;
};

// The rules every accepted record keeps, read against the datagram's own bytes.
void CheckRecord(const RTPPacket& p, const uint8_t* data, int32_t length) {
    Require(length >= 12, "accepted datagram shorter than a header");
    Require(p.packet == data && p.totalLength == length, "record does not describe its datagram");
    Require(p.version == 2 && p.extension == 0, "accepted a version other than 2 or an extension");
    Require(p.csrcCount == (data[0] & 0x0F) && p.headerLength == 12 + 4 * p.csrcCount,
            "header length does not follow the contributor count");
    Require(p.numPadding >= 0 && p.payloadLength >= 0, "negative padding or payload length");
    Require(p.headerLength + p.payloadLength + p.numPadding == length,
            "header, payload and padding do not add up to the datagram");
    Require(p.payload == data + p.headerLength, "payload does not follow the header");
    Require(p.payloadType == (data[1] & 0x7F) && p.marker == (data[1] >> 7),
            "payload type or marker misread");
    Require(p.sequenceNumber == ((data[2] << 8) | data[3]), "sequence number misread");
    // Every payload byte must be readable (ASan reports it otherwise).
    volatile uint8_t sum = 0;
    for (int32_t i = 0; i < p.payloadLength; ++i) {
        sum = static_cast<uint8_t>(sum + p.payload[i]);
    }
    (void)sum;

    std::unique_ptr<RTPPacket> copy(p.CopyHeader());
    Require(copy != nullptr, "no header copy");
    Require(copy->packet == nullptr && copy->payload == nullptr &&
                copy->totalLength == copy->headerLength,
            "header copy refers to the datagram");
    Require(copy->sequenceNumber == p.sequenceNumber && copy->timestamp == p.timestamp &&
                copy->ssrc == p.ssrc && copy->payloadType == p.payloadType &&
                copy->marker == p.marker && copy->csrcCount == p.csrcCount &&
                copy->headerLength == p.headerLength,
            "header copy differs");
}

// A received packet as the receiver hands it out: the payload in a pool sample, the record
// attached (detached from the datagram). Null when the datagram is rejected.
AudioSample* SampleOf(const std::vector<uint8_t>& datagram) {
    const auto length = static_cast<int32_t>(datagram.size());
    std::unique_ptr<RTPPacket> record(RTPPacket::CreateRTPPacket(datagram.data(), length, nullptr));
    if (!record) {
        return nullptr;
    }
    CheckRecord(*record, datagram.data(), length);
    AudioSample* sample = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&sample, nullptr);
    Require(sample != nullptr, "pool gave no sample");
    Require(record->payloadLength <= sample->GetBufferSize(), "payload larger than a sample");
    RTPAudioSource::FillSample(record.release(), sample);
    return sample;
}

// One step of a decoder on `input`; its output (if any) is returned with one reference.
AudioSample* Decode(AudioTransformer& decoder, AudioSample* input) {
    AudioSampleList list{AudioSampleEntry(input, nullptr)};
    AudioSample* out = nullptr;
    const int r = decoder.TransformAudioSamples(list, &out);
    if (out) {
        Require(out->GetDataSize() >= 0 && out->GetDataSize() <= out->GetBufferSize(),
                "decoder output length outside its buffer");
        if (r == 0 && out->GetDataSize() > 0 && input->GetDataSize() > 0) {
            Require(out->GetDataSize() == 2 * input->GetDataSize(),
                    "a G.711 code did not become one 16-bit sample");
        }
        if (r != 0) {
            // The graph discards the output of a failing step.
            out->Release(nullptr);
            out = nullptr;
        }
    }
    return out;
}

// The receive chain behind the receiver: both decoders, the jitter buffer and its puller.
struct Chain {
    GenericRTP2PCMDecoder generic;
    G7112PCMTransformer fixed;
    RTPJitterBuffer jitter;

    Chain() {
        fixed.SetMuLaw();
        jitter.SetJitterTarget(40);
        jitter.TransformStarted();
    }
    ~Chain() {
        jitter.TransformStopped();
        generic.TransformStopped();
    }

    void Push(AudioSample* received) {
        if (AudioSample* pcm = Decode(fixed, received)) {
            pcm->Release(nullptr);
        }
        AudioSample* pcm = Decode(generic, received);
        if (pcm) {
            AudioSampleList list{AudioSampleEntry(pcm, nullptr)};
            jitter.RenderAudioSamples(list);
            pcm->Release(nullptr);
        }
        Pull();
    }
    void Pull() {
        AudioSample* out = nullptr;
        jitter.GenerateData(&out);
        Require(out != nullptr, "the running jitter buffer gave no sample");
        Require(out->GetDataSize() > 0 || out->GetSilenceMs() > 0,
                "the jitter buffer gave neither audio nor silence");
        out->Release(nullptr);
    }
};

std::vector<std::vector<uint8_t>> Datagrams(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> out;
    size_t at = 0;
    while (at + 2 <= size && out.size() < kMaxDatagrams) {
        size_t length = (static_cast<size_t>(data[at]) << 8) | data[at + 1];
        at += 2;
        if (length > size - at) {
            length = size - at;
        }
        out.emplace_back(data + at, data + at + length);
        at += length;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzSandbox sandbox;
    plat::FakeClock clock(100000);
    plat::ScopedClock clockScope(clock);

    // The whole input as one datagram.
    if (size <= static_cast<size_t>(INT32_MAX)) {
        std::unique_ptr<RTPPacket> whole(
            RTPPacket::CreateRTPPacket(data, static_cast<int32_t>(size), nullptr));
        if (whole) {
            CheckRecord(*whole, data, static_cast<int32_t>(size));
        }
    }

    const std::vector<std::vector<uint8_t>> datagrams = Datagrams(data, size);
    {
        // Parsed one by one, in arrival order, as the receiver would hand them out.
        Chain chain;
        for (const auto& d : datagrams) {
            if (d.size() > static_cast<size_t>(kSlotSize)) {
                continue; // the receiver drops what does not fit a slot
            }
            if (AudioSample* s = SampleOf(d)) {
                chain.Push(s);
                s->Release(nullptr);
            }
        }
        for (int i = 0; i < 8; ++i) {
            chain.Pull();
        }
    }
    {
        // Through the receiver's own slots and reorder rules.
        auto socket = std::make_shared<QueueSocket>();
        socket->Open();
        socket->incoming.assign(datagrams.begin(), datagrams.end());
        Chain chain;
        RTPAudioSource source;
        source.SetSocketFactory([] { return std::make_shared<QueueSocket>(); });
        source.SetReceivePort(socket);
        Require(source.SourceStarted() == 0, "the receiver did not start");
        int idle = 0;
        for (size_t call = 0; call < 2 * kMaxDatagrams && idle < 3; ++call) {
            // The time between calls, taken from the input: a few ms (read-ahead budgets) or
            // up to seconds (the quiet rule).
            if (size > 0) {
                const uint8_t pace = data[call % size];
                clock.Advance((pace & 0x80) ? (pace & 0x7Fu) * 100u : (pace & 0x3Fu));
            }
            AudioSample* s = nullptr;
            source.GenerateData(&s);
            if (!s) {
                idle = socket->incoming.empty() ? idle + 1 : 0;
                continue;
            }
            idle = 0;
            Require(s->GetRTPHeader() != nullptr, "a received sample without its header");
            Require(s->GetDataSize() >= 0 && s->GetDataSize() <= kSlotSize - 12,
                    "a received payload longer than a datagram");
            chain.Push(s);
            s->Release(nullptr);
        }
        const uint16_t depth = source.GetReceiveBufferDepth();
        const uint16_t minimum = source.GetMinReceiveBufferDepth();
        Require(depth >= 1 && depth <= RTPAudioSource::kSlotCount, "buffer depth out of range");
        Require(minimum == 0 || (minimum <= depth && minimum >= 3 && minimum <= 17),
                "buffer minimum out of range");
        source.SourceStopped();
    }

    // Every sample went back to the pool: no reference was lost.
    AudioSampleManager* pool = AudioSampleManager::GetInstance();
    Require(static_cast<size_t>(pool->GetCreatedCount()) == pool->GetFreeCount(),
            "a sample reference was lost");
    return 0;
}
