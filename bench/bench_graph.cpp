// Cost of each signal-processing stage per 20 ms frame (160 16-bit values at 8 kHz), and the
// number of heap allocations per frame once the sample pool is warm (should be 0).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "media/dsp/FIRTables.h"
#include "media/dsp/FIRTransformer.h"
#include "media/dsp/Limiter.h"
#include "media/dsp/PCM16.h"
#include "media/dsp/PCMMixer.h"
#include "media/dsp/PCMVolumeMaximizer.h"
#include "media/dsp/VAD.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/FixedSizeAudioBuffer.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

namespace {
std::atomic<long> g_allocations{0};
}

// Counts every allocation of the process; the replaced new and delete pair malloc with free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

constexpr int kValues = 160;

RegistrySandbox& Registry() {
    static RegistrySandbox sandbox;
    return sandbox;
}

AudioSample* Frame(int16_t amplitude) {
    AudioSample* s = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&s, nullptr);
    s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
    uint32_t seed = 12345;
    for (int i = 0; i < kValues; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int noise = static_cast<int>((seed >> 16) % 2001) - 1000;
        WritePCM16(s->GetData() + 2 * i, static_cast<int16_t>(noise * amplitude / 1000));
    }
    s->SetDataSize(2 * kValues);
    return s;
}

// Runs the body a few times to warm the pool, then times it and counts allocations.
template <typename Body> void Measure(benchmark::State& state, Body body) {
    for (int i = 0; i < 16; ++i) {
        body();
    }
    const long before = g_allocations.load();
    for (auto _ : state) {
        body();
    }
    state.counters["allocs_per_frame"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_FIR(benchmark::State& state) {
    Registry();
    FIRTransformer fir;
    fir.SetCoefficients(kFIRTableA, kFIRTaps, 16);
    AudioSample* in = Frame(10000);
    AudioSampleList list;
    list.reserve(1);
    list.emplace_back(in, nullptr);
    Measure(state, [&] {
        AudioSample* out = nullptr;
        fir.TransformAudioSamples(list, &out);
        out->Release(nullptr);
    });
    in->Release(nullptr);
}
BENCHMARK(BM_FIR);

void BM_Limiter(benchmark::State& state) {
    Registry();
    Limiter limiter(-8.0, 0.075, -0.00075);
    AudioSample* in = Frame(30000); // loud: the attenuation is at work
    AudioSampleList list;
    list.reserve(1);
    list.emplace_back(in, nullptr);
    Measure(state, [&] {
        AudioSample* out = nullptr;
        limiter.TransformAudioSamples(list, &out);
        out->Release(nullptr);
    });
    in->Release(nullptr);
}
BENCHMARK(BM_Limiter);

void BM_Maximizer(benchmark::State& state) {
    Registry();
    PCMVolumeMaximizer maximizer;
    maximizer.SetPercentile(95.0);
    maximizer.SetMaximumAmplification(800);
    AudioSample* original = Frame(2000);
    AudioSample* in = Frame(2000);
    AudioSampleList list;
    list.reserve(1);
    list.emplace_back(in, nullptr);
    Measure(state, [&] {
        // Fresh data each time (the stage works in place); the copy is part of the figure.
        std::memcpy(in->GetData(), original->GetData(), 2 * kValues);
        AudioSample* out = nullptr;
        maximizer.TransformAudioSamples(list, &out);
        out->Release(nullptr);
    });
    in->Release(nullptr);
    original->Release(nullptr);
}
BENCHMARK(BM_Maximizer);

void BM_VAD(benchmark::State& state) {
    Registry();
    VAD vad;
    vad.StartTransform();
    AudioSample* original = Frame(3000);
    AudioSample* in = Frame(3000);
    AudioSampleList list;
    list.reserve(1);
    list.emplace_back(in, nullptr);
    Measure(state, [&] {
        std::memcpy(in->GetData(), original->GetData(), 2 * kValues);
        in->SetDataSize(2 * kValues);
        AudioSample* out = nullptr;
        vad.TransformAudioSamples(list, &out);
        out->Release(nullptr);
    });
    in->Release(nullptr);
    original->Release(nullptr);
}
BENCHMARK(BM_VAD);

void BM_Mixer(benchmark::State& state) {
    Registry();
    PCMMixer mixer;
    AudioSample* a = Frame(10000);
    AudioSample* b = Frame(5000);
    AudioSampleList list;
    list.reserve(2);
    list.emplace_back(a, nullptr);
    list.emplace_back(b, nullptr);
    Measure(state, [&] {
        AudioSample* out = nullptr;
        mixer.TransformAudioSamples(list, &out);
        out->Release(nullptr);
    });
    a->Release(nullptr);
    b->Release(nullptr);
}
BENCHMARK(BM_Mixer);

// Hands out the same 20 ms frame for ever.
class RepeatSource : public AudioSource {
public:
    explicit RepeatSource(AudioSample* s) : sample(s) {}
    int GenerateData(AudioSample** out) override {
        sample->AddRef(this);
        *out = sample;
        return 0;
    }
    AudioSample* sample;
};

void BM_FixedSizeBuffer(benchmark::State& state) {
    Registry();
    AudioSample* frame = Frame(1000);
    RepeatSource source(frame);
    FixedSizeAudioBuffer buffer;
    Connect(&source, &buffer);
    buffer.StartTransform();
    Measure(state, [&] {
        AudioSample* out = nullptr;
        buffer.GiveNextAudioSample(&out, nullptr);
        out->Release(nullptr);
    });
    buffer.StopTransform();
    Disconnect(&source, &buffer);
    frame->Release(nullptr);
}
BENCHMARK(BM_FixedSizeBuffer);

} // namespace

BENCHMARK_MAIN();
