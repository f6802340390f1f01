#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "media/base/EngineTrace.h"
#include "media/base/WaveFormat.h"
#include "media/dsp/PCM16.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/AudioSink.h"
#include "media/graph/AudioSource.h"
#include "media/graph/AudioTransformer.h"
#include "media/testing/EngineFixture.h"

namespace tamsor {

// The engine fixture with helpers for 16-bit PCM samples.
class GraphFixture : public EngineFixture {
public:
    // A 16-bit PCM sample holding the values.
    static AudioSample* Pcm(const std::vector<int16_t>& values) {
        AudioSample* s = nullptr;
        Pool()->GetAudioSample(&s, nullptr);
        s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
        for (size_t i = 0; i < values.size(); ++i) {
            WritePCM16(s->GetData() + 2 * i, values[i]);
        }
        s->SetDataSize(static_cast<int>(2 * values.size()));
        return s;
    }
    static AudioSample* PcmFill(int count, int16_t value) {
        return Pcm(std::vector<int16_t>(static_cast<size_t>(count), value));
    }
    static int16_t Value(AudioSample* s, int i) { return ReadPCM16(s->GetData() + 2 * i); }
};

// Waits (really) for a condition that another thread makes true; false after 10 s.
inline bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 10000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

// A source that makes 16-bit samples of `values` values each, the first value being a running
// count (starting at `firstMark`), the rest `fill`. Its behaviour per call can be changed.
class FakeSource : public AudioSource {
public:
    explicit FakeSource(int values = 160, int16_t fill = 0) : values_(values), fill_(fill) {}
    ~FakeSource() override { StopSourceThread(); }

    int GenerateData(AudioSample** out) override {
        const int call = ++calls;
        if (inPass) {
            inPass();
        }
        if (pace) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (throwOnCall != 0 && call >= throwOnCall) {
            throw std::runtime_error("generate");
        }
        if (result != 0) {
            return result;
        }
        if (produceNothing) {
            return 0;
        }
        AudioSample* s = nullptr;
        AudioSampleManager::GetInstance()->GetAudioSample(&s, this);
        s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
        for (int i = 0; i < values_; ++i) {
            WritePCM16(s->GetData() + 2 * i, i == 0 ? static_cast<int16_t>(mark++) : fill_);
        }
        s->SetDataSize(2 * values_);
        *out = s;
        return 0;
    }
    int SourceThreadStarted(AudioThreadHandle handle, uint32_t id) override {
        startedHandle = handle;
        startedId = id;
        return veto;
    }
    int SourceThreadStopped(AudioThreadHandle handle, uint32_t id) override {
        stoppedHandle = handle;
        stoppedId = id;
        ++stoppedCalls;
        if (throwOnStopped) {
            throw std::runtime_error("stopped");
        }
        return 0;
    }

    std::atomic<int> calls{0};
    std::atomic<int> mark{1};
    std::atomic<int> result{0};
    std::atomic<bool> produceNothing{false};
    std::atomic<int> throwOnCall{0};
    std::atomic<bool> pace{true};
    std::atomic<bool> throwOnStopped{false};
    std::function<void()> inPass; // runs at the start of each GenerateData
    int veto = 0;
    AudioThreadHandle startedHandle = nullptr;
    uint32_t startedId = 0;
    AudioThreadHandle stoppedHandle = nullptr;
    uint32_t stoppedId = 0;
    std::atomic<int> stoppedCalls{0};

private:
    int values_;
    int16_t fill_;
};

// What a sink saw of one sample.
struct Seen {
    AudioSample* sample;
    AudioSource* origin;
    int16_t first;
    int16_t second;
    int size;
    int silenceMs;
};

// A sink that records every set it renders.
class FakeSink : public AudioSink {
public:
    ~FakeSink() override { StopSinkThread(); }

    int RenderAudioSamples(AudioSampleList& samples) override {
        std::vector<Seen> set;
        for (auto& [s, from] : samples) {
            const int size = s->GetDataSize();
            set.push_back({s, from, size >= 2 ? ReadPCM16(s->GetData()) : int16_t{0},
                           size >= 4 ? ReadPCM16(s->GetData() + 2) : int16_t{0}, size,
                           s->GetSilenceMs()});
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            sets_.push_back(std::move(set));
        }
        ++renders;
        if (inPass) {
            inPass();
        }
        if (pace) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (throwOnRender) {
            throw std::runtime_error("render");
        }
        return renderResult;
    }
    int SinkThreadStarted(AudioThreadHandle handle, uint32_t id) override {
        startedHandle = handle;
        startedId = id;
        return veto;
    }
    int SinkThreadStopped(AudioThreadHandle handle, uint32_t id) override {
        stoppedHandle = handle;
        stoppedId = id;
        ++stoppedCalls;
        if (throwOnStopped) {
            throw std::runtime_error("stopped");
        }
        return 0;
    }
    int SinkStarted() override { return startAnswer; }
    int SinkStopped() override { return stopAnswer; }

    std::vector<std::vector<Seen>> Sets() {
        std::lock_guard<std::mutex> guard(lock_);
        return sets_;
    }

    std::atomic<int> renders{0};
    std::atomic<bool> throwOnRender{false};
    std::atomic<bool> pace{false};
    std::atomic<bool> throwOnStopped{false};
    std::function<void()> inPass; // runs after each rendered set
    int renderResult = 0;
    int veto = 0;
    int startAnswer = 0;
    int stopAnswer = 0;
    AudioThreadHandle startedHandle = nullptr;
    uint32_t startedId = 0;
    AudioThreadHandle stoppedHandle = nullptr;
    uint32_t stoppedId = 0;
    std::atomic<int> stoppedCalls{0};

private:
    std::mutex lock_;
    std::vector<std::vector<Seen>> sets_;
};

// A transformer that hands on its first input (or throws when told to).
class PassTransformer : public AudioTransformer {
public:
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override {
        if (throwOnTransform) {
            throw std::runtime_error("transform");
        }
        if (!samples.empty() && samples.front().first) {
            samples.front().first->AddRef(this);
            *out = samples.front().first;
        }
        return result;
    }
    bool throwOnTransform = false;
    int result = 0;
};

} // namespace tamsor
