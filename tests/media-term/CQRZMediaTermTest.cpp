#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "media/base/EngineTrace.h"
#include "media/base/RegistryValues.h"
#include "media/devices/WaveAudioSink.h"
#include "media/rtp/RTPAudioSink.h"
#include "media/rtp/RTPAudioSource.h"
#include "media/term/CQRZMediaTerm.h"
#include "media/term/EngineStatistics.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/null/NullAudioBackend.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/net/UdpSocket.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

namespace {

// A media object on the null sound backend with a recording trace log. The object is made
// through the exported factory, as the program makes it.
class MediaTermTest : public ::testing::Test {
protected:
    void SetUp() override {
        media = static_cast<CQRZMediaTerm*>(GetRTPInterface(&log));
        ASSERT_NE(media, nullptr);
    }
    void TearDown() override {
        if (media) {
            media->Release();
        }
        SetEngineTraceLog(nullptr);
    }
    void SetBool(const char* name, bool value) {
        SetRegistryString(registry.Registry(), kRegSettingsKey, name, value ? "true" : "false");
    }
    void SetText(const char* name, const char* value) {
        SetRegistryString(registry.Registry(), kRegSettingsKey, name, value);
    }
    // A local port nobody uses right now.
    static int FreePort() {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        socklen_t len = sizeof(a);
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        close(fd);
        return ntohs(a.sin_port);
    }
    static int UdpFd() { return socket(AF_INET, SOCK_DGRAM, 0); }
    int Address() { return media->SetAddresses("127.0.0.1", FreePort(), FreePort(), &event); }

    RegistrySandbox registry;
    plat::NullAudioBackend backend{50.0};
    plat::ScopedAudioBackend scopedBackend{backend};
    RecordingTraceLog log;
    plat::AutoResetEvent event;
    CQRZMediaTerm* media = nullptr;
};

TEST_F(MediaTermTest, TransmitChainFollowsTheRegistryAndStartsOnce) {
    ASSERT_EQ(Address(), 0);
    ASSERT_EQ(media->SetTransmitCodec(CODEC_G711_ULAW, 20, 0, 0, 0, 0), 0);
    ASSERT_EQ(media->StartTX(-1), 0);
    EXPECT_TRUE(media->IsTransmitRunning());
    EXPECT_TRUE(media->IsTransmitFIRInChain());
    EXPECT_FALSE(media->IsVADInChain());
    EXPECT_EQ(media->TransmitLinkCount(), 4u); // mic, FIR, mixer, encoder, sender
    EXPECT_EQ(media->StartTX(-1), 0);          // already running: nothing changes
    EXPECT_EQ(media->TransmitLinkCount(), 4u);
    EXPECT_EQ(media->StopTX(), 0);
    EXPECT_EQ(media->TransmitLinkCount(), 0u);
    EXPECT_EQ(media->StopTX(), 0);

    // "true" lets the caller's flag put the detector in; no pre-filter.
    SetBool(kRegForceVADOff, true);
    SetBool(kRegMicrophonePreprocess, false);
    ASSERT_EQ(media->SetTransmitCodec(CODEC_G711_ALAW, 20, 0, 1, 0, 0), 0);
    EXPECT_TRUE(media->IsVADInChain());
    ASSERT_EQ(media->StartTX(-1), 0);
    EXPECT_FALSE(media->IsTransmitFIRInChain());
    EXPECT_EQ(media->TransmitLinkCount(), 4u); // mic, VAD, mixer, encoder, sender
    EXPECT_EQ(media->StopTX(), 0);
}

TEST_F(MediaTermTest, ReceiveChainFollowsTheRegistryAndResetsStatisticsEachStart) {
    ASSERT_EQ(Address(), 0);
    ASSERT_EQ(media->SetReceiveCodec(CODEC_G711_ALAW, 20, 0, 0), 0);
    ASSERT_EQ(media->StartRX(-1, 100), 0);
    EXPECT_TRUE(media->IsReceiveRunning());
    EXPECT_EQ(media->ReceiveLinkCount(), 8u); // all nine nodes
    EXPECT_EQ(media->StartRX(-1, 100), 0);
    EXPECT_EQ(media->ReceiveLinkCount(), 8u);
    EXPECT_EQ(media->StopRX(), 0);
    EXPECT_EQ(media->ReceiveLinkCount(), 0u);

    // What a transmission counted (the microphone's bytes) is set back to 0 by the next
    // receive start.
    ASSERT_EQ(media->SetTransmitCodec(CODEC_G711_ULAW, 20, 0, 0, 0, 0), 0);
    ASSERT_EQ(media->StartTX(-1), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (EngineStatistics::BytesCaptured() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // polls, times nothing
    }
    ASSERT_EQ(media->StopTX(), 0);
    ASSERT_GT(EngineStatistics::BytesCaptured(), 0u);

    SetBool(kRegSpeakerPostprocess, false);
    SetBool(kRegLimitVolume, false);
    ASSERT_EQ(media->StartRX(-1, 100), 0);
    EXPECT_EQ(EngineStatistics::BytesCaptured(), 0u);
    EXPECT_FALSE(media->IsReceiveFIRInChain());
    EXPECT_FALSE(media->IsLimiterInChain());
    EXPECT_EQ(media->ReceiveLinkCount(), 6u);
    EXPECT_EQ(media->StopRX(), 0);
}

TEST_F(MediaTermTest, UnsupportedCodecsLeaveNoCoderAndLaterStartsRefuseCleanly) {
    ASSERT_EQ(Address(), 0);
    EXPECT_EQ(media->SetTransmitCodec(CODEC_BY_PAYLOAD_TYPE, 20, 0, 0, 0, 0), -30);
    EXPECT_FALSE(media->HasTransmitEncoder());
    EXPECT_EQ(media->StartTX(-1), -20);
    EXPECT_FALSE(media->IsTransmitRunning());
    EXPECT_EQ(media->TransmitLinkCount(), 0u);

    EXPECT_EQ(media->SetReceiveCodec(9, 20, 0, 0), -30);
    EXPECT_FALSE(media->HasReceiveDecoder());
    EXPECT_EQ(media->StartRX(-1, 100), -10);
    EXPECT_FALSE(media->IsReceiveRunning());
    EXPECT_EQ(media->ReceiveLinkCount(), 0u);

    // The same unsupported codec again is not mistaken for the kept one.
    EXPECT_EQ(media->SetTransmitCodec(CODEC_BY_PAYLOAD_TYPE, 20, 0, 0, 0, 0), -30);
    // A supported codec brings the chains back.
    ASSERT_EQ(media->SetTransmitCodec(CODEC_G711_ULAW, 20, 0, 0, 0, 0), 0);
    ASSERT_EQ(media->SetReceiveCodec(CODEC_BY_PAYLOAD_TYPE, 20, 0, 0), 0);
    EXPECT_EQ(media->StartTX(-1), 0);
    EXPECT_EQ(media->StartRX(-1, 100), 0);
    // Refusing a codec while running stops the chain and leaves it without a coder.
    EXPECT_EQ(media->SetTransmitCodec(7, 20, 0, 0, 0, 0), -30);
    EXPECT_FALSE(media->IsTransmitRunning());
    EXPECT_EQ(media->TransmitLinkCount(), 0u);
}

TEST_F(MediaTermTest, FrameLengthsOutsideOneTo200AreRefusedBeforeAnythingChanges) {
    ASSERT_EQ(media->SetTransmitCodec(CODEC_G711_ULAW, 20, 0, 0, 0, 0), 0);
    for (int bad : {0, -20, 201, 100000}) {
        EXPECT_EQ(media->SetTransmitCodec(CODEC_G711_ALAW, bad, 0, 0, 0, 0), -30);
        EXPECT_EQ(media->SetReceiveCodec(CODEC_G711_ALAW, bad, 0, 0), -30);
    }
    EXPECT_TRUE(media->HasTransmitEncoder());
    EXPECT_TRUE(media->HasReceiveDecoder());
    EXPECT_EQ(media->GetTransmitFrameMs(), 20);
    EXPECT_EQ(media->GetReceiveFrameMs(), 20);
}

TEST_F(MediaTermTest, SameCodecChangesKeepTheRunningChains) {
    ASSERT_EQ(Address(), 0);
    ASSERT_EQ(media->SetReceiveCodec(CODEC_G711_ULAW, 20, 0, 0), 0);
    ASSERT_EQ(media->StartRX(-1, 100), 0);
    EXPECT_EQ(media->SetReceiveCodec(CODEC_G711_ULAW, 40, 0, 0), 0);
    EXPECT_EQ(media->GetReceiveFrameMs(), 20); // ignored while running with that codec

    ASSERT_EQ(media->SetTransmitCodec(CODEC_G711_ULAW, 20, 0, 0, 0, 0), 0);
    ASSERT_EQ(media->StartTX(-1), 0);
    EXPECT_EQ(media->SetTransmitCodec(CODEC_G711_ULAW, 20, 5, 0, 7, 9), 0);
    EXPECT_TRUE(media->IsTransmitRunning());
    // Another law restarts the chain with a new encoder.
    EXPECT_EQ(media->SetTransmitCodec(CODEC_G711_ALAW, 40, 0, 0, 0, 0), 0);
    EXPECT_TRUE(media->IsTransmitRunning());
    EXPECT_EQ(media->GetTransmitFrameMs(), 40);
    EXPECT_EQ(media->TransmitLinkCount(), 4u);
    EXPECT_EQ(media->SetReceiveCodec(CODEC_G711_ALAW, 40, 0, 0), 0);
    EXPECT_TRUE(media->IsReceiveRunning());
    EXPECT_EQ(media->GetReceiveFrameMs(), 40);
}

TEST_F(MediaTermTest, FailedDeviceStartsUnlinkAndAreTraced) {
    plat::FakeClock clock; // the devices wait 1 s before their one retry
    ASSERT_EQ(Address(), 0);
    backend.InjectFault(plat::AudioOp::InOpen, plat::MMSYSERR_ALLOCATED, 2);
    {
        plat::ScopedClock scoped(clock);
        EXPECT_EQ(media->StartTX(-1), -60);
    }
    EXPECT_FALSE(media->IsTransmitRunning());
    EXPECT_EQ(media->TransmitLinkCount(), 0u);
    EXPECT_EQ(log.CountPrefix("CQRZMediaTerm::StartTX (7), result="), 1);
    EXPECT_EQ(media->StartTX(-1), 0); // the device works again
    EXPECT_TRUE(media->IsTransmitRunning());

    backend.InjectFault(plat::AudioOp::OutOpen, plat::MMSYSERR_ALLOCATED, 2);
    {
        plat::ScopedClock scoped(clock);
        EXPECT_EQ(media->StartRX(-1, 100), -80);
    }
    EXPECT_FALSE(media->IsReceiveRunning());
    EXPECT_EQ(media->ReceiveLinkCount(), 0u);
    EXPECT_EQ(log.CountPrefix("CQRZMediaTerm::StartRX"), 0); // receive failures are not traced
    EXPECT_EQ(media->StartRX(-1, 100), 0);
}

TEST_F(MediaTermTest, SpeakerVolumeIsClampedAndPacked) {
    ASSERT_EQ(Address(), 0);
    ASSERT_EQ(media->StartRX(-1, 100), 0);
    uint32_t volume = 0;
    ASSERT_EQ(media->SetSpeakerVolume(-1, 150), 0);
    ASSERT_TRUE(media->GetSpeaker()->GetDeviceVolume(&volume));
    EXPECT_EQ(volume, 0xFFFFFFFFu);
    media->SetSpeakerVolume(-1, 50);
    media->GetSpeaker()->GetDeviceVolume(&volume);
    EXPECT_EQ(volume, 32767u * 0x10001u);
    media->SetSpeakerVolume(-1, -5); // negative means silent, not full
    media->GetSpeaker()->GetDeviceVolume(&volume);
    EXPECT_EQ(volume, 0u);
    // Another device, or a stopped chain: nothing happens.
    media->SetSpeakerVolume(3, 100);
    media->GetSpeaker()->GetDeviceVolume(&volume);
    EXPECT_EQ(volume, 0u);
    media->StopRX();
    EXPECT_EQ(media->SetSpeakerVolume(-1, 100), 0);
}

TEST_F(MediaTermTest, AddressesAreCheckedAndTheSocketIsShared) {
    EXPECT_EQ(media->SetAddresses("999.1.1.1", 4000, 0, &event), -10);
    EXPECT_EQ(media->SetAddresses("not an address", 4000, 0, &event), -10);
    EXPECT_EQ(media->SetAddresses(nullptr, 4000, 0, &event), -10);
    EXPECT_EQ(media->SetAddresses("127.0.0.1", 70000, 0, &event), -10);

    // A port someone else holds cannot be ours.
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    EXPECT_EQ(media->SetAddresses("127.0.0.1", 4000, ntohs(a.sin_port), &event), -20);
    close(fd);

    int local = FreePort();
    EXPECT_EQ(media->SetAddresses("127.0.0.1", 4000, local, &event), 0);
}

TEST_F(MediaTermTest, AnUnusableRemoteAddressStillBindsTheLocalPortAndTheCallHearsThePeer) {
    const int local = FreePort();
    EXPECT_EQ(media->SetAddresses("peer.example.com", 4000, local, &event), -10);
    std::shared_ptr<plat::UdpSocket> socket = media->GetRTPSender()->GetSocket();
    ASSERT_NE(socket, nullptr);
    uint16_t port = 0;
    ASSERT_EQ(socket->GetLocalPort(&port), 0);
    EXPECT_EQ(port, local);
    ASSERT_EQ(media->SetReceiveCodec(CODEC_G711_ULAW, 20, 0, 0), 0);
    ASSERT_EQ(media->StartRX(-1, 100), 0);

    // The peer's 20 ms packets arrive: the receiver sizes its buffer (minimum 15, depth 20)
    // and signals the caller's event, which nothing signalled before.
    EXPECT_EQ(event.Wait(0), plat::WaitResult::Timeout);
    int peer = UdpFd();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(local));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (uint16_t seq = 1; media->GetReceiveQuality() == 1.0f / 30.0f; ++seq) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::vector<uint8_t> packet(172, 0xFF);
        packet[0] = 0x80;
        packet[1] = 0; // PCMU
        packet[2] = static_cast<uint8_t>(seq >> 8);
        packet[3] = static_cast<uint8_t>(seq);
        sendto(peer, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close(peer);
    EXPECT_FLOAT_EQ(media->GetReceiveQuality(), 5.0f / 15.0f);
    EXPECT_EQ(event.Wait(1000), plat::WaitResult::Signalled);
    EXPECT_EQ(log.CountPrefix("RTPAudioSource::ReceiveUDPPacket: !bRunning || !rtpSocket"), 0);
    EXPECT_EQ(log.Count("RTPAudioSink::SetDestination: !ip = peer.example.com(time)"), 1);
    EXPECT_EQ(media->StopRX(), 0);
}

TEST_F(MediaTermTest, AddressesCanBeSetAgainAfterATransmitStopWhileReceiving) {
    // The transmit stop lets go of the sender's socket while the receiver still reads it; the
    // next SetAddresses with the same local port must give the sender a socket again.
    const int local = FreePort();
    ASSERT_EQ(media->SetAddresses("127.0.0.1", 4000, local, &event), 0);
    ASSERT_EQ(media->StartRX(-1, 100), 0);
    ASSERT_EQ(media->StartTX(-1), 0);
    ASSERT_EQ(media->StopTX(), 0);
    EXPECT_EQ(media->GetRTPSender()->GetSocket(), nullptr);
    EXPECT_EQ(media->SetAddresses("127.0.0.1", 4002, local, &event), 0);
    std::shared_ptr<plat::UdpSocket> socket = media->GetRTPSender()->GetSocket();
    ASSERT_NE(socket, nullptr);
    uint16_t port = 0;
    ASSERT_EQ(socket->GetLocalPort(&port), 0);
    EXPECT_EQ(port, local);
    EXPECT_EQ(media->StopRX(), 0);
}

TEST_F(MediaTermTest, ReceiveQualityStaysBetweenZeroAndOne) {
    // Before the receiver has sized its buffer: depth 1, minimum 0.
    EXPECT_FLOAT_EQ(media->GetReceiveQuality(), 1.0f / 30.0f);
}

TEST_F(MediaTermTest, PlayFileNeedsARunningTransmitChainAndALoadableFile) {
    int id = 12345;
    EXPECT_EQ(media->PlayFile("/nonexistent.wav", 1, 100, &id), 0);
    EXPECT_EQ(id, 12345);
    ASSERT_EQ(Address(), 0);
    ASSERT_EQ(media->StartTX(-1), 0);
    EXPECT_EQ(media->PlayFile("/nonexistent.wav", 1, 100, &id), -10);
    EXPECT_EQ(id, 12345);
    EXPECT_EQ(media->PlayCount(), 0u);
    EXPECT_FALSE(media->StopFile(77)); // unknown ids are harmless
}

TEST_F(MediaTermTest, TheReceiverHearsThePeerAndThePayloadTypeTheCallGives) {
    struct Case {
        const char* ip; // with port 5004
        int codec;
        plat::UdpEndpoint peer;
        int payloadType;
    } cases[] = {{"127.0.0.1", CODEC_G711_ULAW, {htonl(INADDR_LOOPBACK), 5004}, 0},
                 {"127.0.0.9", CODEC_G711_ALAW, {htonl(0x7F000009), 5004}, 8},
                 {"peer.example", CODEC_BY_PAYLOAD_TYPE, {0, 5004}, -1}}; // no address: any
    for (const Case& c : cases) {
        ASSERT_EQ(media->SetReceiveCodec(c.codec, 20, 0, 0), 0);
        media->SetAddresses(c.ip, 5004, 0, &event);
        EXPECT_EQ(media->GetRTPReceiver()->GetPeer(), c.peer) << c.ip;
        EXPECT_EQ(media->GetRTPReceiver()->GetPayloadType(), c.payloadType) << c.ip;
    }
}

TEST_F(MediaTermTest, TestsOfTheDevicesRetryTheSpeakerOnce) {
    plat::FakeClock clock;
    plat::ScopedClock scoped(clock);
    EXPECT_TRUE(media->TestSpeaker());
    EXPECT_TRUE(media->TestMicrophone());
    backend.InjectFault(plat::AudioOp::OutOpen, plat::MMSYSERR_ALLOCATED, 1);
    EXPECT_TRUE(media->TestSpeaker());
    EXPECT_EQ(clock.Sleeps(), std::vector<uint32_t>{2000});
    backend.InjectFault(plat::AudioOp::OutOpen, plat::MMSYSERR_ALLOCATED, 2);
    EXPECT_FALSE(media->TestSpeaker());
    backend.InjectFault(plat::AudioOp::InOpen, plat::MMSYSERR_ALLOCATED, 1);
    EXPECT_FALSE(media->TestMicrophone());
}

TEST_F(MediaTermTest, ReleaseWritesTheStatisticsBlock) {
    ASSERT_EQ(Address(), 0);
    ASSERT_EQ(media->StartRX(-1, 100), 0);
    ASSERT_EQ(media->StartTX(-1), 0);
    media->Release(); // stops both running chains first
    media = nullptr;
    std::vector<std::string> lines = log.Lines();
    ASSERT_GE(lines.size(), 11u);
    std::vector<std::string> block(lines.end() - 11, lines.end());
    // The ten lines as they have always been, then the datagrams from other sources.
    EXPECT_EQ(block[0], "*** estadisticas RTP ***(time)");
    EXPECT_EQ(block[1], "RTP recvfrom:0");
    EXPECT_EQ(block[2].rfind("RTP sendto:", 0), 0u);
    EXPECT_EQ(block[3].rfind("RTP WaveOut:", 0), 0u);
    EXPECT_EQ(block[4].rfind("RTP WaveIn:", 0), 0u);
    EXPECT_EQ(block[5], "");
    EXPECT_EQ(block[6], "RTP G729 Decomp:0");
    EXPECT_EQ(block[7], "");
    EXPECT_EQ(block[8], "RTP G729 Comp:0");
    EXPECT_EQ(block[9], "");
    EXPECT_EQ(block[10], "RTP ajenos:0");
}

TEST(MediaTermWithoutTrace, ReleaseWithoutATraceLogWritesNothing) {
    RegistrySandbox registry;
    plat::NullAudioBackend backend;
    plat::ScopedAudioBackend scoped(backend);
    RTPInterface* media = GetRTPInterface(nullptr);
    ASSERT_NE(media, nullptr);
    EXPECT_EQ(EngineTraceLog(), nullptr);
    media->Release();
    SI_puedes_leer_esto_es marker;
    marker.Que_falta_compilar_el_tamsor_dll();
}

} // namespace
