#include "tools/loopback/PeerTraceFile.h"

#include <cerrno>
#include <cstring>

PeerTraceFile::~PeerTraceFile() {
    Close();
}

bool PeerTraceFile::Open(const std::string& path, std::string* error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        *error = "cannot create trace file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (file_) {
        std::fclose(file_);
    }
    file_ = file;
    start_ = std::chrono::steady_clock::now();
    return true;
}

void PeerTraceFile::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void PeerTraceFile::WriteTime() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start_)
                        .count();
    char text[40];
    std::snprintf(text, sizeof(text), "  (time: %lld)", static_cast<long long>(ms));
    Write(text);
}

void PeerTraceFile::NewLine() {
    if (file_) {
        std::fputc('\n', file_);
        std::fflush(file_);
    }
}

void PeerTraceFile::Write(const char* text) {
    if (file_ && text) {
        std::fputs(text, file_);
    }
}
