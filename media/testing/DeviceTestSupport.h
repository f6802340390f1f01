#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/base/EngineTrace.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/AudioSink.h"
#include "media/graph/AudioSource.h"
#include "media/testing/EngineFixture.h"
#include "platform/audio/file/FileAudioBackend.h"
#include "platform/audio/file/WavFile.h"

namespace tamsor {

namespace devicetest {

// The engine fixture with files in the sandbox directory.
class DeviceFixture : public EngineFixture {
protected:
    std::string File(const std::string& name) const { return registry.Dir() + "/" + name; }
};

// 16-bit mono samples as bytes.
inline std::vector<uint8_t> Bytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

inline std::vector<int16_t> Tone(size_t samples, int amplitude = 8000, double hz = 440) {
    std::vector<int16_t> out(samples);
    for (size_t i = 0; i < samples; ++i) {
        out[i] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * hz * i / 8000.0));
    }
    return out;
}

inline bool WriteWav(const std::string& path, const std::vector<uint8_t>& data) {
    plat::WavFileWriter writer;
    std::string error;
    return writer.Open(path, plat::WaveDeviceFormat{}, &error) &&
           writer.Append(data.data(), data.size());
}

inline std::vector<uint8_t> ReadWav(const std::string& path) {
    plat::WaveDeviceFormat format;
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_TRUE(plat::ReadWavFile(path, &format, &data, &error)) << error;
    return data;
}

// Polls a condition in real time for at most timeoutMs.
inline bool Eventually(const std::function<bool()>& condition, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A source that hands out prepared 16-bit PCM frames in order, then nothing.
class FrameSource : public AudioSource {
public:
    explicit FrameSource(std::vector<std::vector<uint8_t>> frames) : frames_(std::move(frames)) {}
    ~FrameSource() override { StopSourceThread(); }
    int GenerateData(AudioSample** out) override {
        *out = nullptr;
        std::lock_guard<std::mutex> guard(lock_);
        if (next_ >= frames_.size()) {
            return 0;
        }
        const std::vector<uint8_t>& frame = frames_[next_++];
        AudioSample* sample = nullptr;
        if (AudioSampleManager::GetInstance()->GetAudioSample(&sample, this) != 0) {
            return -1;
        }
        sample->SetFormat(MakeWaveFormat(FORMAT_PCM16));
        if (frame.empty()) {
            sample->SetSilenceMs(20); // an empty frame stands for 20 ms of silence
            sample->SetDataSize(0);
        } else {
            std::memcpy(sample->GetData(), frame.data(), frame.size());
            sample->SetDataSize(static_cast<int>(frame.size()));
        }
        *out = sample;
        return 0;
    }
    size_t Given() {
        std::lock_guard<std::mutex> guard(lock_);
        return next_;
    }

private:
    std::mutex lock_;
    std::vector<std::vector<uint8_t>> frames_;
    size_t next_ = 0;
};

// A push-driven sink that keeps what it receives: data bytes, or the silence duration.
class CollectingSink : public AudioSink {
public:
    struct Frame {
        std::vector<uint8_t> data;
        int silenceMs = 0;
    };
    ~CollectingSink() override { StopSinkThread(); }
    int RenderAudioSamples(AudioSampleList& samples) override {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& entry : samples) {
            AudioSample* sample = entry.first;
            Frame frame;
            frame.data.assign(sample->GetData(), sample->GetData() + sample->GetDataSize());
            frame.silenceMs = sample->GetSilenceMs();
            frames_.push_back(std::move(frame));
        }
        return 0;
    }
    std::vector<Frame> Frames() {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_;
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_.size();
    }

private:
    std::mutex lock_;
    std::vector<Frame> frames_;
};

} // namespace devicetest

} // namespace tamsor
