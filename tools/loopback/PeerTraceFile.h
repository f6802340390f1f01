#pragma once
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "media/api/iTraceFile.h"

// The loopback peer's trace log: every message goes to one text file, each line ended by a
// newline and flushed, so the file is complete up to the last message even after a crash.
//
// Threads: libTamsor's threads and the peer's main thread write. Lock/Unlock take lock_
// (recursive); Write, WriteTime and NewLine are only called between them.
class PeerTraceFile final : public iTraceFile {
public:
    PeerTraceFile() = default;
    ~PeerTraceFile();
    PeerTraceFile(const PeerTraceFile&) = delete;
    PeerTraceFile& operator=(const PeerTraceFile&) = delete;

    // Creates or truncates the file; false with *error set when it cannot be written.
    bool Open(const std::string& path, std::string* error);
    void Close();

    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }
    void WriteTime() override;
    void NewLine() override;
    void Write(const char* text) override;

private:
    std::recursive_mutex lock_;
    std::FILE* file_ = nullptr;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
