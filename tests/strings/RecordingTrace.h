#pragma once
#include <mutex>
#include <string>

#include "app/trace/TraceFile.h"

// A trace log for tests: keeps the written text ("<time>" stands for each time stamp) and is
// g_pTrace while it lives.
class RecordingTrace final : public iTraceFile {
public:
    RecordingTrace() : previous_(g_pTrace.exchange(this)) {}
    ~RecordingTrace() { g_pTrace.store(previous_); }

    void Lock() override { mutex_.lock(); }
    void Unlock() override { mutex_.unlock(); }
    void WriteTime() override { text_ += "<time>"; }
    void NewLine() override { text_ += "\n"; }
    void Write(const char* text) override { text_ += text; }

    std::string Text() {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return text_;
    }

private:
    iTraceFile* previous_;
    std::recursive_mutex mutex_;
    std::string text_;
};
