#pragma once
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/WaveHeader.h"
#include "platform/audio/file/WavFile.h"

namespace audiotest {

// Collects the callbacks of a device, in order, from the device's thread.
struct CallbackLog {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<uint32_t, plat::WaveHeader*>> events;
    std::vector<std::thread::id> threads; // the calling thread of each event

    void Add(uint32_t message, plat::WaveHeader* header) {
        std::lock_guard<std::mutex> guard(lock);
        events.emplace_back(message, header);
        threads.push_back(std::this_thread::get_id());
        changed.notify_all();
    }
    // Whether every event so far came from one thread, and not from `other`.
    bool FromOneThreadBut(std::thread::id other) {
        std::lock_guard<std::mutex> guard(lock);
        for (const std::thread::id& id : threads) {
            if (id != threads.front() || id == other) {
                return false;
            }
        }
        return true;
    }
    size_t Count(uint32_t message) {
        std::lock_guard<std::mutex> guard(lock);
        size_t n = 0;
        for (auto& event : events) {
            n += event.first == message ? 1 : 0;
        }
        return n;
    }
    // Waits (real time, bounded) until `count` messages of this kind have arrived.
    bool WaitFor(uint32_t message, size_t count, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            size_t n = 0;
            for (auto& event : events) {
                n += event.first == message ? 1 : 0;
            }
            return n >= count;
        });
    }
    std::vector<std::pair<uint32_t, plat::WaveHeader*>> Events() {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }
};

inline plat::WaveDeviceFormat Pcm8k() {
    return plat::WaveDeviceFormat{};
}

// 16-bit mono samples of a tone, as bytes.
inline std::vector<uint8_t> Tone(size_t samples, double hz = 440, int amplitude = 8000) {
    std::vector<uint8_t> bytes(samples * 2);
    for (size_t i = 0; i < samples; ++i) {
        auto value = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * hz * i / 8000.0));
        bytes[2 * i] = static_cast<uint8_t>(value & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }
    return bytes;
}

inline bool WriteWav(const std::string& path, const std::vector<uint8_t>& data,
                     const plat::WaveDeviceFormat& format = Pcm8k()) {
    plat::WavFileWriter writer;
    std::string error;
    return writer.Open(path, format, &error) && writer.Append(data.data(), data.size());
}

// A fresh directory for one test's files, removed afterwards.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/quorvex-audio-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace audiotest
