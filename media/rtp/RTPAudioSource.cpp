#include "media/rtp/RTPAudioSource.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>

#include "media/base/EngineTrace.h"
#include "media/base/RTPPacket.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/Clock.h"
#include "platform/core/DebugOutput.h"
#include "platform/core/Thread.h"
#include "platform/net/IPv4Address.h"
#include "platform/net/UdpSocket.h"

namespace tamsor {

namespace {

constexpr int kHeaderLength = 12;
constexpr uint32_t kLaterPacketTimeoutMs = 500;
constexpr uint32_t kFillPauseMs = 50;
constexpr int kSilenceMs = 20;
constexpr int kComfortNoisePayloadType = 13;
constexpr uint32_t kShrinkQuietSeconds = 5;
// Datagrams that are not RTP, or not from the peer, read on within one receive turn, at most.
constexpr int kMaxRejectedPerTurn = 64;

std::atomic<uint64_t> foreignDatagrams{0};

uint16_t SeqOf(const uint8_t* data) {
    return static_cast<uint16_t>((data[2] << 8) | data[3]);
}

// Whether sequence number a comes before b, modulo 2^16.
bool SeqBefore(uint16_t a, uint16_t b) {
    return static_cast<int16_t>(a - b) < 0;
}

} // namespace

RTPAudioSource::RTPAudioSource()
    : socketFactory([] { return std::make_shared<plat::UdpSocket>(); }) {
    SetComponentNameFor("RTPAudioSource", this);
    SetThreadName("rtp-receive");
    lastGenerateTime = plat::TimeMs();
    lastDepthChangeTime = lastGenerateTime;
}

RTPAudioSource::~RTPAudioSource() {
    Trace(TRACE_ENTRY, "Destructor begin\n");
    // The thread works on this object's members: it must be gone before they are.
    RTPAudioSource::StopSourceThread();
    CloseSockets();
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
}

void RTPAudioSource::SetSocketFactory(SocketFactory factory) {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    socketFactory = std::move(factory);
}

float RTPAudioSource::GetReceiveQuality() const {
    const int minimum = minReceiveBufferDepth.load();
    const int depth = receiveBufferDepth.load();
    return static_cast<float>(depth - minimum) / static_cast<float>(kSlotCount - minimum);
}

// ---- sockets ----

int RTPAudioSource::BindSocketToPort(plat::UdpSocket* socket, uint32_t address, uint16_t port) {
    Trace(TRACE_ENTRY, "BindSocketToPort : socket = %d, port = %u\n", socket ? socket->Fd() : -1,
          port);
    if (!socket || !socket->IsOpen()) {
        Trace(TRACE_FAILURE, "BindSocketToPort : invalid socket value %d\n", -1);
        return -10;
    }
    int e = socket->Bind(address, port);
    if (e != 0) {
        Trace(TRACE_FAILURE, "BindSocketToPort : e-bind : %d, 0x%x\n", e, e);
        return -20;
    }
    return 0;
}

void RTPAudioSource::SetReceivePort(std::shared_ptr<plat::UdpSocket> socket) {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    uint32_t address = 0;
    uint16_t port = 0;
    if (socket) {
        socket->GetLocalAddress(&address, &port);
    }
    boundReceivePort = port;
    Trace(TRACE_ENTRY, "SetReceivePort %u, boundReceivePort = %u\n", port, boundReceivePort);
    CloseSockets();
    rtcpSocket = socketFactory ? socketFactory() : nullptr;
    if (rtcpSocket && rtcpSocket->Open() != 0) {
        rtcpSocket.reset();
    }
    rtpSocket = std::move(socket);
    bOwnsRtpSocket = false;
    plat::DebugOutput("abierta segunda refencia al socket\r\n");
    receivePort = boundReceivePort;
    // The RTCP socket is never read; it only holds the port next to the RTP port.
    if (BindSocketToPort(rtcpSocket.get(), address, static_cast<uint16_t>(boundReceivePort + 1)) !=
        0) {
        Trace(TRACE_FAILURE, "SetReceivePort : error binding RCTP port ! ignoring\n");
    }
}

void RTPAudioSource::SetPeer(plat::UdpEndpoint endpoint) {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    peer = endpoint;
    peerChanged = true;
}

void RTPAudioSource::SetPayloadType(int payloadType) {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    peerPayloadType = payloadType;
    peerChanged = true;
}

plat::UdpEndpoint RTPAudioSource::GetPeer() {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    return peer;
}

int RTPAudioSource::GetPayloadType() {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    return peerPayloadType;
}

uint64_t RTPAudioSource::GetForeignDatagrams() {
    return foreignDatagrams.load();
}

void RTPAudioSource::ResetForeignDatagrams() {
    foreignDatagrams.store(0);
}

std::shared_ptr<plat::UdpSocket> RTPAudioSource::GetSharedSocket() {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    return bOwnsRtpSocket ? nullptr : rtpSocket;
}

int RTPAudioSource::CreateSockets() {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    Trace(TRACE_ENTRY, "CreateSockets\n");
    int result = 0;
    if ((rtpSocket && bOwnsRtpSocket) || rtcpSocket) {
        result = CloseSockets();
    }
    if (bOwnsRtpSocket) {
        rtpSocket = socketFactory ? socketFactory() : nullptr;
        if (rtpSocket && rtpSocket->Open() != 0) {
            rtpSocket.reset();
        }
        if (rtpSocket) {
            rtpSocket->SetDontRoute(true);
        }
    }
    rtcpSocket = socketFactory ? socketFactory() : nullptr;
    if (rtcpSocket && rtcpSocket->Open() != 0) {
        rtcpSocket.reset();
    }
    if (!rtpSocket || !rtcpSocket) {
        Trace(TRACE_FAILURE,
              "CreateSockets : socket create error. rtpSocket = %d, rtcpSocket = %d\n",
              rtpSocket ? rtpSocket->Fd() : -1, rtcpSocket ? rtcpSocket->Fd() : -1);
    }
    return result;
}

int RTPAudioSource::CloseSockets() {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    plat::DebugOutput("cerrada segunda refencia al socket\r\n");
    Trace(TRACE_ENTRY, "CloseSockets\n");
    if (rtpSocket && bOwnsRtpSocket) {
        plat::SleepMs(50);
        // Letting go closes the socket once no wait on it holds a reference any more.
        rtpSocket.reset();
    }
    receivePort = 0;
    rtcpSocket.reset();
    return 0;
}

int RTPAudioSource::PrepareSource() {
    bool haveSocket;
    {
        std::lock_guard<plat::CriticalSection> guard(socketMutex);
        haveSocket = rtpSocket != nullptr;
    }
    if (!haveSocket) {
        CreateSockets();
    }
    return 0;
}

int RTPAudioSource::UnprepareSource() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    return CloseSockets() != 0 ? -10 : 0;
}

int RTPAudioSource::SourceStarted() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (bRunning) {
        Trace(TRACE_FAILURE, "SourceStarted : e-error : already running\n");
        return -10;
    }
    if (PrepareSource() != 0) {
        return -20;
    }
    socketEvent.Reset();
    bRunning = true;
    return 0;
}

int RTPAudioSource::SourceStopped() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (!bRunning) {
        Trace(TRACE_FAILURE, "SourceStopped : e-error : not running\n");
        return -10;
    }
    if (UnprepareSource() != 0) {
        return -20;
    }
    bRunning = false;
    return 0;
}

int RTPAudioSource::SourceThreadStarted(AudioThreadHandle thread, uint32_t /*threadId*/) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (thread && !thread->SetPriority(plat::ThreadPriority::Highest)) {
        Trace(TRACE_FAILURE, "SourceThreadStarted : e-SetThreadPriority : %d 0x%x\n", 0, 0);
    }
    if (PrepareSource() != 0) {
        return -10;
    }
    // A stop of an earlier run left the wake-up set.
    socketEvent.Reset();
    bRunning = true;
    return 0;
}

int RTPAudioSource::SourceThreadStopped(AudioThreadHandle /*thread*/, uint32_t /*threadId*/) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    int result = 0;
    if (UnprepareSource() != 0) {
        Trace(TRACE_FAILURE, "SourceStoppedThread : e-UnprepareSource : %d 0x%x\n", -10, -10);
        result = -10;
    }
    bRunning = false;
    return result;
}

int RTPAudioSource::StopSourceThread() {
    if (IsSourceThreadRunning()) {
        // The wake-up stays set, so every wait of the thread returns at once until it ends.
        bStopSourceThread = true;
        socketEvent.Set();
    }
    return AudioSource::StopSourceThread();
}

// ---- receiving ----

int RTPAudioSource::ReceiveUDPPacket(uint32_t waitMs) {
    std::shared_ptr<plat::UdpSocket> socket = CurrentSocket();
    if (!bRunning || !socket || !receiveSlot) {
        EngineTrace("RTPAudioSource::ReceiveUDPPacket: !bRunning || !rtpSocket");
        return -10;
    }
    // A datagram that is not RTP does not use up the turn: the wait goes on for what is left of
    // it, so a flood of junk cannot keep the call's packets out. At most kMaxRejectedPerTurn
    // of them are read in one turn.
    const uint32_t start = plat::TimeMs();
    for (int rejected = 0; rejected < kMaxRejectedPerTurn; ++rejected) {
        const uint32_t waited = plat::TimeMs() - start;
        const uint32_t left = waited >= waitMs ? 0 : waitMs - waited;
        if (socket->WaitReadable(left, &socketEvent) != plat::SocketWait::Readable) {
            return -10;
        }
        int error = 0;
        plat::UdpEndpoint from;
        int n = socket->ReceiveFrom(receiveSlot->data, kSlotSize, &error, &from);
        if (n < 0) {
            if ((error == EAGAIN || error == EWOULDBLOCK) && !StopRequested()) {
                return -10;
            }
            EngineTrace("RTPAudioSource::ReceiveUDPPacket: !recvfrom (2), WSAGetLastError==",
                        error);
            return -1;
        }
        if (n > kSlotSize) {
            Trace(TRACE_FAILURE,
                  "ReceiveUDPPacket : %d byte datagram dropped, larger than a slot\n", n);
            continue;
        }
        if (n < kHeaderLength || (receiveSlot->data[0] >> 6) != 2) {
            Trace(TRACE_FAILURE, "ReceiveUDPPacket : %d byte datagram dropped, not RTP\n", n);
            continue;
        }
        if (!FromPeer(from)) {
            foreignDatagrams.fetch_add(1);
            continue;
        }
        receiveSlot->length = n;
        receiveSlot->from = from;
        lastArrivalTime = plat::TimeMs();
        comfortNoiseLast = (receiveSlot->data[1] & 0x7F) == kComfortNoisePayloadType;
        return n;
    }
    return 0;
}

bool RTPAudioSource::FromPeer(const plat::UdpEndpoint& from) {
    {
        std::lock_guard<plat::CriticalSection> guard(socketMutex);
        if (peerChanged) {
            sourceLatch.SetPeer(peer, peerPayloadType);
            peerChanged = false;
        }
    }
    const RTPSourceLatch::Outcome outcome = sourceLatch.Check(
        from, receiveSlot->data[1] & 0x7F, SeqOf(receiveSlot->data), plat::TimeMs());
    if (outcome == RTPSourceLatch::Outcome::Latched) {
        const std::string text = "RTPAudioSource::ReceiveUDPPacket: origen RTP " +
                                 plat::FormatIPv4(from.address) + " puerto=";
        EngineTrace(text.c_str(), from.port);
        DropPacketsNotFrom(from);
    }
    return outcome != RTPSourceLatch::Outcome::Refused;
}

void RTPAudioSource::DropPacketsNotFrom(const plat::UdpEndpoint& source) {
    // What the source heard until now left in the slots must not play after the new source's.
    int dropped = 0;
    for (ReceiveSlot& slot : slots) {
        if (slot.bFull && !(slot.from == source)) {
            slot.bFull = false;
            ++dropped;
        }
    }
    if (dropped == 0) {
        return;
    }
    EngineTrace("RTPAudioSource::ReceiveUDPPacket: descartados del origen anterior=", dropped);
    // The new source's packets are gathered as at the start: their numbering is unrelated to
    // the last one handed out.
    bBufferFilled = false;
    lostPackets = 0;
    pacing = false;
}

std::shared_ptr<plat::UdpSocket> RTPAudioSource::CurrentSocket() {
    std::lock_guard<plat::CriticalSection> guard(socketMutex);
    return rtpSocket;
}

void RTPAudioSource::PauseForDatagram(uint32_t ms) {
    std::shared_ptr<plat::UdpSocket> socket = CurrentSocket();
    if (!socket) {
        plat::SleepMs(ms);
        return;
    }
    socket->WaitReadable(ms, &socketEvent);
}

bool RTPAudioSource::HoldsPackets() const {
    const int depth = receiveBufferDepth.load();
    for (int i = 0; i < depth; ++i) {
        if (slots[i].bFull) {
            return true;
        }
    }
    return false;
}

uint32_t RTPAudioSource::HeldWait(bool held, uint32_t ms) const {
    if (!held || packetMs == 0) {
        return ms;
    }
    uint32_t due = lastGenerateTime + packetMs;
    if (!pacing && !comfortNoiseLast) {
        // A pause is nothing new for a while after the later of the two.
        const bool arrivedLater = static_cast<int32_t>(lastArrivalTime - lastGenerateTime) > 0;
        due = (arrivedLater ? lastArrivalTime : lastGenerateTime) + kPauseAfterPackets * packetMs;
    }
    const int32_t left = static_cast<int32_t>(due - plat::TimeMs());
    return left <= 0 ? 0 : std::min(ms, static_cast<uint32_t>(left));
}

void RTPAudioSource::SignalDepthChanged() {
    if (plat::AutoResetEvent* event = depthChangedEvent.load()) {
        event->Set();
    }
}

void RTPAudioSource::NoteLoss() {
    lossScore += 2;
    const uint16_t depth = receiveBufferDepth.load();
    if (lossScore > 5 && depth < kSlotCount) {
        receiveBufferDepth.store(static_cast<uint16_t>(depth + 1));
        SignalDepthChanged();
        lossScore = 0;
    }
}

void RTPAudioSource::SizeBuffer(const ReceiveSlot& slot) {
    const Depths depths = DepthsFor(slot.length, slot.data[1] & 0x7F);
    minReceiveBufferDepth.store(depths.minimum);
    receiveBufferDepth.store(depths.initial);
    packetMs = depths.packetMs;
    WriteTraceMessageUnsigned(
        EngineTraceLog(),
        "RTPAudioSource::GenerateData: buffer recepcion minimo=", minReceiveBufferDepth.load());
    WriteTraceMessageUnsigned(
        EngineTraceLog(),
        "RTPAudioSource::GenerateData: buffer recepcion inicial=", receiveBufferDepth.load());
    if (plat::AutoResetEvent* event = sizedEvent.load()) {
        event->Set();
    }
}

RTPAudioSource::Pass RTPAudioSource::Fill(int* chosen) {
    // Packets left from before this call are not held back for new ones longer than the frame
    // pace; with empty slots every wait is as written.
    const bool held = HoldsPackets();
    int count = 0;
    int i = 0;
    while (i < receiveBufferDepth.load()) {
        if (slots[i].bFull || i == playingSlot) {
            ++i;
            continue;
        }
        receiveSlot = &slots[i];
        const uint32_t t0 = plat::TimeMs();
        const uint32_t limit = HeldWait(held, firstPacketTimeout);
        int r = -10;
        for (;;) {
            const uint32_t spent = plat::TimeMs() - t0;
            const uint32_t left = spent >= limit ? 0 : limit - spent;
            PauseForDatagram(held ? std::min(kFillPauseMs, left) : kFillPauseMs);
            const uint32_t t = plat::TimeMs();
            if (StopRequested()) {
                return Pass::NoSample;
            }
            r = ReceiveUDPPacket(held ? (t - t0 >= limit ? 0 : limit - (t - t0)) : kReceiveWaitMs);
            if (r > 0 || t - t0 >= limit) {
                break;
            }
        }
        if (held) {
            NoteHeldReceive(r);
        }
        firstPacketTimeout = kLaterPacketTimeoutMs;
        if (r <= 0) {
            if (i > 0) {
                break;
            }
            int found = -1;
            for (int j = 0; j < receiveBufferDepth.load(); ++j) {
                if (slots[j].bFull && j != playingSlot) {
                    found = j;
                    break;
                }
            }
            if (found < 0) {
                return Pass::NoSample;
            }
            i = found;
            break;
        }
        slots[i].seqNo = SeqOf(slots[i].data);
        if (minReceiveBufferDepth.load() == 0) {
            SizeBuffer(slots[i]);
        }
        slots[i].bFull = true;
        ++count;
        if ((i > count && count == 2) || count >= (2 * receiveBufferDepth.load()) / 3) {
            break;
        }
        ++i;
    }
    const int depth = receiveBufferDepth.load();
    bBufferFilled = i == depth;

    // The packet to play: the earliest full slot among those with the most packets in the
    // window of `depth` sequence numbers that starts at them.
    int best = -1;
    int bestCount = 0;
    for (int a = 0; a < depth; ++a) {
        if (!slots[a].bFull) {
            continue;
        }
        int windowCount = 0;
        for (int c = 0; c < depth; ++c) {
            if (slots[c].bFull && static_cast<uint16_t>(slots[c].seqNo - slots[a].seqNo) < depth) {
                ++windowCount;
            }
        }
        if (best < 0 || (windowCount > bestCount && SeqBefore(slots[a].seqNo, slots[best].seqNo))) {
            best = a;
            bestCount = windowCount;
        }
    }
    if (best < 0) {
        EngineTrace("RTP Seq lost: error 1");
        return Pass::NoSample;
    }
    *chosen = best;
    return Pass::Sample;
}

RTPAudioSource::Pass RTPAudioSource::Play(int* chosen) {
    int candidate = 0;
    int next = -1;
    for (int i = 0; i < receiveBufferDepth.load(); ++i) {
        if (!slots[i].bFull) {
            continue;
        }
        // Distance ahead of the last packet handed out, modulo 2^16: 0 is a repeat, the upper
        // half lies behind it.
        const uint16_t diff = static_cast<uint16_t>(slots[i].seqNo - lastPlayedSeqNo);
        if (diff == 1) {
            next = i;
            break;
        }
        if (diff == 0 || diff >= 0x8000 || diff >= 5 * receiveBufferDepth.load()) {
            slots[i].bFull = false;
            ++lostPackets;
            NoteLoss();
            continue;
        }
        const uint16_t candidateDiff =
            static_cast<uint16_t>(slots[candidate].seqNo - lastPlayedSeqNo);
        if (!slots[candidate].bFull || candidateDiff >= diff) {
            candidate = i;
        }
    }
    const int depth = receiveBufferDepth.load();
    int buffered = 0;
    for (int i = 0; i < depth && buffered < 5; ++i) {
        if (slots[i].bFull) {
            ++buffered;
        }
    }
    if (buffered < 3) {
        bBufferFilled = false;
    }
    if (next >= 0) {
        *chosen = next;
        return Pass::Sample;
    }
    if (slots[candidate].bFull) {
        *chosen = candidate;
        return Pass::Sample;
    }
    if (lostPackets > 2 * depth) {
        for (int i = 0; i < depth; ++i) {
            slots[i].bFull = false;
        }
        lostPackets = 0;
        bBufferFilled = false;
        NoteLoss();
        return Pass::NoSample;
    }
    return Pass::Failed;
}

void RTPAudioSource::FillSample(RTPPacket* record, AudioSample* sample) {
    const int pt = record->payloadType;
    switch (pt) {
    case 0:
        sample->SetFormat(MakeWaveFormat(FORMAT_G711_ULAW));
        break;
    case 8:
        sample->SetFormat(MakeWaveFormat(FORMAT_G711_ALAW));
        break;
    case 4:
        sample->SetFormat(
            MakeWaveFormat(record->payloadLength % 20 == 0 ? FORMAT_G723 : FORMAT_G723_B));
        break;
    case 18:
        sample->SetFormat(MakeWaveFormat(FORMAT_G729));
        break;
    default:
        break;
    }
    std::memcpy(sample->GetData(), record->payload, static_cast<size_t>(record->payloadLength));
    sample->SetDataSize(record->payloadLength);
    sample->SetSilenceMs(0);
    if (pt == kComfortNoisePayloadType) {
        sample->SetDataSize(0);
        sample->SetSilenceMs(kSilenceMs);
    }
    // The slot is reused for later datagrams: the record keeps pointing at the sample's copy.
    record->packet = nullptr;
    record->payload = sample->GetData();
    sample->SetRTPHeader(record);
}

bool RTPAudioSource::HandOut(int slot, AudioSample* sample) {
    ReceiveSlot& s = slots[slot];
    lastPlayedSeqNo = s.seqNo;
    RTPPacket* record = RTPPacket::CreateRTPPacket(s.data, s.length, this);
    s.bFull = false;
    playingSlot = slot;
    if (!record) {
        return false;
    }
    lostPackets = 0;
    lastPlayedSeqNo = record->sequenceNumber;

    // Quiet rule: after six loss-free seconds with the last slot empty, one slot less.
    const uint32_t now = plat::TimeMs();
    const uint16_t depth = receiveBufferDepth.load();
    const uint16_t minimum = minReceiveBufferDepth.load();
    if (lossScore > 0) {
        --lossScore;
        if (lossScore == 0 && depth > minimum) {
            lastDepthChangeTime = now;
        }
    }
    if (lossScore <= 0 && depth > minimum && !slots[depth - 1].bFull &&
        (now - lastDepthChangeTime) / 1000 > kShrinkQuietSeconds) {
        receiveBufferDepth.store(static_cast<uint16_t>(depth - 1));
        lastDepthChangeTime = now;
        SignalDepthChanged();
    }

    FillSample(record, sample);
    return true;
}

void RTPAudioSource::ReadAhead() {
    const uint32_t now = plat::TimeMs();
    const uint32_t elapsed = now - lastGenerateTime;
    lastGenerateTime = now;
    if (elapsed >= 60) {
        return;
    }
    // Packets still in the slots go on at the frame pace when nothing new arrives; with empty
    // slots every wait is as written.
    const bool held = HoldsPackets();
    int budget;
    if (elapsed >= 20) {
        budget = 1;
    } else if (elapsed >= 10) {
        PauseForDatagram(0);
        budget = 2;
    } else {
        PauseForDatagram(HeldWait(held, 5));
        budget = 3;
    }
    for (int i = 0; i < receiveBufferDepth.load(); ++i) {
        if (slots[i].bFull || i == playingSlot) {
            continue;
        }
        if (StopRequested()) {
            return;
        }
        receiveSlot = &slots[i];
        int r = ReceiveUDPPacket(HeldWait(held, kReceiveWaitMs));
        if (r <= 0 && budget >= 2) {
            PauseForDatagram(HeldWait(held, 5));
            r = ReceiveUDPPacket(HeldWait(held, kReceiveWaitMs));
        }
        if (held) {
            NoteHeldReceive(r);
        }
        if (r <= 0) {
            return;
        }
        slots[i].seqNo = SeqOf(slots[i].data);
        slots[i].bFull = true;
        if (--budget == 0) {
            return;
        }
    }
}

int RTPAudioSource::GenerateData(AudioSample** out) {
    *out = nullptr;
    AudioSample* sample = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&sample, this);
    if (!sample) {
        EngineTrace("RTPAudioSource::GenerateData: exception 1");
        return -1;
    }
    sample->SetFormat(MakeWaveFormat(FORMAT_PCM16));
    sample->SetSilenceMs(kSilenceMs);
    sample->SetDataSize(0);

    Pass pass = Pass::Failed;
    try {
        int chosen = -1;
        pass = bBufferFilled ? Play(&chosen) : Fill(&chosen);
        if (pass == Pass::Sample && !HandOut(chosen, sample)) {
            pass = Pass::Failed;
        }
        if (pass == Pass::Sample) {
            *out = sample;
            ReadAhead();
        }
    } catch (...) {
        if (*out) {
            // The sample was handed out before the failure: keep it, the read-ahead only failed.
            pass = Pass::Sample;
        } else {
            pass = Pass::Failed;
        }
    }
    if (pass == Pass::Sample) {
        return 0;
    }
    sample->Release(this);
    if (pass == Pass::Failed) {
        EngineTrace("RTPAudioSource::GenerateData: exception 1");
        return -1;
    }
    return 0;
}

} // namespace tamsor
