#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "media/graph/AudioSource.h"
#include "media/rtp/RTPSourceLatch.h"
#include "platform/core/CriticalSection.h"
#include "platform/net/WakeEvent.h"

namespace plat {
class AutoResetEvent;
class UdpSocket;
} // namespace plat

namespace tamsor {

class RTPPacket;

// The head of the receive chain. Its thread reads RTP datagrams from the socket the RTP
// sender bound (one local port carries both directions), keeps them in a small reorder buffer
// of slots whose depth adapts to loss and to quiet periods, and hands out one sample per call
// in sequence-number order: the payload with its parsed RTP header. Each change of the depth
// signals the caller's event; GetReceiveQuality turns the depth into the quality figure.
// Only the call's peer is heard: datagrams from any other source (RTPSourceLatch) are dropped
// before they reach the slots and counted in the engine's statistics; when the source changes,
// the packets of the old one still in the slots are dropped too.
//
// Threads:
// - SetReceivePort, SetDepthChangedEvent, SetSizedEvent, SetSocketFactory: the media object's
//   caller, before the thread starts. SetPeer, SetPayloadType: the media object's caller, at any
//   time. StartSourceThread/StopSourceThread: the control thread.
// - GenerateData and ReceiveUDPPacket run only on the source thread and own the slots, the
//   buffer figures and sourceLatch; they take socketMutex only to copy the socket reference
//   and a changed peer.
// - filterMutex guards the start and stop operations and bRunning's changes; socketMutex
//   guards rtpSocket, rtcpSocket, bOwnsRtpSocket, boundReceivePort, receivePort, peer,
//   peerPayloadType and peerChanged.
// - receiveBufferDepth and minReceiveBufferDepth are atomic: any thread may read them
//   (GetReceiveQuality). socketEvent wakes a wait on the socket at once for a stop.
class RTPAudioSource : public AudioSource {
public:
    static constexpr int kSlotCount = 30;
    static constexpr int kSlotSize = 1024;
    static constexpr uint32_t kReceiveWaitMs = 500;
    // While packets wait in the slots and nothing new arrives, a wait for a datagram ends this
    // many packet durations after the last datagram or hand-out, whichever came later, then one
    // packet duration after each further hand-out: held packets keep flowing at the frame pace
    // through a pause. A comfort-noise packet announces the pause: after it the frame pace
    // holds from the start.
    static constexpr uint32_t kPauseAfterPackets = 2;

    using SocketFactory = std::function<std::shared_ptr<plat::UdpSocket>()>;

    struct ReceiveSlot {
        bool bFull = false;
        int32_t length = 0;
        uint16_t seqNo = 0;
        plat::UdpEndpoint from; // where the datagram came from
        uint8_t data[kSlotSize] = {};
    };

    // The buffer's sizing by the first datagram (`bytes` long, of `payloadType`): the
    // minimum depth and the depth it starts with, from the packet duration it estimates.
    struct Depths {
        uint16_t minimum;
        uint16_t initial;
        uint16_t packetMs; // the estimated packet duration, whole milliseconds
    };
    static constexpr Depths DepthsFor(int32_t bytes, int payloadType) {
        const float b = static_cast<float>(bytes);
        float x = 40.0f;
        if (payloadType == 0 || payloadType == 8) {
            x = b * 0.125f - 1.5f; // (bytes - 12) / 8 ms of G.711
        } else if (payloadType == 18) {
            x = b - 12.0f; // G.729: a byte per millisecond
        }
        x = x < 10.0f ? 10.0f : x > 80.0f ? 80.0f : x;
        return {static_cast<uint16_t>(19 - static_cast<int>(x * 0.2f)),
                static_cast<uint16_t>(25 - static_cast<int>(x * 0.25f)), static_cast<uint16_t>(x)};
    }

    RTPAudioSource();
    ~RTPAudioSource() override;

    // Puts a parsed datagram into `sample` as the receiver hands it out: the format of its
    // payload type (0, 8, 4, 18; others leave the format as it is), a copy of the payload,
    // 20 ms of silence for comfort noise (13), and the record as its RTP header, re-pointed at
    // the sample's copy. The sample takes ownership of the record.
    static void FillSample(RTPPacket* record, AudioSample* sample);

    int LoadTraceLevel() override { return 0; }
    int StopSourceThread() override;
    int SourceThreadStarted(AudioThreadHandle thread, uint32_t threadId) override;
    int SourceThreadStopped(AudioThreadHandle thread, uint32_t threadId) override;
    int SourceStarted() override;
    int SourceStopped() override;
    int GenerateData(AudioSample** out) override;

    // Receives on the sender's socket; the reference keeps it open while this object holds it.
    void SetReceivePort(std::shared_ptr<plat::UdpSocket> socket);
    // The sender's socket this receiver reads (null when it reads none or only its own).
    std::shared_ptr<plat::UdpSocket> GetSharedSocket();
    void SetDepthChangedEvent(plat::AutoResetEvent* event) { depthChangedEvent.store(event); }
    // Signalled once, when the first datagram sizes the buffer (none: not signalled).
    void SetSizedEvent(plat::AutoResetEvent* event) { sizedEvent.store(event); }
    // The call's peer as its session description gives it (address 0: not known), and the
    // payload type of its stream (-1: decoding by payload type, any one type). Each starts the
    // choice of the source again.
    void SetPeer(plat::UdpEndpoint endpoint);
    void SetPayloadType(int payloadType);
    plat::UdpEndpoint GetPeer();
    int GetPayloadType();
    // Datagrams dropped for coming from another source than the call's peer, by every receiver
    // of the library since the last reset.
    static uint64_t GetForeignDatagrams();
    static void ResetForeignDatagrams();
    void SetSocketFactory(SocketFactory factory);

    // One RTP datagram into receiveSlot, waiting at most waitMs (500 ms as written): its byte
    // count; -10 when none came in time; -1 on a socket error; 0 when the turn went to
    // datagrams that are not RTP (empty, shorter than a header, not version 2, or larger than a
    // slot), which are dropped without ending the wait, 64 of them at most.
    int ReceiveUDPPacket(uint32_t waitMs = kReceiveWaitMs);
    int BindSocketToPort(plat::UdpSocket* socket, uint32_t address, uint16_t port);
    int CreateSockets();
    int CloseSockets();
    int PrepareSource();
    int UnprepareSource();

    uint16_t GetReceiveBufferDepth() const { return receiveBufferDepth.load(); }
    uint16_t GetMinReceiveBufferDepth() const { return minReceiveBufferDepth.load(); }
    // (depth - minimum) / (30 - minimum).
    float GetReceiveQuality() const;

protected:
    // The outcome of one GenerateData pass before the failure guard.
    enum class Pass { Sample, NoSample, Failed };

    Pass Fill(int* chosen);
    Pass Play(int* chosen);
    bool HandOut(int slot, AudioSample* sample);
    void ReadAhead();
    void SizeBuffer(const ReceiveSlot& slot);
    void NoteLoss();
    void SignalDepthChanged();
    std::shared_ptr<plat::UdpSocket> CurrentSocket();
    // Where the receive rules pause before a read: waits at most `ms`, and no longer than until
    // a datagram is queued or a stop wakes the thread, so a queued datagram is read at once.
    void PauseForDatagram(uint32_t ms);
    // Whether a slot holds a packet not yet handed out.
    bool HoldsPackets() const;
    // A wait of `ms` as written, shortened while `held`: it ends when the next held packet is
    // due (see kPauseAfterPackets).
    uint32_t HeldWait(bool held, uint32_t ms) const;
    // Notes the outcome of a receive made while packets were held: `r` above 0 is a datagram
    // (the pause, if any, is over); otherwise a held packet goes next at the frame pace.
    void NoteHeldReceive(int r) { pacing = r <= 0; }
    // Whether a valid RTP datagram in receiveSlot, from `from`, comes from the call's peer.
    bool FromPeer(const plat::UdpEndpoint& from);
    // At a change of source: drops the packets of other sources from the slots (traced) and
    // fills them anew.
    void DropPacketsNotFrom(const plat::UdpEndpoint& source);
    // A stop of the source thread was asked for (the flag means nothing without the thread).
    bool StopRequested() const { return bSourceThreadRunning.load() && bStopSourceThread.load(); }

    std::atomic<plat::AutoResetEvent*> depthChangedEvent{nullptr};
    std::atomic<plat::AutoResetEvent*> sizedEvent{nullptr};
    std::atomic<uint16_t> receiveBufferDepth{1};
    std::atomic<uint16_t> minReceiveBufferDepth{0};
    plat::WakeEvent socketEvent;
    bool bBufferFilled = false;
    uint16_t lastPlayedSeqNo = 0;
    int32_t playingSlot = -1;
    uint32_t lastGenerateTime = 0;
    ReceiveSlot slots[kSlotCount];
    uint32_t firstPacketTimeout = 3000;
    uint32_t packetMs = 0;         // the sizing's packet duration; 0 before the first datagram
    bool pacing = false;           // held packets flow at the frame pace: nothing arrived in time
    uint32_t lastArrivalTime = 0;  // when the last datagram was taken in
    bool comfortNoiseLast = false; // the last datagram taken in was comfort noise
    std::shared_ptr<plat::UdpSocket> rtpSocket;
    std::shared_ptr<plat::UdpSocket> rtcpSocket;
    bool bOwnsRtpSocket = true;
    uint16_t boundReceivePort = 0;
    uint16_t receivePort = 0;
    ReceiveSlot* receiveSlot = nullptr;
    int32_t lostPackets = 0;
    int32_t lossScore = 0;
    uint32_t lastDepthChangeTime = 0;
    std::atomic<bool> bRunning{false};
    plat::CriticalSection filterMutex;
    plat::CriticalSection socketMutex;
    RTPSourceLatch sourceLatch;
    plat::UdpEndpoint peer;
    int peerPayloadType = -1;
    bool peerChanged = true;

private:
    SocketFactory socketFactory;
};

} // namespace tamsor
