// Latency the sound-device paths add, measured on the file backend's time stamps at real-time
// pace: speaker, from the write of a frame to the moment it plays; microphone, from the moment
// a frame has been recorded to the moment its sample reaches the next node. Reported as p50 and
// p99 in milliseconds (the clock's resolution is 1 ms).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/devices/WaveAudioSink.h"
#include "media/devices/WaveAudioSource.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/AudioSink.h"
#include "media/graph/AudioSource.h"
#include "platform/audio/file/FileAudioBackend.h"
#include "platform/audio/file/WavFile.h"
#include "platform/core/Clock.h"
#include "platform/store/Registry.h"

using namespace tamsor;

namespace {

constexpr size_t kFrames = 150; // 3 s of 20 ms frames
constexpr size_t kFrameBytes = 320;

std::vector<uint8_t> Tone(size_t samples) {
    std::vector<uint8_t> bytes(samples * 2);
    for (size_t i = 0; i < samples; ++i) {
        auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 8000.0));
        std::memcpy(bytes.data() + 2 * i, &v, 2);
    }
    return bytes;
}

void Report(benchmark::State& state, std::vector<double> latencies) {
    if (latencies.empty()) {
        state.SkipWithError("no frames measured");
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) {
        return latencies[std::min(latencies.size() - 1, static_cast<size_t>(q * latencies.size()))];
    };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["frames"] = static_cast<double>(latencies.size());
}

class ToneSource : public AudioSource {
public:
    explicit ToneSource(std::vector<uint8_t> tone) : tone_(std::move(tone)) {}
    ~ToneSource() override { StopSourceThread(); }
    int GenerateData(AudioSample** out) override {
        *out = nullptr;
        if (next_ >= kFrames) {
            return 0;
        }
        AudioSample* sample = nullptr;
        if (AudioSampleManager::GetInstance()->GetAudioSample(&sample, this) != 0) {
            return -1;
        }
        sample->SetFormat(MakeWaveFormat(FORMAT_PCM16));
        std::memcpy(sample->GetData(), tone_.data() + next_ * kFrameBytes, kFrameBytes);
        sample->SetDataSize(kFrameBytes);
        ++next_;
        *out = sample;
        return 0;
    }

private:
    std::vector<uint8_t> tone_;
    size_t next_ = 0;
};

// The speaker, noting when each frame was written to the device.
class TimedSpeaker : public WaveAudioSink {
public:
    int RenderAudioSamples(AudioSampleList& samples) override {
        uint64_t before = GetBytesPlayed();
        int result = WaveAudioSink::RenderAudioSamples(samples);
        if (GetBytesPlayed() != before) {
            std::lock_guard<std::mutex> guard(lock);
            writeMs.push_back(plat::TimeMs());
        }
        return result;
    }
    std::mutex lock;
    std::vector<uint32_t> writeMs;
};

// The next node after the microphone, noting when each sample arrives.
class TimedSink : public AudioSink {
public:
    ~TimedSink() override { StopSinkThread(); }
    int RenderAudioSamples(AudioSampleList& samples) override {
        std::lock_guard<std::mutex> guard(lock);
        for (size_t i = 0; i < samples.size(); ++i) {
            arriveMs.push_back(plat::TimeMs());
        }
        return 0;
    }
    std::mutex lock;
    std::vector<uint32_t> arriveMs;
};

struct Sandbox {
    Sandbox() {
        char pattern[] = "/tmp/quorvex-bench-audio-XXXXXX";
        dir = mkdtemp(pattern);
        registry = std::make_unique<plat::Registry>(dir + "/registry.sqlite3");
        previous = plat::Registry::SetCurrentUserForTests(registry.get());
        AudioSampleManager::Init();
    }
    ~Sandbox() {
        AudioSampleManager::Shutdown();
        plat::Registry::SetCurrentUserForTests(previous);
        registry.reset();
        std::string command = "rm -rf '" + dir + "'";
        if (std::system(command.c_str()) != 0) {
        }
    }
    std::string dir;
    std::unique_ptr<plat::Registry> registry;
    plat::Registry* previous = nullptr;
};

void BM_SpeakerWriteToPlay(benchmark::State& state) {
    for (auto _ : state) {
        Sandbox sandbox;
        plat::FileAudioBackend backend("", sandbox.dir + "/out.wav", 1.0);
        plat::ScopedAudioBackend scoped(backend);
        std::mutex lock;
        std::vector<uint32_t> playMs(kFrames, 0);
        backend.SetPlayObserver([&](uint64_t offset, size_t, uint32_t timeMs) {
            if (offset % kFrameBytes == 0 && offset / kFrameBytes < kFrames) {
                std::lock_guard<std::mutex> guard(lock);
                playMs[offset / kFrameBytes] = timeMs;
            }
        });
        ToneSource source(Tone(kFrames * kFrameBytes / 2));
        TimedSpeaker speaker;
        speaker.SetNumFrames(6);
        Connect(&source, &speaker);
        speaker.StartSinkThread();
        while (WaveAudioSink::GetBytesPlayed() < kFrames * kFrameBytes) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        speaker.StopSinkThread();
        Disconnect(&source, &speaker);
        WaveAudioSink::ResetBytesPlayed();
        std::vector<double> latencies;
        std::lock_guard<std::mutex> guard(lock);
        for (size_t i = 0; i < speaker.writeMs.size() && i < kFrames; ++i) {
            latencies.push_back(static_cast<int32_t>(playMs[i] - speaker.writeMs[i]));
        }
        Report(state, latencies);
    }
}
BENCHMARK(BM_SpeakerWriteToPlay)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MicrophoneCaptureToSample(benchmark::State& state) {
    for (auto _ : state) {
        Sandbox sandbox;
        std::vector<uint8_t> tone = Tone(kFrames * kFrameBytes / 2);
        {
            plat::WavFileWriter writer;
            std::string error;
            writer.Open(sandbox.dir + "/in.wav", plat::WaveDeviceFormat{}, &error);
            writer.Append(tone.data(), tone.size());
        }
        plat::FileAudioBackend backend(sandbox.dir + "/in.wav", "", 1.0);
        plat::ScopedAudioBackend scoped(backend);
        std::mutex lock;
        std::vector<uint32_t> capturedMs(kFrames, 0);
        backend.SetCaptureObserver([&](uint64_t offset, size_t bytes, uint32_t timeMs) {
            uint64_t end = offset + bytes; // the frame is complete with its last chunk
            if (end % kFrameBytes == 0 && end / kFrameBytes - 1 < kFrames) {
                std::lock_guard<std::mutex> guard(lock);
                capturedMs[end / kFrameBytes - 1] = timeMs;
            }
        });
        WaveAudioSource microphone;
        microphone.SetVolume(100);
        TimedSink next;
        Connect(&microphone, &next);
        microphone.StartSourceThread();
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::lock_guard<std::mutex> guard(next.lock);
            if (next.arriveMs.size() >= kFrames) {
                break;
            }
        }
        microphone.StopSourceThread();
        Disconnect(&microphone, &next);
        std::vector<double> latencies;
        std::lock_guard<std::mutex> guard(lock);
        for (size_t i = 0; i < kFrames; ++i) {
            latencies.push_back(static_cast<int32_t>(next.arriveMs[i] - capturedMs[i]));
        }
        Report(state, latencies);
    }
}
BENCHMARK(BM_MicrophoneCaptureToSample)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
