#include "media/rtp/RTPAudioSink.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/base/RegistryValues.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"
#include "platform/core/Clock.h"
#include "platform/core/DebugOutput.h"
#include "platform/core/Thread.h"
#include "platform/net/IPv4Address.h"
#include "platform/net/UdpSocket.h"

namespace tamsor {

namespace {

constexpr size_t kHeaderLength = 12;
constexpr uint8_t kComfortNoisePayloadType = 13;
constexpr size_t kComfortNoiseLength = 16;
// Sent for a format without a payload type of its own (the engine's encoders never make one).
constexpr uint8_t kUnknownPayloadType = 96;

std::atomic<bool> bSendFailureReported{false};
std::atomic<uint64_t> bytesSent{0};

// The C library's generator, with state per thread.
thread_local uint32_t randomState = 1;
void SeedRandom(uint32_t seed) {
    randomState = seed;
}
uint32_t NextRandom() {
    randomState = randomState * 214013u + 2531011u;
    return (randomState >> 16) & 0x7FFF;
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void WriteTransmitCodec(const std::string& name) {
    SetRegistryString(kRegSettingsKey, kRegRTPTransmitCodec, name);
}

// Payload type and codec name of a wave format tag.
uint8_t PayloadTypeOf(uint16_t tag, std::string* name) {
    switch (tag) {
    case WAVE_FORMAT_MULAW:
        *name = "G.711 ULaw";
        return 0;
    case WAVE_FORMAT_ALAW:
        *name = "G.711 ALaw";
        return 8;
    case WAVE_FORMAT_G729:
        *name = "G.729";
        return 18;
    case WAVE_FORMAT_G723_53:
        *name = "G.723 5.3kbps";
        return 4;
    case WAVE_FORMAT_G723_63:
        *name = "G.723 6.4kbps";
        return 4;
    default: {
        char text[48];
        std::snprintf(text, sizeof(text), "WAVE_FORMAT %u (ERROR)", static_cast<unsigned>(tag));
        *name = text;
        return kUnknownPayloadType;
    }
    }
}

} // namespace

RTPAudioSink::RTPAudioSink() : socketFactory([] { return std::make_shared<plat::UdpSocket>(); }) {
    SetComponentNameFor("RTPAudioSink", this);
    LoadTraceLevel();
}

RTPAudioSink::~RTPAudioSink() {
    // A sink thread renders through this object's members: stop it before they go.
    AudioSink::StopSinkThread();
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    CloseSocket();
}

int RTPAudioSink::LoadTraceLevel() {
    return LoadTraceLevelFrom("RTPAudioSink");
}

uint64_t RTPAudioSink::GetBytesSent() {
    return bytesSent.load();
}
void RTPAudioSink::ResetBytesSent() {
    bytesSent.store(0);
}

void RTPAudioSink::SetSocketFactory(SocketFactory factory) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    socketFactory = std::move(factory);
}

std::shared_ptr<plat::UdpSocket> RTPAudioSink::GetSocket() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    return rtpSocket;
}

void RTPAudioSink::AdoptSocket(std::shared_ptr<plat::UdpSocket> socket) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    uint16_t bound = 0;
    if (rtpSocket || !socket || socket->GetLocalPort(&bound) != 0) {
        return;
    }
    rtpSocket = std::move(socket);
    localPort = bound;
    plat::DebugOutput("abierta primera refencia al socket\r\n");
}

int RTPAudioSink::CreateSocket() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    Trace(TRACE_ENTRY, "CreateSocket\n");
    if (rtpSocket) {
        CloseSocket();
    }
    std::shared_ptr<plat::UdpSocket> s = socketFactory ? socketFactory() : nullptr;
    int e = s ? s->Open() : ENOMEM;
    if (e != 0) {
        EngineTrace("RTPAudioSink::CreateSocket: !socket, errno=", e);
        return -10;
    }
    plat::DebugOutput("abierta primera refencia al socket\r\n");
    e = s->Bind(bindAddress, localPort);
    if (e != 0) {
        // An unbound socket would send from a port the peer was never told about.
        Trace(TRACE_FAILURE, "CreateSocket : e-bind : 0x%x\n", e);
        EngineTrace("RTPAudioSink::CreateSocket: !bind, errno=", e);
        plat::DebugOutput("cerrada primera refencia al socket\r\n");
        return -20;
    }
    uint16_t bound = 0;
    e = s->GetLocalPort(&bound);
    if (e == 0) {
        SetRegistryDword(kRegSettingsKey, kRegTransmitPort, bound);
    } else {
        Trace(TRACE_FAILURE, "CreateSocket : e-getsockname : %d 0x%x\n", e, e);
    }
    rtpSocket = std::move(s);
    int result = rtpSocket->SetTos(tos);
    if (result != 0) {
        Trace(TRACE_FAILURE, "CreateSocket : e-setsockopt : %d 0x%x\n", result, result);
    }
    Trace(TRACE_ENTRY, "~CreateSocket : %d 0x%x\n", result, result);
    return result;
}

int RTPAudioSink::CloseSocket() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    Trace(TRACE_ENTRY, "CloseSocket\n");
    // Only this sender's reference goes: the receiver may still hold the socket, which closes
    // when it lets go too.
    rtpSocket.reset();
    plat::DebugOutput("cerrada primera refencia al socket\r\n");
    return 0;
}

int RTPAudioSink::SetDestination(const char* address, uint16_t port) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    Trace(TRACE_ENTRY, "SetDestination %s %u\n", address ? address : "", port);
    destAddress = address ? address : "";
    destPort = port;
    uint32_t ip = 0;
    bDestinationValid = plat::ParseIPv4(destAddress.c_str(), &ip) && plat::IsUsableUnicastIPv4(ip);
    destIp = bDestinationValid ? ip : 0;
    if (!bDestinationValid) {
        iTraceFile* log = EngineTraceLog();
        if (log) {
            TraceLogLock lock(log);
            log->Write("RTPAudioSink::SetDestination: !ip = ");
            log->Write(destAddress.c_str());
            log->WriteTime();
            log->NewLine();
        }
    }
    int result = 0;
    if (!rtpSocket) {
        int r = CreateSocket();
        if (r < 0) {
            result = r;
        }
    }
    Trace(TRACE_ENTRY, "~SetDestination : %d 0x%x\n", result, result);
    return result;
}

int RTPAudioSink::SetLocalPort(uint16_t port) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    Trace(TRACE_ENTRY, "SetLocalPort %u : localPort %u\n", port, localPort);
    if (port == localPort) {
        return 0;
    }
    localPort = port;
    if (rtpSocket) {
        CloseSocket();
        int r = CreateSocket();
        if (r != 0) {
            Trace(TRACE_ENTRY, "~SetLocalPort : %d 0x%x\n", r, r);
            return r;
        }
        std::string address = destAddress;
        SetDestination(address.c_str(), destPort);
    }
    return 0;
}

void RTPAudioSink::SetBindAddress(uint32_t address) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    bindAddress = address;
}

int RTPAudioSink::SetTOS(int newTos) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    Trace(TRACE_ENTRY, "SetTOS 0x%x\n", newTos);
    tos = static_cast<uint8_t>(newTos & 0xFF);
    if (rtpSocket) {
        int e = rtpSocket->SetTos(tos);
        if (e != 0) {
            Trace(TRACE_FAILURE, "SetTOS : e-setsockopt 0x%x\n", e);
            EngineTrace("RTPAudioSink::SetTOS: GetLastError=", e);
            return e;
        }
    }
    return 0;
}

int RTPAudioSink::PrepareSink() {
    Trace(TRACE_ENTRY, "PrepareSink\n");
    SeedRandom(plat::TimeMs());
    ssrc = NextRandom();
    timestamp = NextRandom();
    seqNo = static_cast<uint16_t>(NextRandom());
    bComfortNoiseSent = true;
    std::string address;
    uint16_t port;
    {
        std::lock_guard<plat::CriticalSection> guard(filterMutex);
        address = destAddress;
        port = destPort;
    }
    SetRegistryString(kRegSettingsKey, kRegDestinationAddress, address);
    SetRegistryDword(kRegSettingsKey, kRegDestinationPort, port);
    return 0;
}

int RTPAudioSink::UnprepareSink() {
    Trace(TRACE_ENTRY, "UnprepareSink\n");
    SetRegistryString(kRegSettingsKey, kRegDestinationAddress, "");
    SetRegistryDword(kRegSettingsKey, kRegDestinationPort, 0);
    return CloseSocket() < 0 ? -10 : 0;
}

int RTPAudioSink::SinkStarted() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (bRunning) {
        Trace(TRACE_FAILURE, "SinkStarted : e-error : already running\n");
        return -10;
    }
    if (PrepareSink() != 0) {
        return -20;
    }
    bRunning = true;
    return 0;
}

int RTPAudioSink::SinkStopped() {
    int result;
    {
        std::lock_guard<plat::CriticalSection> guard(filterMutex);
        if (!bRunning) {
            Trace(TRACE_FAILURE, "SinkStopped : e-error : not running\n");
            result = -10;
        } else if (UnprepareSink() == 0) {
            bRunning = false;
            result = 0;
        } else {
            result = -20;
        }
    }
    WriteTransmitCodec("");
    lastFormatTag = -1;
    return result;
}

int RTPAudioSink::SinkThreadStarted(AudioThreadHandle thread, uint32_t /*threadId*/) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (thread && !thread->SetPriority(plat::ThreadPriority::TimeCritical)) {
        Trace(TRACE_FAILURE, "SinkThreadStarted : e-SetThreadPriority : %d 0x%x\n", 0, 0);
    }
    if (PrepareSink() != 0) {
        return -10;
    }
    bRunning = true;
    return 0;
}

int RTPAudioSink::SinkThreadStopped(AudioThreadHandle /*thread*/, uint32_t /*threadId*/) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (!bRunning) {
        Trace(TRACE_FAILURE, "SinkThreadStopped : not running\n");
        return -10;
    }
    if (UnprepareSink() != 0) {
        return -20;
    }
    bRunning = false;
    return 0;
}

int RTPAudioSink::RenderAudioSamples(AudioSampleList& samples) {
    Trace(TRACE_ENTRY, "RenderAudioSamples\n");
    if (samples.empty() || !samples.front().first) {
        Trace(TRACE_FAILURE, "~RenderAudioSample : asked to transmit NULL sample\n");
        EngineTrace("RTPAudioSink::RenderAudioSamples: !sample");
        return 0;
    }
    AudioSample* sample = samples.front().first;
    const int n = sample->GetDataSize();
    int d = sample->GetDurationMs();
    if (d <= 0) {
        d = sample->GetSilenceMs();
    }
    Trace(TRACE_DETAIL, "RenderAudioSamples : durationMillisec = %d\n", d);
    timestamp += 8u * static_cast<uint32_t>(d);
    ++seqNo;

    uint8_t payloadType;
    bool marker = false;
    size_t length;
    if (n > 0) {
        marker = bComfortNoiseSent;
        bComfortNoiseSent = false;
        length = static_cast<size_t>(n) + kHeaderLength;
        if (sendBuffer.size() < length) {
            sendBuffer.resize(length);
        }
        std::copy(sample->GetData(), sample->GetData() + n, sendBuffer.begin() + kHeaderLength);
        const uint16_t tag = sample->Format().wFormatTag;
        std::string name;
        payloadType = PayloadTypeOf(tag, &name);
        if (tag != lastFormatTag) {
            lastFormatTag = tag;
            WriteTransmitCodec(name);
        }
    } else {
        if (bComfortNoiseSent) {
            EngineTrace("RTPAudioSink::RenderAudioSamples: !transmitPacket");
            return 0;
        }
        bComfortNoiseSent = true;
        payloadType = kComfortNoisePayloadType;
        length = kComfortNoiseLength;
        if (sendBuffer.size() < length) {
            sendBuffer.resize(length);
        }
        sendBuffer[12] = 0x64;
        sendBuffer[13] = 0;
        sendBuffer[14] = 0;
        sendBuffer[15] = 0;
    }
    uint8_t* h = sendBuffer.data();
    h[0] = 0x80;
    h[1] = static_cast<uint8_t>(payloadType | (marker ? 0x80 : 0));
    Put16(h + 2, seqNo);
    Put32(h + 4, timestamp);
    Put32(h + 8, ssrc);
    SendPacket(length);
    Trace(TRACE_DETAIL, "~RenderAudioSamples : seqno = %d, timeStamp = %d\n", seqNo, timestamp);
    return 0;
}

void RTPAudioSink::SendPacket(size_t length) {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (!rtpSocket || !bDestinationValid) {
        // No socket, or a destination that cannot be sent to (traced when it was set).
        return;
    }
    Trace(TRACE_DETAIL, "RenderAudioSamples : sending %d bytes\n", static_cast<int>(length));
    int error = 0;
    int sent = rtpSocket->SendTo(sendBuffer.data(), length, destIp, destPort, &error);
    if (sent < 0) {
        if (!bSendFailureReported.exchange(true)) {
            iTraceFile* log = EngineTraceLog();
            if (log) {
                char line[64];
                TraceLogLock lock(log);
                log->Write("RTPAudioSink::RenderAudioSamples: !sendto");
                log->WriteTime();
                log->NewLine();
                std::snprintf(line, sizeof(line), "\tWSAGetLastError = %d", error);
                log->Write(line);
                log->NewLine();
                log->Write("\tip = ");
                log->Write(plat::FormatIPv4(destIp).c_str());
                log->NewLine();
                std::snprintf(line, sizeof(line), "\tport = %u", static_cast<unsigned>(destPort));
                log->Write(line);
                log->NewLine();
            }
        }
        return;
    }
    bSendFailureReported.store(false);
    if (static_cast<size_t>(sent) != length) {
        EngineTrace("RTPAudioSink::RenderAudioSamples: no se transmitio el paquete completo");
    }
    bytesSent.fetch_add(static_cast<uint64_t>(sent));
}

} // namespace tamsor
