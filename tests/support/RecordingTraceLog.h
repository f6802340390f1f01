#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/api/iTraceFile.h"

// A trace log that keeps every finished line in memory; the time stamp is written as
// "(time)" so lines can be compared exactly.
class RecordingTraceLog : public iTraceFile {
public:
    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }
    void WriteTime() override { current_ += "(time)"; }
    void NewLine() override {
        std::lock_guard<std::mutex> guard(linesLock_);
        lines_.push_back(current_);
        current_.clear();
    }
    void Write(const char* text) override { current_ += text; }

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(linesLock_);
        return lines_;
    }
    int Count(const std::string& line) {
        std::lock_guard<std::mutex> guard(linesLock_);
        int n = 0;
        for (const auto& l : lines_) {
            n += l == line ? 1 : 0;
        }
        return n;
    }
    int CountPrefix(const std::string& prefix) {
        std::lock_guard<std::mutex> guard(linesLock_);
        int n = 0;
        for (const auto& l : lines_) {
            n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }
    // Whether the log's lock is free (no message was left half written).
    bool Unlocked() {
        std::atomic<bool> free{false};
        std::thread probe([&] {
            if (lock_.try_lock()) {
                free = true;
                lock_.unlock();
            }
        });
        probe.join();
        return free;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(linesLock_);
        lines_.clear();
    }

private:
    std::recursive_mutex lock_;
    std::mutex linesLock_;
    std::string current_;
    std::vector<std::string> lines_;
};
