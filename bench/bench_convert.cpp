// Conversion throughput of the wave-file converter: one second of source audio per iteration,
// fed in 20 ms pieces as the file source hands it over. Reported as bytes of input per second
// and as how many seconds of audio one second of CPU converts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/audio/AudioConverter.h"

namespace {

std::vector<uint8_t> Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    uint32_t avg = rate * align;
    std::vector<uint8_t> f(18, 0);
    std::memcpy(&f[0], &tag, 2);
    std::memcpy(&f[2], &channels, 2);
    std::memcpy(&f[4], &rate, 4);
    std::memcpy(&f[8], &avg, 4);
    std::memcpy(&f[12], &align, 2);
    std::memcpy(&f[14], &bits, 2);
    return f;
}

// One second of a 1 kHz tone in the given format (G.711 as arbitrary bytes).
std::vector<uint8_t> OneSecond(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < rate; ++i) {
        double x = 0.5 * std::sin(2 * M_PI * 1000.0 * i / rate);
        for (uint16_t c = 0; c < channels; ++c) {
            if (tag == 3) {
                float f = static_cast<float>(x);
                uint8_t b[4];
                std::memcpy(b, &f, 4);
                data.insert(data.end(), b, b + 4);
            } else if (bits == 8) {
                data.push_back(static_cast<uint8_t>(tag == 1 ? 128 + 100 * x : i * 7));
            } else {
                auto v = static_cast<int32_t>(x * 2147483647.0);
                for (int k = 4 - bits / 8; k < 4; ++k) {
                    data.push_back(static_cast<uint8_t>(v >> (8 * k)));
                }
            }
        }
    }
    return data;
}

void BM_Convert(benchmark::State& state, uint16_t tag, uint16_t channels, uint32_t rate,
                uint16_t bits) {
    std::vector<uint8_t> fmt = Format(tag, channels, rate, bits);
    std::vector<uint8_t> input = OneSecond(tag, channels, rate, bits);
    const size_t frame = static_cast<size_t>(rate) * channels * (bits / 8) / 50;
    plat::AudioConverter converter;
    if (converter.Open(fmt.data(), fmt.size()) != plat::ConverterError::None) {
        state.SkipWithError("format refused");
        return;
    }
    std::vector<uint8_t> out;
    out.reserve(20000);
    for (auto _ : state) {
        out.clear();
        for (size_t pos = 0; pos < input.size(); pos += frame) {
            converter.Convert(input.data() + pos, std::min(frame, input.size() - pos), &out);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(BM_Convert, pcm16_mono_8k, 1, 1, 8000, 16);
BENCHMARK_CAPTURE(BM_Convert, mulaw_8k, 7, 1, 8000, 8);
BENCHMARK_CAPTURE(BM_Convert, pcm8_mono_11025, 1, 1, 11025, 8);
BENCHMARK_CAPTURE(BM_Convert, pcm16_stereo_44100, 1, 2, 44100, 16);
BENCHMARK_CAPTURE(BM_Convert, pcm24_stereo_48000, 1, 2, 48000, 24);
BENCHMARK_CAPTURE(BM_Convert, float_mono_48000, 3, 1, 48000, 32);
BENCHMARK_MAIN();
