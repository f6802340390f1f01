#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "media/graph/AudioSink.h"
#include "media/rtp/RTPAudioSink.h"
#include "media/rtp/RTPAudioSource.h"
#include "media/testing/RtpTestSupport.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/testing/FakeClock.h"

using namespace tamsor;

namespace {

// Opens the receive buffer's state to the tests.
class ProbeSource : public RTPAudioSource {
public:
    using RTPAudioSource::bBufferFilled;
    using RTPAudioSource::comfortNoiseLast;
    using RTPAudioSource::lastArrivalTime;
    using RTPAudioSource::lastDepthChangeTime;
    using RTPAudioSource::lastGenerateTime;
    using RTPAudioSource::lastPlayedSeqNo;
    using RTPAudioSource::lossScore;
    using RTPAudioSource::lostPackets;
    using RTPAudioSource::pacing;
    using RTPAudioSource::packetMs;
    using RTPAudioSource::receiveSlot;
    using RTPAudioSource::slots;

    void SetDepths(uint16_t minimum, uint16_t depth) {
        minReceiveBufferDepth.store(minimum);
        receiveBufferDepth.store(depth);
    }
    // Puts a 20 ms u-law datagram with this sequence number into a slot.
    void Put(int slot, uint16_t seq) {
        auto d = MakeRtp(seq, seq * 160u, 77, 0, 160, static_cast<uint8_t>(seq));
        std::memcpy(slots[slot].data, d.data(), d.size());
        slots[slot].length = static_cast<int32_t>(d.size());
        slots[slot].seqNo = seq;
        slots[slot].bFull = true;
    }
};

class RTPAudioSourceTest : public RtpFixture {
protected:
    void SetUp() override {
        RtpFixture::SetUp();
        clockScope = std::make_unique<plat::ScopedClock>(clock);
        source = std::make_unique<ProbeSource>();
        source->SetSocketFactory([] { return std::make_shared<plat::FakeUdpSocket>(); });
        socket = std::make_shared<plat::FakeUdpSocket>();
        socket->Open();
        socket->Bind(htonl(INADDR_LOOPBACK), 40000);
        source->SetReceivePort(socket);
        source->SetDepthChangedEvent(&depthEvent);
        ASSERT_EQ(0, source->SourceStarted());
    }
    void TearDown() override {
        source->SourceStopped();
        source.reset();
        clockScope.reset();
        RtpFixture::TearDown();
    }

    // One GenerateData call: the handed-out sample's sequence number, or -1 for none.
    int Next(int* result = nullptr, AudioSample** keep = nullptr) {
        AudioSample* s = nullptr;
        int r = source->GenerateData(&s);
        if (result) {
            *result = r;
        }
        if (!s) {
            return -1;
        }
        int seq = s->GetRTPHeader() ? s->GetRTPHeader()->sequenceNumber : -2;
        if (keep) {
            *keep = s;
        } else {
            s->Release(nullptr);
        }
        return seq;
    }
    bool DepthSignalled() { return depthEvent.Wait(0) == plat::WaitResult::Signalled; }

    plat::FakeClock clock{100000};
    std::unique_ptr<plat::ScopedClock> clockScope;
    std::unique_ptr<ProbeSource> source;
    std::shared_ptr<plat::FakeUdpSocket> socket;
    plat::AutoResetEvent depthEvent;
};

} // namespace

TEST_F(RTPAudioSourceTest, FirstDatagramSizesTheBuffer) {
    struct Case {
        uint8_t pt;
        size_t payload;
        int minimum, depth;
    } cases[] = {{0, 160, 15, 20}, {8, 80, 17, 23},  {0, 28, 17, 23}, {0, 640, 3, 5},
                 {8, 320, 11, 15}, {96, 88, 11, 15}, {18, 20, 15, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pt " << int(c.pt) << " payload " << c.payload);
        TearDown();
        SetUp();
        EXPECT_FLOAT_EQ(1.0f / 30.0f, source->GetReceiveQuality());
        socket->Queue(MakeRtp(500, 8000, 9, c.pt, c.payload, 0x21, true));
        // After the line naming the source the packet came from.
        const size_t before = log.Lines().size() + 2;
        AudioSample* s = nullptr;
        ASSERT_EQ(500, Next(nullptr, &s));
        EXPECT_EQ(c.minimum, source->GetMinReceiveBufferDepth());
        EXPECT_EQ(c.depth, source->GetReceiveBufferDepth());
        EXPECT_FLOAT_EQ(float(c.depth - c.minimum) / float(30 - c.minimum),
                        source->GetReceiveQuality());
        EXPECT_FALSE(DepthSignalled()); // sizing is not a change
        EXPECT_EQ(before + 1, log.Lines().size());
        EXPECT_EQ("RTPAudioSource::GenerateData: buffer recepcion minimo=" +
                      std::to_string(c.minimum) + "(time)",
                  log.Lines()[before - 1]);
        EXPECT_EQ("RTPAudioSource::GenerateData: buffer recepcion inicial=" +
                      std::to_string(c.depth) + "(time)",
                  log.Lines()[before]);
        ASSERT_TRUE(s->GetRTPHeader());
        EXPECT_EQ(1, s->GetRTPHeader()->marker);
        EXPECT_EQ(9u, s->GetRTPHeader()->ssrc);
        EXPECT_EQ(static_cast<int>(c.payload), s->GetDataSize());
        EXPECT_EQ(0x21, s->GetData()[0]);
        if (c.pt == 0) {
            EXPECT_EQ(WAVE_FORMAT_MULAW, s->Format().wFormatTag);
        } else if (c.pt == 8) {
            EXPECT_EQ(WAVE_FORMAT_ALAW, s->Format().wFormatTag);
        } else if (c.pt == 18) {
            EXPECT_EQ(WAVE_FORMAT_G729, s->Format().wFormatTag);
        } else {
            EXPECT_EQ(WAVE_FORMAT_PCM, s->Format().wFormatTag);
        }
        s->Release(nullptr);
    }
}

TEST_F(RTPAudioSourceTest, NoDatagramForThreeSecondsGivesNoSample) {
    // Each attempt pauses 50 ms, then waits 500 ms for a datagram; attempts go on until one
    // starts 3000 ms after the first began: 7 attempts, 3850 ms.
    const uint32_t start = clock.NowMs();
    int r = 1;
    EXPECT_EQ(-1, Next(&r));
    EXPECT_EQ(0, r);
    EXPECT_EQ(clock.NowMs() - start, 3850u);
    EXPECT_EQ(0, source->GetMinReceiveBufferDepth());
    // Later slots give up once an attempt starts 500 ms after the first: 2 attempts.
    const uint32_t second = clock.NowMs();
    EXPECT_EQ(-1, Next());
    EXPECT_EQ(clock.NowMs() - second, 1100u);
    ExpectPoolBalanced();
}

TEST_F(RTPAudioSourceTest, QueuedDatagramsAreTakenWithoutWaiting) {
    for (uint16_t seq = 1; seq <= 20; ++seq) {
        socket->Queue(MakeRtp(seq, seq * 160u, 9, 0, 160));
    }
    const uint32_t start = clock.NowMs();
    EXPECT_EQ(1, Next()); // fills 13 slots, hands out the first, reads ahead 3 more
    EXPECT_EQ(clock.NowMs(), start);
    EXPECT_TRUE(clock.Sleeps().empty());
    EXPECT_EQ(4u, socket->Pending());
    ExpectPoolBalanced();
}

TEST_F(RTPAudioSourceTest, DatagramsThatAreNotRtpDoNotUseUpTheReceiveTurn) {
    struct Case {
        int junk;        // datagrams that are not RTP, queued first
        bool rtp;        // then one RTP datagram
        int result;      // of the one receive
        size_t pending;  // datagrams left queued
        uint32_t waited; // fake milliseconds the receive took
    };
    const Case cases[] = {
        {0, true, 172, 0, 0}, {3, true, 172, 0, 0},    {63, true, 172, 0, 0},   {64, true, 0, 1, 0},
        {65, false, 0, 1, 0}, {2, false, -10, 0, 500}, {0, false, -10, 0, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.junk << " junk, rtp " << c.rtp);
        for (int i = 0; i < c.junk; ++i) {
            static const std::vector<std::vector<uint8_t>> kinds = {
                {}, std::vector<uint8_t>(11, 0x80), MakeRtp(7, 0, 9, 0, 1100)};
            socket->Queue(kinds[static_cast<size_t>(i) % kinds.size()]);
        }
        if (c.rtp) {
            socket->Queue(MakeRtp(5, 800, 9, 0, 160));
        }
        source->receiveSlot = &source->slots[0];
        const uint32_t start = clock.NowMs();
        EXPECT_EQ(c.result, source->ReceiveUDPPacket());
        EXPECT_EQ(c.waited, clock.NowMs() - start);
        EXPECT_EQ(c.pending, socket->Pending());
        while (socket->Pending() > 0) {
            source->ReceiveUDPPacket(); // empty the queue for the next case
        }
    }
}

TEST_F(RTPAudioSourceTest, ShortWrongVersionAndOversizedDatagramsAreDropped) {
    socket->Queue(std::vector<uint8_t>(11, 0x80)); // shorter than a header
    auto v1 = MakeRtp(1, 0, 9, 0, 628);            // version 1, would size as 80 ms
    v1[0] = 0x40;
    socket->Queue(v1);
    socket->Queue(MakeRtp(2, 0, 9, 0, 1100));        // larger than a slot
    socket->Queue(std::vector<uint8_t>());           // empty
    socket->Queue(MakeRtp(3, 160, 9, 0, 160, 0x44)); // the one real packet
    AudioSample* s = nullptr;
    ASSERT_EQ(3, Next(nullptr, &s));
    EXPECT_EQ(160, s->GetDataSize());
    EXPECT_EQ(0x44, s->GetData()[159]);
    s->Release(nullptr);
    EXPECT_EQ(15, source->GetMinReceiveBufferDepth()); // sized by the real packet
    EXPECT_EQ(0u, socket->Pending());
}

// In order across the 16-bit wrap, nothing is lost or reordered.
TEST_F(RTPAudioSourceTest, SequenceWrapIsSeamless) {
    std::vector<int> sent;
    for (int i = 0; i < 40; ++i) {
        const auto seq = static_cast<uint16_t>(65516 + i);
        sent.push_back(seq);
        socket->Queue(MakeRtp(seq, 1000u + 160u * i, 9, 0, 160));
    }
    std::vector<int> got;
    for (int call = 0; call < 200 && got.size() < sent.size(); ++call) {
        int seq = Next();
        if (seq >= 0) {
            got.push_back(seq);
        }
    }
    EXPECT_EQ(sent, got);
    EXPECT_EQ(0, log.Count("RTP Seq lost: error 1"));
    ExpectPoolBalanced();
}

TEST_F(RTPAudioSourceTest, DropsGrowTheBufferAndSignal) {
    source->SetDepths(15, 20);
    source->bBufferFilled = true;
    source->lastPlayedSeqNo = 65535;
    source->Put(0, 65535); // repeat
    source->Put(1, 65534); // old
    source->Put(2, 200);   // too far ahead (5 x depth)
    source->Put(3, 1);
    source->Put(4, 0); // next after the wrap
    source->Put(5, 2);
    EXPECT_EQ(0, Next());
    EXPECT_EQ(21, source->GetReceiveBufferDepth());
    EXPECT_TRUE(DepthSignalled());
    EXPECT_FALSE(DepthSignalled()); // once
    EXPECT_EQ(0, source->lostPackets);
    EXPECT_EQ(1, Next());
    EXPECT_EQ(2, Next());

    // Never beyond 30 slots.
    source->SetDepths(15, 30);
    source->bBufferFilled = true;
    source->lossScore = 4;
    source->lastPlayedSeqNo = 10;
    source->Put(0, 10);
    source->Put(1, 11);
    source->Put(2, 12);
    source->Put(3, 13);
    EXPECT_EQ(11, Next());
    EXPECT_EQ(30, source->GetReceiveBufferDepth());
    EXPECT_FALSE(DepthSignalled());
    EXPECT_FLOAT_EQ(1.0f, source->GetReceiveQuality());
}

TEST_F(RTPAudioSourceTest, QuietPeriodsShrinkTheBufferNoFasterThanEverySixSeconds) {
    source->SetDepths(15, 17);
    source->bBufferFilled = true;
    source->lastPlayedSeqNo = 99;
    source->lastDepthChangeTime = clock.NowMs();
    uint16_t seq = 100;
    std::vector<uint32_t> shrinkTimes;
    const uint32_t start = clock.NowMs();
    for (int call = 0; call < 200; ++call) { // 20 s of calls 100 ms apart
        for (int slot = 0; slot < 4; ++slot) {
            if (!source->slots[slot].bFull) {
                source->Put(slot, static_cast<uint16_t>(seq + slot));
                break;
            }
        }
        const uint16_t before = source->GetReceiveBufferDepth();
        ASSERT_EQ(seq, Next());
        ++seq;
        if (source->GetReceiveBufferDepth() != before) {
            EXPECT_TRUE(DepthSignalled());
            shrinkTimes.push_back(clock.NowMs() - start);
        }
        clock.Advance(100);
    }
    ASSERT_EQ(2u, shrinkTimes.size()); // 17 -> 16 -> 15, then the minimum holds
    EXPECT_GE(shrinkTimes[0], 6000u);
    EXPECT_GE(shrinkTimes[1] - shrinkTimes[0], 6000u);
    EXPECT_EQ(15, source->GetReceiveBufferDepth());
    EXPECT_FLOAT_EQ(0.0f, source->GetReceiveQuality());

    // A full last slot holds the depth.
    source->SetDepths(15, 16);
    source->lastDepthChangeTime = clock.NowMs() - 60000;
    source->Put(15, 5000);
    source->Put(1, seq);
    source->Put(2, static_cast<uint16_t>(seq + 1));
    source->Put(3, static_cast<uint16_t>(seq + 2));
    EXPECT_EQ(seq, Next());
    EXPECT_EQ(16, source->GetReceiveBufferDepth());
}

TEST_F(RTPAudioSourceTest, NothingToPlayFailsOrResets) {
    source->SetDepths(15, 20);
    source->bBufferFilled = true;
    source->lastPlayedSeqNo = 10;
    source->lostPackets = 0;
    int r = 0;
    EXPECT_EQ(-1, Next(&r)); // an empty buffer while playing takes the failure path
    EXPECT_EQ(-1, r);
    EXPECT_EQ(1, log.Count("RTPAudioSource::GenerateData: exception 1"));

    source->bBufferFilled = true;
    source->lostPackets = 41;
    source->Put(7, 5); // old: dropped, and then nothing is left
    EXPECT_EQ(-1, Next(&r));
    EXPECT_EQ(0, r);
    EXPECT_FALSE(source->bBufferFilled);
    EXPECT_EQ(0, source->lostPackets);
    ExpectPoolBalanced();
}

// When nothing new arrives, the packets left in the slots go on at the frame pace: the first
// two packet durations after the last datagram or hand-out (at once after comfort noise), then
// one per packet duration, through filling; with the slots empty every wait is as written.
TEST_F(RTPAudioSourceTest, HeldPacketsFlowAtTheFramePaceWhileNothingArrives) {
    struct Step {
        int seq;      // handed out (-1: none)
        uint32_t ms;  // how long the call took
        int arriving; // a datagram queued before the call (-1: none)
        uint8_t pt = 0;
    };
    struct Case {
        const char* name;
        uint16_t packetMs;
        bool comfortNoise;
        std::vector<Step> steps;
    } cases[] = {
        {"20 ms packets",
         20,
         false,
         {{10, 40, -1}, {11, 20, -1}, {12, 20, -1}, {13, 20, -1}, {14, 500, -1}, {-1, 1100, -1}}},
        // 80 ms since the last hand-out: the read-ahead reads nothing, the next goes at once.
        {"40 ms packets", 40, false, {{10, 80, -1}, {11, 0, -1}, {12, 40, -1}, {13, 40, -1}}},
        {"after comfort noise", 20, true, {{10, 20, -1}, {11, 20, -1}, {12, 20, -1}}},
        // A datagram ends the pause: the next wait is two packet durations after it.
        {"pause ended", 20, false, {{10, 40, -1}, {11, 20, -1}, {12, 0, 15}, {13, 40, -1}}},
        {"comfort noise arrives", 20, false, {{10, 40, -1}, {11, 0, 15, 13}, {12, 20, -1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        source->SetDepths(15, 20);
        source->packetMs = c.packetMs;
        source->bBufferFilled = true;
        source->lastPlayedSeqNo = 9;
        for (int i = 0; i < 5; ++i) {
            source->Put(i, static_cast<uint16_t>(10 + i));
        }
        source->comfortNoiseLast = c.comfortNoise;
        source->lastGenerateTime = clock.NowMs() - c.packetMs; // one packet budget
        source->lastArrivalTime = clock.NowMs() - c.packetMs - 5;
        for (const Step& step : c.steps) {
            if (step.arriving >= 0) {
                socket->Queue(MakeRtp(static_cast<uint16_t>(step.arriving), step.arriving * 160u,
                                      77, step.pt, step.pt == 13 ? 4 : 160));
            }
            const uint32_t start = clock.NowMs();
            EXPECT_EQ(step.seq, Next());
            EXPECT_EQ(step.ms, clock.NowMs() - start) << "handing out " << step.seq;
        }
        EXPECT_EQ(0, log.Count("RTPAudioSource::GenerateData: exception 1"));
    }
    ExpectPoolBalanced();
}

// A stranger streams first and is taken for the peer behind a NAT; then packets come from the
// peer's own address (or from yet another source, which is refused). Packets are marked by
// their source in their first payload byte.
TEST_F(RTPAudioSourceTest, ThePacketsOfTheOldSourceLeaveTheSlotsWhenTheSourceChanges) {
    const plat::UdpEndpoint peer{htonl(0x7F000001), 5004};
    const plat::UdpEndpoint stranger{htonl(0x7F000002), 7000};
    const plat::UdpEndpoint other{htonl(0x7F000003), 7002};
    struct Case {
        const char* name;
        int accepted;             // the stranger's packets taken in
        int handedOutBefore;      // of them, handed out before the change
        plat::UdpEndpoint second; // where the next packets come from
        uint16_t secondSeq;       // their first sequence number
        const char* handedOut;    // then, by source: 'S' the stranger, 'P' the peer
        int dropped;              // the count traced (0: no line)
    } cases[] = {
        // The peer's numbering lies just behind the stranger's: the two share numbers.
        {"five held", 6, 1, peer, 4, "PPPPPPPPPP", 5},
        {"one held", 2, 1, peer, 4, "PPPPPPPPPP", 1},
        {"none held", 1, 1, peer, 4, "PPPPPPPPPP", 0},
        // Past filling: the peer's numbering is nowhere near the last packet handed out. The
        // stranger's next packet goes out before the peer's first is read.
        {"while playing", 22, 3, peer, 30000, "SPPPPPPPPPP", 18},
        {"another source is refused", 4, 1, other, 4, "SSS", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        source->SetPeer(peer);
        source->SetPayloadType(0);
        // Four packets make no steady stream yet; the fifth is the first taken.
        for (uint16_t seq = 1; seq <= 4 + c.accepted; ++seq) {
            socket->Queue(MakeRtp(seq, seq * 160u, 9, 0, 160, 'S'), stranger);
        }
        for (int i = 0; i < c.handedOutBefore; ++i) {
            ASSERT_EQ(5 + i, Next());
        }
        EXPECT_EQ(c.handedOutBefore > 1, source->bBufferFilled);
        const int count = c.second == peer ? 10 : 3;
        for (int i = 0; i < count; ++i) {
            const auto seq = static_cast<uint16_t>(c.secondSeq + i);
            socket->Queue(MakeRtp(seq, seq * 160u, 77, 0, 160, 'P'), c.second);
        }
        std::string got;
        std::vector<int> seqs;
        for (int call = 0; call < 40; ++call) {
            AudioSample* s = nullptr;
            if (Next(nullptr, &s) >= 0) {
                got += static_cast<char>(s->GetData()[0]);
                seqs.push_back(s->GetRTPHeader()->sequenceNumber);
                s->Release(nullptr);
            }
        }
        EXPECT_EQ(c.handedOut, got);
        EXPECT_TRUE(std::is_sorted(seqs.begin(), seqs.end()));
        EXPECT_EQ(c.dropped ? 1 : 0,
                  log.Count("RTPAudioSource::ReceiveUDPPacket: descartados del origen anterior=" +
                            std::to_string(c.dropped) + "(time)"));
        ExpectPoolBalanced();
    }
}

TEST_F(RTPAudioSourceTest, ComfortNoiseBecomesTwentyMsOfSilence) {
    socket->Queue(MakeRtp(40, 800, 9, 13, 4, 0x64));
    AudioSample* s = nullptr;
    ASSERT_EQ(40, Next(nullptr, &s));
    EXPECT_EQ(0, s->GetDataSize());
    EXPECT_EQ(20, s->GetSilenceMs());
    EXPECT_EQ(WAVE_FORMAT_PCM, s->Format().wFormatTag);
    EXPECT_EQ(13, s->GetRTPHeader()->payloadType);
    s->Release(nullptr);
}

namespace {

// Records what a source pushes.
class CollectSink : public AudioSink {
public:
    ~CollectSink() override { StopSinkThread(); }
    int RenderAudioSamples(AudioSampleList& samples) override {
        std::lock_guard<std::mutex> g(lock);
        for (auto& e : samples) {
            if (e.first && e.first->GetRTPHeader()) {
                seqs.push_back(e.first->GetRTPHeader()->sequenceNumber);
                payloads.emplace_back(e.first->GetData(),
                                      e.first->GetData() + e.first->GetDataSize());
            }
        }
        return 0;
    }
    size_t Count() {
        std::lock_guard<std::mutex> g(lock);
        return seqs.size();
    }
    std::mutex lock;
    std::vector<int> seqs;
    std::vector<std::vector<uint8_t>> payloads;
};

class RTPLoopbackTest : public RtpFixture {};

} // namespace

// Sender to receiver over 127.0.0.1 on the receiver's own socket, through the source thread.
TEST_F(RTPLoopbackTest, SendAndReceiveByteForByte) {
    RTPAudioSink local, remote;
    local.SetBindAddress(htonl(INADDR_LOOPBACK));
    remote.SetBindAddress(htonl(INADDR_LOOPBACK));
    ASSERT_EQ(0, local.SetDestination("127.0.0.1", 9)); // the receiving end's socket
    uint16_t localPort = 0;
    ASSERT_EQ(0, local.GetSocket()->GetLocalPort(&localPort));
    ASSERT_EQ(0, remote.SetDestination("127.0.0.1", localPort));
    ASSERT_EQ(0, remote.StartSink());

    RTPAudioSource receiver;
    receiver.SetReceivePort(local.GetSocket());
    CollectSink collect;
    Connect(&receiver, &collect);
    ASSERT_EQ(0, receiver.StartSourceThread());

    std::vector<std::vector<uint8_t>> payloads;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; collect.Count() < 12 && std::chrono::steady_clock::now() < deadline; ++i) {
        if (i < 60) {
            AudioSample* s = Data(FORMAT_G711_ULAW, 160);
            for (int k = 0; k < 160; ++k) {
                s->GetData()[k] = static_cast<uint8_t>(i * 3 + k);
            }
            payloads.emplace_back(s->GetData(), s->GetData() + 160);
            AudioSampleList list{{s, nullptr}};
            remote.RenderAudioSamples(list);
            s->Release(nullptr);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto stopStart = std::chrono::steady_clock::now();
    EXPECT_EQ(0, receiver.StopSourceThread());
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, std::chrono::milliseconds(1500));
    Disconnect(&receiver, &collect);

    std::lock_guard<std::mutex> g(collect.lock);
    ASSERT_GE(collect.seqs.size(), 12u);
    const int first = collect.seqs[0];
    for (size_t i = 0; i < collect.seqs.size(); ++i) {
        const int index = static_cast<uint16_t>(collect.seqs[i] - first);
        EXPECT_EQ(static_cast<uint16_t>(first + i), collect.seqs[i]) << i;
        // The first packet sent has sequence number first, which is payload 0 (nothing is lost
        // on loopback).
        ASSERT_LT(static_cast<size_t>(index), payloads.size());
        EXPECT_EQ(payloads[static_cast<size_t>(index)], collect.payloads[i]) << i;
    }
    EXPECT_EQ(0, remote.StopSink());
}

// A stop while the receiver waits for its first packet (a 3 s wait) ends the wait at once.
TEST_F(RTPLoopbackTest, StopWakesTheReceiverPromptly) {
    RTPAudioSink sender;
    sender.SetBindAddress(htonl(INADDR_LOOPBACK));
    ASSERT_EQ(0, sender.SetDestination("127.0.0.1", 9));
    RTPAudioSource receiver;
    receiver.SetReceivePort(sender.GetSocket());
    for (int round = 0; round < 2; ++round) { // a second start must wait again
        ASSERT_EQ(0, receiver.StartSourceThread());
        // Lands in a pause before a read in one round and in a read's wait in the other.
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 30 * round));
        EXPECT_TRUE(receiver.IsSourceThreadRunning());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(0, receiver.StopSourceThread());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
        EXPECT_FALSE(receiver.IsSourceThreadRunning());
    }
}
