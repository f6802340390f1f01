// G.711 coding throughput, jitter-buffer insert/pull cost, and a replay of synthetic arrival
// traces (60 s each, from fixed seeds) on virtual time, side by side: through our RTP
// receiver, decoder and jitter buffer, and through speexdsp's jitter buffer (jitter_buffer_*,
// 20 ms frames, default settings) fed the same packets. Per trace and system: mean and
// 95th-percentile playout delay (playout time minus send time), the late-loss share (packets
// that arrived but were never played) and the concealed share (repeated or silent frames
// while speech was due).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <speex/speex_jitter.h>

#include "media/base/RTPPacket.h"
#include "media/base/WaveFormat.h"
#include "media/codec/G711Codec.h"
#include "media/codec/GenericRTP2PCMDecoder.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/rtp/RTPAudioSource.h"
#include "media/rtp/RTPAudioStream.h"
#include "media/rtp/RTPJitterBuffer.h"
#include "platform/core/Clock.h"
#include "platform/net/UdpSocket.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

namespace {

// ---- coding and queue costs ----

void BM_G711Encode(benchmark::State& state) {
    G711Codec codec;
    codec.law = static_cast<int32_t>(state.range(0));
    std::vector<uint8_t> pcm(320);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<uint8_t>(i * 37);
    }
    uint8_t out[160];
    for (auto _ : state) {
        int32_t count = 160;
        codec.Encode(pcm.data(), 320, out, &count);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * 320);
    state.SetLabel(codec.law ? "A-law, 20 ms frame" : "u-law, 20 ms frame");
}
BENCHMARK(BM_G711Encode)->Arg(0)->Arg(1);

void BM_G711Decode(benchmark::State& state) {
    G711Codec codec;
    codec.law = static_cast<int32_t>(state.range(0));
    uint8_t in[160];
    for (int i = 0; i < 160; ++i) {
        in[i] = static_cast<uint8_t>(i * 13);
    }
    uint8_t out[320];
    for (auto _ : state) {
        int32_t count = 320;
        codec.Decode(in, 160, out, &count);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * 160);
    state.SetLabel(codec.law ? "A-law, 20 ms frame" : "u-law, 20 ms frame");
}
BENCHMARK(BM_G711Decode)->Arg(0)->Arg(1);

AudioSample* Frame(uint16_t seq, uint32_t ts) {
    AudioSample* s = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&s, nullptr);
    s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
    s->SetDataSize(320);
    auto* h = new RTPPacket;
    h->sequenceNumber = seq;
    h->timestamp = ts;
    h->ssrc = 1;
    s->SetRTPHeader(h);
    return s;
}

// One insert and one pull of a 20 ms frame with five frames queued.
void BM_JitterStreamInsertPull(benchmark::State& state) {
    RTPAudioStream stream(1);
    uint16_t seq = 0;
    for (; seq < 5; ++seq) {
        AudioSample* s = Frame(seq, seq * 160u);
        stream.InsertRTPPacket(s);
        s->Release(nullptr);
    }
    for (auto _ : state) {
        AudioSample* s = Frame(seq, seq * 160u);
        ++seq;
        stream.InsertRTPPacket(s);
        s->Release(nullptr);
        AudioSample* out = nullptr;
        stream.GiveNextRTPPacket(&out);
        if (out) {
            out->Release(nullptr);
        }
    }
}
BENCHMARK(BM_JitterStreamInsertPull);

// ---- trace replay on virtual time ----

constexpr uint32_t kFrameMs = 20;

struct Sent {
    uint16_t seq;
    uint32_t ssrc;
    uint32_t sentMs;
    bool comfortNoise;
};

struct Arrival {
    uint32_t atMs;
    std::vector<uint8_t> datagram;
};

// Virtual time; every 20 ms boundary it passes is a playout tick of the speaker.
class ReplayClock : public plat::Clock {
public:
    uint32_t NowMs() override { return now_; }
    void SleepMs(uint32_t ms) override { AdvanceTo(now_ + ms); }
    void AdvanceTo(uint32_t t) {
        while (nextTick_ <= t) {
            now_ = nextTick_;
            nextTick_ += kFrameMs;
            if (onTick) {
                onTick(now_);
            }
        }
        now_ = std::max(now_, t);
    }
    std::function<void(uint32_t)> onTick;

private:
    uint32_t now_ = 0;
    uint32_t nextTick_ = kFrameMs;
};

// Delivers the trace's datagrams at their arrival times.
class ReplaySocket : public plat::UdpSocket {
public:
    ReplaySocket(std::deque<Arrival>* arrivals, ReplayClock* clock)
        : arrivals_(arrivals), clock_(clock) {}
    int Open() override { return 0; }
    bool IsOpen() const override { return true; }
    int Bind(uint32_t, uint16_t) override { return 0; }
    int GetLocalAddress(uint32_t* a, uint16_t* p) override {
        if (a) {
            *a = 0;
        }
        if (p) {
            *p = 40000;
        }
        return 0;
    }
    int SetDontRoute(bool) override { return 0; }
    plat::SocketWait WaitReadable(uint32_t timeoutMs, const plat::WakeEvent*) override {
        const uint32_t now = clock_->NowMs();
        if (!arrivals_->empty() && arrivals_->front().atMs <= now) {
            return plat::SocketWait::Readable;
        }
        const uint32_t deadline = now + timeoutMs;
        if (!arrivals_->empty() && arrivals_->front().atMs <= deadline) {
            clock_->AdvanceTo(arrivals_->front().atMs);
            return plat::SocketWait::Readable;
        }
        clock_->AdvanceTo(deadline);
        return plat::SocketWait::Timeout;
    }
    int ReceiveFrom(void* buffer, size_t capacity, int* error,
                    plat::UdpEndpoint* /*from*/ = nullptr) override {
        if (arrivals_->empty() || arrivals_->front().atMs > clock_->NowMs()) {
            *error = EAGAIN;
            return -1;
        }
        Arrival a = std::move(arrivals_->front());
        arrivals_->pop_front();
        std::memcpy(buffer, a.datagram.data(), std::min(capacity, a.datagram.size()));
        return static_cast<int>(a.datagram.size());
    }

private:
    std::deque<Arrival>* arrivals_;
    ReplayClock* clock_;
};

std::vector<uint8_t> Datagram(uint16_t seq, uint32_t ts, uint32_t ssrc, bool cn, bool marker) {
    const size_t payload = cn ? 4 : 160;
    std::vector<uint8_t> d(12 + payload, 0xFF);
    d[0] = 0x80;
    d[1] = static_cast<uint8_t>((cn ? 13 : 0) | (marker ? 0x80 : 0));
    d[2] = static_cast<uint8_t>(seq >> 8);
    d[3] = static_cast<uint8_t>(seq);
    for (int i = 0; i < 4; ++i) {
        d[4 + i] = static_cast<uint8_t>(ts >> (24 - 8 * i));
        d[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
    }
    if (cn) {
        d[12] = 0x64;
        d[13] = d[14] = d[15] = 0;
    }
    return d;
}

struct Trace {
    std::string name;
    std::vector<Sent> sent;
    std::deque<Arrival> arrivals;
};

struct TraceOptions {
    double jitterMs = 0;   // half-normal extra delay of this scale
    double gaussianMs = 0; // normal deviation of this standard deviation around a base
    bool spikes = false;
    double burstLoss = 0;    // target loss ratio of a two-state loss model
    double randomLoss = 0;   // independent loss ratio
    double burstRate = 0;    // chance per packet that a burst of 3-10 lost packets starts
    double reorder = 0;      // a packet delayed by 30 ms
    double adjacentSwap = 0; // a packet arrives just after its successor
    double duplicate = 0;
    double drift = 0;
    uint16_t firstSeq = 1000;
    bool ssrcChange = false;
    bool talkspurts = false;
    int frames = 3000; // 60 s
};

Trace MakeTrace(const std::string& name, const TraceOptions& o, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    Trace t;
    t.name = name;
    const double baseDelay = 40 + 3 * o.gaussianMs;
    uint32_t ssrc = 0x1111;
    uint16_t seq = o.firstSeq;
    uint32_t ts = 12345;
    bool lossBad = false;
    int burstLeft = 0;
    double spikeLeft = 0;
    bool talking = true;
    int stateLeft = 50 + static_cast<int>(rng() % 100);
    bool marker = true;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> arrivals;
    for (int i = 0; i < o.frames; ++i) {
        const uint32_t sentMs = static_cast<uint32_t>(1000 + i * kFrameMs * (1.0 + o.drift));
        if (o.ssrcChange && i == o.frames / 2) {
            ssrc = 0x2222;
            seq = static_cast<uint16_t>(rng());
            ts = static_cast<uint32_t>(rng());
            marker = true;
        }
        bool cn = false;
        bool send = true;
        if (o.talkspurts) {
            if (--stateLeft <= 0) {
                talking = !talking;
                stateLeft = talking ? 50 + static_cast<int>(rng() % 100)
                                    : 25 + static_cast<int>(rng() % 75);
                if (!talking) {
                    cn = true; // one comfort-noise packet opens each pause
                } else {
                    marker = true;
                }
            } else if (!talking) {
                send = false;
            }
        }
        if (send) {
            t.sent.push_back(Sent{seq, ssrc, sentMs, cn});
            double delay = baseDelay + std::fabs(normal(rng)) * o.jitterMs;
            if (o.gaussianMs > 0) {
                delay = std::max(0.0, baseDelay + normal(rng) * o.gaussianMs);
            }
            if (o.spikes) {
                if (spikeLeft <= 0 && i % 250 == 125) {
                    spikeLeft = 200 + uni(rng) * 200;
                }
                delay += std::max(0.0, spikeLeft);
                spikeLeft -= kFrameMs;
            }
            if (o.reorder > 0 && uni(rng) < o.reorder) {
                delay += 30;
            }
            if (o.adjacentSwap > 0 && uni(rng) < o.adjacentSwap) {
                delay += kFrameMs + 1;
            }
            bool lost = false;
            if (o.burstLoss > 0) {
                const double enter = o.burstLoss * 0.25 / (1 - o.burstLoss);
                lossBad = lossBad ? uni(rng) > 0.25 : uni(rng) < enter;
                lost = lossBad;
            }
            if (o.randomLoss > 0 && uni(rng) < o.randomLoss) {
                lost = true;
            }
            if (o.burstRate > 0) {
                if (burstLeft == 0 && uni(rng) < o.burstRate) {
                    burstLeft = 3 + static_cast<int>(rng() % 8);
                }
                if (burstLeft > 0) {
                    --burstLeft;
                    lost = true;
                }
            }
            auto d = Datagram(seq, ts, ssrc, cn, marker && !cn);
            if (!cn) {
                marker = false;
            }
            const auto at = static_cast<uint32_t>(sentMs + delay);
            if (!lost) {
                arrivals.emplace_back(at, d);
                if (o.duplicate > 0 && uni(rng) < o.duplicate) {
                    arrivals.emplace_back(at + 5, d);
                }
            }
            ++seq; // one per packet sent; the timestamp runs on through pauses
        }
        ts += 160;
    }
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& a : arrivals) {
        t.arrivals.push_back(Arrival{a.first, std::move(a.second)});
    }
    return t;
}

struct Result {
    double meanDelay = 0, p95Delay = 0, lateLoss = 0, concealment = 0;
};

using Key = std::pair<uint32_t, uint16_t>;

Key KeyOf(const std::vector<uint8_t>& d) {
    return {(uint32_t{d[8]} << 24) | (uint32_t{d[9]} << 16) | (uint32_t{d[10]} << 8) | d[11],
            static_cast<uint16_t>((d[2] << 8) | d[3])};
}

// What one playout tick produced: a new frame, a repeat, or silence.
struct Pull {
    int kind; // 0 new, 1 repeat, 2 silence
    Key key;
};

// What a system played of a trace, tick by tick, and the delay of each new frame.
struct Playout {
    std::vector<Pull> pulls;
    std::vector<double> delays;
    std::set<Key> played;
};

// The figures of a playout against its trace; the same rules for both systems.
Result Score(const Trace& trace, Playout& p) {
    std::map<Key, const Sent*> sentByKey;
    for (const auto& s : trace.sent) {
        sentByKey[{s.ssrc, s.seq}] = &s;
    }
    std::set<Key> arrivedSpeech;
    for (const auto& a : trace.arrivals) {
        if ((a.datagram[1] & 0x7F) != 13) {
            arrivedSpeech.insert(KeyOf(a.datagram));
        }
    }
    Result r;
    std::vector<double>& delays = p.delays;
    if (!delays.empty()) {
        double sum = 0;
        for (double d : delays) {
            sum += d;
        }
        r.meanDelay = sum / static_cast<double>(delays.size());
        std::sort(delays.begin(), delays.end());
        r.p95Delay = delays[static_cast<size_t>(0.95 * static_cast<double>(delays.size() - 1))];
    }
    size_t late = 0;
    for (const auto& k : arrivedSpeech) {
        late += p.played.count(k) == 0;
    }
    r.lateLoss = arrivedSpeech.empty()
                     ? 0
                     : static_cast<double>(late) / static_cast<double>(arrivedSpeech.size());
    // Concealment: repeats, and silences between two new frames of the same source with no
    // comfort-noise packet sent between them, over the ticks from the first to the last new
    // frame.
    const std::vector<Pull>& pulls = p.pulls;
    size_t first = pulls.size(), lastNew = 0;
    for (size_t i = 0; i < pulls.size(); ++i) {
        if (pulls[i].kind == 0) {
            first = std::min(first, i);
            lastNew = i;
        }
    }
    size_t concealed = 0, span = 0;
    Key prev{};
    for (size_t i = first; i <= lastNew && i < pulls.size(); ++i) {
        ++span;
        if (pulls[i].kind == 0) {
            prev = pulls[i].key;
        } else if (pulls[i].kind == 1) {
            ++concealed;
        } else {
            size_t j = i;
            while (j <= lastNew && pulls[j].kind != 0) {
                ++j;
            }
            const auto next = pulls[j].key;
            bool pause = next.first != prev.first;
            for (uint16_t q = static_cast<uint16_t>(prev.second + 1); !pause && q != next.second;
                 ++q) {
                auto it = sentByKey.find({prev.first, q});
                pause = it != sentByKey.end() && it->second->comfortNoise;
                if (static_cast<uint16_t>(q - prev.second) > 2000) {
                    break;
                }
            }
            if (!pause) {
                ++concealed;
            }
        }
    }
    r.concealment = span ? static_cast<double>(concealed) / static_cast<double>(span) : 0;
    return r;
}

// Records a tick's outcome: a new frame (its delay from the send time), a repeat, a silence.
class PlayoutRecorder {
public:
    explicit PlayoutRecorder(const Trace& trace) {
        for (const auto& s : trace.sent) {
            sentMs_[{s.ssrc, s.seq}] = s.sentMs;
        }
    }
    void Silence() { playout.pulls.push_back(Pull{2, {}}); }
    void Frame(const Key& key, uint32_t now, bool repeat) {
        if (repeat || !playout.played.insert(key).second) {
            playout.pulls.push_back(Pull{1, key});
            return;
        }
        playout.pulls.push_back(Pull{0, key});
        auto it = sentMs_.find(key);
        if (it != sentMs_.end()) {
            playout.delays.push_back(static_cast<double>(now - it->second));
        }
    }
    Playout playout;

private:
    std::map<Key, uint32_t> sentMs_;
};

Result ReplayOurs(Trace trace) {
    const Trace original = trace;
    ReplayClock clock;
    plat::ScopedClock scope(clock);
    const uint32_t endMs = trace.arrivals.back().atMs + 2000;

    RTPAudioSource source;
    GenericRTP2PCMDecoder decoder;
    RTPJitterBuffer jitter;
    Connect(&source, &decoder);
    Connect(&decoder, &jitter);
    source.SetReceivePort(std::make_shared<ReplaySocket>(&trace.arrivals, &clock));
    source.SetSocketFactory(
        [&] { return std::make_shared<ReplaySocket>(&trace.arrivals, &clock); });
    source.SourceStarted();
    jitter.StartTransform();

    PlayoutRecorder recorder(original);
    const AudioSample* last = nullptr;
    clock.onTick = [&](uint32_t now) {
        AudioSample* s = nullptr;
        jitter.GenerateData(&s);
        // Comfort noise is a pause, whatever the decoder made of it.
        if (!s || !s->GetRTPHeader() || s->GetDataSize() == 0 ||
            s->GetRTPHeader()->payloadType == 13) {
            recorder.Silence();
            last = nullptr;
        } else {
            const RTPPacket* h = s->GetRTPHeader();
            recorder.Frame({h->ssrc, h->sequenceNumber}, now, s == last);
            last = s;
        }
        if (s) {
            s->Release(nullptr);
        }
    };
    while (clock.NowMs() < endMs) {
        AudioSample* s = nullptr;
        int r = source.GiveNextAudioSample(&s, nullptr);
        if (s) {
            s->Release(nullptr);
        }
        if (r < 0) {
            clock.SleepMs(10);
        }
    }
    clock.onTick = nullptr;
    jitter.StopTransform();
    source.SourceStopped();
    Disconnect(&decoder, &jitter);
    Disconnect(&source, &decoder);
    return Score(original, recorder.playout);
}

// speexdsp's jitter buffer with its defaults, 20 ms frames (160 timestamp units): every
// arriving speech packet is put in as it arrives; every 20 ms one frame is asked for, then the
// buffer ticks. Comfort-noise packets carry no frame and are left out.
Result ReplaySpeex(const Trace& trace) {
    constexpr spx_uint32_t kSpan = 160;
    JitterBuffer* jb = jitter_buffer_init(static_cast<int>(kSpan));
    PlayoutRecorder recorder(trace);
    std::map<uint32_t, Key> keyByTimestamp;
    size_t next = 0;
    const uint32_t endMs = trace.arrivals.back().atMs + 2000;
    char out[1500];
    for (uint32_t now = kFrameMs; now <= endMs; now += kFrameMs) {
        for (; next < trace.arrivals.size() && trace.arrivals[next].atMs <= now; ++next) {
            const std::vector<uint8_t>& d = trace.arrivals[next].datagram;
            if ((d[1] & 0x7F) == 13) {
                continue;
            }
            JitterBufferPacket packet{};
            packet.data = reinterpret_cast<char*>(const_cast<uint8_t*>(d.data() + 12));
            packet.len = static_cast<spx_uint32_t>(d.size() - 12);
            packet.timestamp =
                (uint32_t{d[4]} << 24) | (uint32_t{d[5]} << 16) | (uint32_t{d[6]} << 8) | d[7];
            packet.span = kSpan;
            packet.sequence = static_cast<spx_uint16_t>((d[2] << 8) | d[3]);
            keyByTimestamp[packet.timestamp] = KeyOf(d);
            jitter_buffer_put(jb, &packet);
        }
        JitterBufferPacket packet{};
        packet.data = out;
        packet.len = sizeof out;
        spx_int32_t offset = 0;
        if (jitter_buffer_get(jb, &packet, kSpan, &offset) == JITTER_BUFFER_OK) {
            auto it = keyByTimestamp.find(packet.timestamp);
            if (it != keyByTimestamp.end()) {
                recorder.Frame(it->second, now, false);
            } else {
                recorder.Silence();
            }
        } else {
            recorder.Silence(); // missing: the decoder conceals it
        }
        jitter_buffer_tick(jb);
    }
    jitter_buffer_destroy(jb);
    return Score(trace, recorder.playout);
}

void PrintReplayTable() {
    struct Named {
        const char* name;
        TraceOptions o;
    };
    std::vector<Named> traces;
    traces.push_back({"clean", {}});
    TraceOptions o;
    o.gaussianMs = 20;
    traces.push_back({"Gaussian jitter 20 ms", o});
    o.gaussianMs = 60;
    traces.push_back({"Gaussian jitter 60 ms", o});
    o = {};
    o.randomLoss = 0.05;
    traces.push_back({"5 % random loss", o});
    o = {};
    o.burstRate = 0.01;
    traces.push_back({"loss bursts of 3-10", o});
    o = {};
    o.adjacentSwap = 0.02;
    traces.push_back({"2 % adjacent reordering", o});
    o = {};
    o.drift = -0.005;
    traces.push_back({"sender clock 0.5 % fast", o});
    o.drift = 0.005;
    traces.push_back({"sender clock 0.5 % slow", o});
    o = {};
    o.talkspurts = true;
    traces.push_back({"talk spurts + comfort noise", o});
    // Further cases of our own.
    o = {};
    o.spikes = true;
    traces.push_back({"delay spikes 200-400 ms", o});
    o = {};
    o.duplicate = 0.05;
    traces.push_back({"duplicates 5 %", o});
    o = {};
    o.firstSeq = 65500;
    traces.push_back({"sequence from 65500", o});
    o = {};
    o.ssrcChange = true;
    traces.push_back({"SSRC change", o});

    std::printf("\nJitter replay, 60 s per trace, virtual time: ours (receiver + decoder + jitter "
                "buffer) | speexdsp jitter buffer (defaults, 20 ms)\n");
    std::printf("%-28s %7s %7s %7s %7s | %7s %7s %7s %7s\n", "trace", "mean", "p95", "late",
                "concl", "mean", "p95", "late", "concl");
    std::printf("%-28s %7s %7s %7s %7s | %7s %7s %7s %7s\n", "", "ms", "ms", "%", "%", "ms", "ms",
                "%", "%");
    unsigned seed = 1;
    for (const auto& t : traces) {
        const Trace trace = MakeTrace(t.name, t.o, seed++);
        const Result ours = ReplayOurs(trace);
        const Result speex = ReplaySpeex(trace);
        std::printf("%-28s %7.1f %7.1f %7.2f %7.2f | %7.1f %7.1f %7.2f %7.2f\n", t.name,
                    ours.meanDelay, ours.p95Delay, 100 * ours.lateLoss, 100 * ours.concealment,
                    speex.meanDelay, speex.p95Delay, 100 * speex.lateLoss, 100 * speex.concealment);
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    RegistrySandbox registry;
    AudioSampleManager::Init();
    PrintReplayTable();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    AudioSampleManager::Shutdown();
    return 0;
}
