#include <arpa/inet.h>
#include <fcntl.h>

#include <memory>

#include "media/rtp/RTPAudioSink.h"
#include "media/rtp/RTPAudioSource.h"
#include "media/testing/RtpTestSupport.h"

using namespace tamsor;

namespace {

uint16_t Seq(const std::vector<uint8_t>& d) {
    return static_cast<uint16_t>((d[2] << 8) | d[3]);
}
uint32_t Be32(const std::vector<uint8_t>& d, size_t at) {
    return (uint32_t{d[at]} << 24) | (uint32_t{d[at + 1]} << 16) | (uint32_t{d[at + 2]} << 8) |
           d[at + 3];
}

class RTPAudioSinkTest : public RtpFixture {
protected:
    void SetUp() override {
        RtpFixture::SetUp();
        sink = std::make_unique<RTPAudioSink>();
        sink->SetSocketFactory([this] {
            auto s = std::make_shared<plat::FakeUdpSocket>();
            s->openError = nextOpenError;
            s->bindError = nextBindError;
            made.push_back(s);
            return s;
        });
    }
    void TearDown() override {
        sink.reset();
        RtpFixture::TearDown();
    }

    // Renders one sample and releases the test's reference.
    void Render(AudioSample* s) {
        AudioSampleList list{{s, nullptr}};
        EXPECT_EQ(0, sink->RenderAudioSamples(list));
        s->Release(nullptr);
    }
    std::vector<plat::FakeUdpSocket::Sent> Sent() { return made.back()->SentDatagrams(); }

    std::unique_ptr<RTPAudioSink> sink;
    std::vector<std::shared_ptr<plat::FakeUdpSocket>> made;
    int nextOpenError = 0;
    int nextBindError = 0;
};

} // namespace

TEST_F(RTPAudioSinkTest, HeaderBytesForDataAndComfortNoise) {
    ASSERT_EQ(0, sink->SetDestination("127.0.0.1", 5004));
    ASSERT_EQ(0, sink->StartSink());
    const uint16_t seq0 = sink->GetSequenceNumber();
    const uint32_t ts0 = sink->GetTimestamp();
    EXPECT_LE(sink->GetSSRC(), 0x7FFFu);

    Render(Data(FORMAT_G711_ULAW, 160, 0x33));
    Render(Data(FORMAT_G711_ULAW, 160, 0x34));
    Render(Silence(20));
    Render(Silence(20));
    Render(Silence(40));
    Render(Data(FORMAT_G711_ULAW, 160, 0x35));

    auto sent = Sent();
    ASSERT_EQ(4u, sent.size());
    // The first data packet after a start carries the marker.
    const auto& first = sent[0].bytes;
    ASSERT_EQ(172u, first.size());
    EXPECT_EQ(0x80, first[0]);
    EXPECT_EQ(0x80, first[1]); // marker, payload type 0
    EXPECT_EQ(static_cast<uint16_t>(seq0 + 1), Seq(first));
    EXPECT_EQ(ts0 + 160, Be32(first, 4));
    EXPECT_EQ(sink->GetSSRC(), Be32(first, 8));
    EXPECT_EQ(0x33, first[12]);
    EXPECT_EQ(htonl(INADDR_LOOPBACK), sent[0].address);
    EXPECT_EQ(5004, sent[0].port);

    EXPECT_EQ(0x00, sent[1].bytes[1]); // no marker on the next one

    // One comfort-noise packet for the first silence sample.
    const auto& cn = sent[2].bytes;
    const std::vector<uint8_t> cnPayload{0x64, 0, 0, 0};
    ASSERT_EQ(16u, cn.size());
    EXPECT_EQ(0x80, cn[0]);
    EXPECT_EQ(13, cn[1]);
    EXPECT_EQ(static_cast<uint16_t>(seq0 + 3), Seq(cn));
    EXPECT_EQ(ts0 + 480, Be32(cn, 4));
    EXPECT_EQ(cnPayload, std::vector<uint8_t>(cn.begin() + 12, cn.end()));
    EXPECT_EQ(2, log.Count("RTPAudioSink::RenderAudioSamples: !transmitPacket"));

    // Data again: marker set, sequence k + 1 = 4 above the last data packet, timestamp moved
    // by the silence too.
    const auto& again = sent[3].bytes;
    EXPECT_EQ(0x80, again[1]);
    EXPECT_EQ(static_cast<uint16_t>(Seq(sent[1].bytes) + 4), Seq(again));
    EXPECT_EQ(Be32(sent[1].bytes, 4) + 8 * (20 + 20 + 40 + 20), Be32(again, 4));
    EXPECT_GE(RTPAudioSink::GetBytesSent(), 172u * 3 + 16u);
}

TEST_F(RTPAudioSinkTest, MarkerCodecNameAndStartStop) {
    ASSERT_EQ(0, sink->SetDestination("127.0.0.1", 5004));
    ASSERT_EQ(0, sink->StartSink());
    // Silence before any data sends nothing.
    Render(Silence(20));
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(1, log.Count("RTPAudioSink::RenderAudioSamples: !transmitPacket"));
    Render(Data(FORMAT_G711_ALAW, 160));
    EXPECT_EQ("G.711 ALaw", Setting(kRegRTPTransmitCodec));
    EXPECT_EQ("127.0.0.1", Setting(kRegDestinationAddress));
    EXPECT_EQ(5004u, GetRegistryDword(kRegSettingsKey, kRegDestinationPort, 1));
    SetSetting(kRegRTPTransmitCodec, "marker");
    Render(Data(FORMAT_G711_ALAW, 160));
    EXPECT_EQ("marker", Setting(kRegRTPTransmitCodec)); // same tag: not written again
    auto sent = Sent();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(0x88, sent[0].bytes[1]); // marker + payload type 8
    EXPECT_EQ(0x08, sent[1].bytes[1]);

    EXPECT_EQ(0, sink->StopSink());
    EXPECT_EQ("", Setting(kRegRTPTransmitCodec));
    EXPECT_EQ("", Setting(kRegDestinationAddress));
    EXPECT_EQ(nullptr, sink->GetSocket()); // the stop let go of the socket

    // A restart without a new destination sends nothing, but numbering goes on.
    ASSERT_EQ(0, sink->StartSink());
    const uint16_t seq = sink->GetSequenceNumber();
    Render(Data(FORMAT_G711_ULAW, 160));
    EXPECT_EQ(static_cast<uint16_t>(seq + 1), sink->GetSequenceNumber());
    EXPECT_EQ(2u, Sent().size());
    EXPECT_EQ("G.711 ULaw", Setting(kRegRTPTransmitCodec));

    // A missing sample.
    AudioSampleList empty;
    EXPECT_EQ(0, sink->RenderAudioSamples(empty));
    EXPECT_EQ(1, log.Count("RTPAudioSink::RenderAudioSamples: !sample"));
    EXPECT_EQ(0, sink->StopSink());
    ExpectPoolBalanced();
}

TEST_F(RTPAudioSinkTest, SocketFailuresAreReportedBySetDestination) {
    nextOpenError = EMFILE;
    EXPECT_EQ(-10, sink->SetDestination("127.0.0.1", 5004));
    EXPECT_EQ(nullptr, sink->GetSocket());
    EXPECT_EQ(1, log.CountPrefix("RTPAudioSink::CreateSocket: !socket, errno="));

    nextOpenError = 0;
    nextBindError = EADDRINUSE;
    EXPECT_EQ(-20, sink->SetDestination("127.0.0.1", 5004));
    EXPECT_EQ(nullptr, sink->GetSocket()); // no unbound socket is kept
    EXPECT_EQ(1, log.CountPrefix("RTPAudioSink::CreateSocket: !bind, errno="));

    nextBindError = 0;
    EXPECT_EQ(0, sink->SetDestination("127.0.0.1", 5004));
    ASSERT_NE(nullptr, sink->GetSocket());

    // SetLocalPort: the same port changes nothing; a new one re-creates the socket and reports
    // a failure to bind it.
    EXPECT_EQ(0, sink->SetLocalPort(0));
    EXPECT_EQ(3u, made.size());
    nextBindError = EACCES;
    EXPECT_EQ(-20, sink->SetLocalPort(8000));
    EXPECT_EQ(nullptr, sink->GetSocket());
}

TEST_F(RTPAudioSinkTest, UnusableDestinationSendsNothingButNumberingAdvances) {
    ASSERT_EQ(0, sink->StartSink());
    for (const char* bad : {"0.0.0.0", "255.255.255.255", "999.1.1.1", "127.1", "peer.example"}) {
        SCOPED_TRACE(bad);
        const int before = log.CountPrefix("RTPAudioSink::SetDestination: !ip = ");
        EXPECT_EQ(0, sink->SetDestination(bad, 5004));
        EXPECT_EQ(before + 1, log.CountPrefix("RTPAudioSink::SetDestination: !ip = "));
        const uint16_t seq = sink->GetSequenceNumber();
        const uint32_t ts = sink->GetTimestamp();
        Render(Data(FORMAT_G711_ULAW, 160));
        EXPECT_EQ(static_cast<uint16_t>(seq + 1), sink->GetSequenceNumber());
        EXPECT_EQ(ts + 160, sink->GetTimestamp());
        EXPECT_TRUE(Sent().empty());
    }
    EXPECT_EQ(0, sink->SetDestination("127.0.0.1", 5004));
    Render(Data(FORMAT_G711_ULAW, 160));
    EXPECT_EQ(1u, Sent().size());
    EXPECT_EQ(0, sink->StopSink());
}

TEST_F(RTPAudioSinkTest, OneMessagePerRunOfFailedSends) {
    ASSERT_EQ(0, sink->SetDestination("127.0.0.1", 5004));
    ASSERT_EQ(0, sink->StartSink());
    // The flag is library-wide: clear it with one good send first.
    Render(Data(FORMAT_G711_ULAW, 160));
    made.back()->sendError = ENOBUFS;
    for (int i = 0; i < 10; ++i) {
        Render(Data(FORMAT_G711_ULAW, 160));
    }
    EXPECT_EQ(1, log.Count("RTPAudioSink::RenderAudioSamples: !sendto(time)"));
    EXPECT_EQ(1, log.Count("\tWSAGetLastError = " + std::to_string(ENOBUFS)));
    EXPECT_EQ(1, log.Count("\tip = 127.0.0.1"));
    EXPECT_EQ(1, log.Count("\tport = 5004"));
    made.back()->sendError = 0;
    Render(Data(FORMAT_G711_ULAW, 160)); // re-arms
    made.back()->sendError = ENOBUFS;
    Render(Data(FORMAT_G711_ULAW, 160));
    EXPECT_EQ(2, log.Count("RTPAudioSink::RenderAudioSamples: !sendto(time)"));
    made.back()->sendError = 0;
    EXPECT_EQ(0, sink->StopSink());
}

// A real socket on 127.0.0.1: the datagram that arrives is the header plus the sample's bytes.
TEST_F(RTPAudioSinkTest, LoopbackDatagramByteForByte) {
    RTPAudioSink real;
    real.SetBindAddress(htonl(INADDR_LOOPBACK));
    plat::UdpSocket peer;
    ASSERT_EQ(0, peer.Open());
    ASSERT_EQ(0, peer.Bind(htonl(INADDR_LOOPBACK), 0));
    uint16_t port = 0;
    ASSERT_EQ(0, peer.GetLocalPort(&port));
    ASSERT_EQ(0, real.SetDestination("127.0.0.1", port));
    ASSERT_EQ(0, real.SetTOS(0xB8));
    ASSERT_EQ(0, real.StartSink());
    AudioSample* s = Data(FORMAT_G711_ULAW, 160);
    for (int i = 0; i < 160; ++i) {
        s->GetData()[i] = static_cast<uint8_t>(i * 7);
    }
    AudioSampleList list{{s, nullptr}};
    ASSERT_EQ(0, real.RenderAudioSamples(list));

    std::vector<uint8_t> expected(172);
    expected[0] = 0x80;
    expected[1] = 0x80;
    const uint16_t seq = real.GetSequenceNumber();
    const uint32_t ts = real.GetTimestamp();
    const uint32_t ssrc = real.GetSSRC();
    expected[2] = static_cast<uint8_t>(seq >> 8);
    expected[3] = static_cast<uint8_t>(seq);
    for (int i = 0; i < 4; ++i) {
        expected[4 + i] = static_cast<uint8_t>(ts >> (24 - 8 * i));
        expected[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
    }
    std::copy(s->GetData(), s->GetData() + 160, expected.begin() + 12);
    s->Release(nullptr);

    ASSERT_EQ(plat::SocketWait::Readable, peer.WaitReadable(5000, nullptr));
    std::vector<uint8_t> got(2000);
    int error = 0;
    int n = peer.ReceiveFrom(got.data(), got.size(), &error);
    ASSERT_EQ(172, n);
    got.resize(172);
    EXPECT_EQ(expected, got);
    uint16_t transmitPort =
        static_cast<uint16_t>(GetRegistryDword(kRegSettingsKey, kRegTransmitPort, 0));
    uint16_t bound = 0;
    ASSERT_EQ(0, real.GetSocket()->GetLocalPort(&bound));
    EXPECT_EQ(bound, transmitPort);
    int tos = 0;
    socklen_t tosSize = sizeof(tos);
    ASSERT_EQ(0, getsockopt(real.GetSocket()->Fd(), IPPROTO_IP, IP_TOS, &tos, &tosSize));
    EXPECT_EQ(0xB8, tos);
    EXPECT_EQ(0, real.StopSink());
}

// The sender and receiver share the socket: a stop of the sender leaves it open for the
// receiver, and it closes when the receiver lets go too.
TEST_F(RTPAudioSinkTest, SocketClosesOnlyWhenBothLetGo) {
    RTPAudioSink real;
    real.SetBindAddress(htonl(INADDR_LOOPBACK));
    ASSERT_EQ(0, real.SetDestination("127.0.0.1", 9));
    std::shared_ptr<plat::UdpSocket> held = real.GetSocket();
    ASSERT_TRUE(held);
    const int fd = held->Fd();
    ASSERT_GE(fd, 0);
    std::weak_ptr<plat::UdpSocket> weak = held;
    held.reset();
    auto receiver = std::make_unique<RTPAudioSource>();
    receiver->SetReceivePort(real.GetSocket());
    ASSERT_EQ(0, real.StartSink());
    ASSERT_EQ(0, real.StopSink());
    EXPECT_EQ(nullptr, real.GetSocket());
    ASSERT_FALSE(weak.expired());
    EXPECT_NE(-1, fcntl(fd, F_GETFD));
    receiver.reset();
    EXPECT_TRUE(weak.expired());
}
