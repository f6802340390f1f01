#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/graph/AudioSink.h"
#include "platform/core/CriticalSection.h"

namespace plat {
class UdpSocket;
}

namespace tamsor {

// The last node of the transmit chain: puts a 12-byte RTP header (version 2) in front of each
// encoded sample and sends it with one datagram to the call's remote address. A silence sample
// sends one comfort-noise packet (payload type 13), then nothing until data comes again.
//
// It creates the call's UDP socket and binds it to the local RTP port. The socket is shared:
// the RTP receiver takes a reference (GetSocket) and receives on it, so the descriptor is closed
// only when both have let it go. "No socket" is a null reference (descriptor -1).
//
// Threads:
// - SetDestination, SetLocalPort, SetTOS, CreateSocket, CloseSocket, GetSocket: the media
//   object's caller. SinkStarted/SinkStopped (and the thread hooks): the thread that starts or
//   stops the chain. RenderAudioSamples: the thread that pushes the transmit chain.
// - filterMutex guards rtpSocket, destAddress, destIp, destPort, bDestinationValid, localPort,
//   bindAddress, tos and bRunning, and is held around each send.
// - seqNo, timestamp, ssrc, bComfortNoiseSent, lastFormatTag and sendBuffer belong to the
//   rendering thread between a start and a stop, and to preparation before it.
// - The library-wide send-failure flag and bytes-sent counter are atomic.
class RTPAudioSink : public AudioSink {
public:
    // Makes the sockets; tests put a fake in its place.
    using SocketFactory = std::function<std::shared_ptr<plat::UdpSocket>()>;

    RTPAudioSink();
    ~RTPAudioSink() override;

    int LoadTraceLevel() override;
    int SinkThreadStarted(AudioThreadHandle thread, uint32_t threadId) override;
    int SinkThreadStopped(AudioThreadHandle thread, uint32_t threadId) override;
    int SinkStarted() override;
    int SinkStopped() override;
    int RenderAudioSamples(AudioSampleList& samples) override;

    // Sets the remote address (dotted IPv4 text) and port and creates the socket when there is
    // none. Returns 0, -10 when the socket cannot be created, -20 when it cannot be bound to
    // the local port. An address that cannot be sent to (not dotted IPv4, 0.0.0.0, broadcast)
    // is accepted, traced once, and nothing is sent to it.
    int SetDestination(const char* address, uint16_t port);
    // 0, or the error of re-creating the socket when the port changes and a socket exists.
    int SetLocalPort(uint16_t port);
    // 0, or the errno of setting the type of service on an existing socket.
    int SetTOS(int tos);
    // The local address the next socket is bound to (network order); 0, the default, is any.
    void SetBindAddress(uint32_t address);
    // Creates and binds a new socket (letting go of the old one). 0; -10 (socket), -20 (bind),
    // or the errno of setting the type of service.
    int CreateSocket();
    int CloseSocket();
    int PrepareSink();
    int UnprepareSink();

    // The socket for the receiver (null when there is none).
    std::shared_ptr<plat::UdpSocket> GetSocket();
    // Takes back a socket this sender made and let go of while the receiver kept it (a stop),
    // when the sender has none: its port is still held, so a new one could not be bound to it.
    // The socket's bound port becomes the local port.
    void AdoptSocket(std::shared_ptr<plat::UdpSocket> socket);
    void SetSocketFactory(SocketFactory factory);

    uint16_t GetSequenceNumber() const { return seqNo; }
    uint32_t GetTimestamp() const { return timestamp; }
    uint32_t GetSSRC() const { return ssrc; }

    // The library's bytes-sent statistic.
    static uint64_t GetBytesSent();
    static void ResetBytesSent();

protected:
    uint32_t destIp = 0;
    std::string destAddress = "127.0.0.1";
    uint16_t destPort = 0;
    bool bDestinationValid = false;
    std::shared_ptr<plat::UdpSocket> rtpSocket;
    uint16_t localPort = 0;
    uint32_t bindAddress = 0;
    uint8_t tos = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    uint16_t seqNo = 0;
    std::vector<uint8_t> sendBuffer;
    bool bRunning = false;
    bool bComfortNoiseSent = false;
    int32_t lastFormatTag = -1;
    plat::CriticalSection filterMutex;

private:
    void SendPacket(size_t length);
    SocketFactory socketFactory;
};

} // namespace tamsor
