#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/AudioBackend.h"

namespace soundtest {

// An audio backend whose outputs keep what is played: one record per opened stream (device,
// format, bytes written, closed). Each write takes a millisecond, so a loop does not spin.
// Threads: streams write on their device threads, the test reads; lock_ guards the records.
class RecordingAudioBackend final : public plat::AudioBackend {
public:
    struct Stream {
        int device = 0;
        plat::WaveDeviceFormat format;
        std::vector<uint8_t> bytes;
        bool closed = false;
    };

    const char* Name() const override { return "recording"; }
    std::vector<std::string> OutputDeviceNames() override { return {"Speakers", "USB Audio"}; }
    std::vector<std::string> InputDeviceNames() override { return {}; }
    plat::MMRESULT OpenPlayback(int device, const plat::WaveDeviceFormat& format,
                                std::unique_ptr<plat::PlaybackStream>* stream) override {
        std::lock_guard<std::mutex> guard(lock_);
        streams_.push_back(std::make_shared<Stream>(Stream{device, format, {}, false}));
        *stream = std::make_unique<Output>(this, streams_.back());
        return plat::MMSYSERR_NOERROR;
    }
    plat::MMRESULT OpenCapture(int, const plat::WaveDeviceFormat&,
                               std::unique_ptr<plat::CaptureStream>*) override {
        return plat::MMSYSERR_BADDEVICEID;
    }
    plat::MMRESULT OpenMixer(int, std::shared_ptr<plat::MixerDevice>*) override {
        return plat::MMSYSERR_BADDEVICEID;
    }

    size_t StreamCount() {
        std::lock_guard<std::mutex> guard(lock_);
        return streams_.size();
    }
    Stream Get(size_t i) {
        std::lock_guard<std::mutex> guard(lock_);
        return *streams_.at(i);
    }
    size_t BytesOf(size_t i) {
        std::lock_guard<std::mutex> guard(lock_);
        return i < streams_.size() ? streams_[i]->bytes.size() : 0;
    }
    // Polls the condition for at most five seconds of real time.
    static bool WaitFor(const std::function<bool()>& condition) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!condition() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return condition();
    }

private:
    struct Output final : plat::PlaybackStream {
        Output(RecordingAudioBackend* owner, std::shared_ptr<Stream> record)
            : owner(owner), record(std::move(record)) {}
        ~Output() override {
            std::lock_guard<std::mutex> guard(owner->lock_);
            record->closed = true;
        }
        plat::MMRESULT Write(const uint8_t* data, size_t bytes) override {
            {
                std::lock_guard<std::mutex> guard(owner->lock_);
                if (record->bytes.size() < (4u << 20)) {
                    record->bytes.insert(record->bytes.end(), data, data + bytes);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return plat::MMSYSERR_NOERROR;
        }
        void Discard() override {}
        RecordingAudioBackend* owner;
        std::shared_ptr<Stream> record;
    };

    std::mutex lock_;
    std::vector<std::shared_ptr<Stream>> streams_;
};

} // namespace soundtest
