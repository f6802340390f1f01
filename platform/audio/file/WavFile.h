#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/audio/WaveHeader.h"

namespace plat {

// Reads a whole PCM WAV file: its format and its data chunk. Every chunk size is checked
// against the file's length. Returns false and sets *error when the file cannot be used.
bool ReadWavFile(const std::string& path, WaveDeviceFormat* format, std::vector<uint8_t>* data,
                 std::string* error);

// Writes a PCM WAV file as data arrives. The RIFF and data sizes are brought up to date after
// every append, so the file is a valid WAV whenever no append is under way, and after Close.
// Used by one thread at a time.
class WavFileWriter {
public:
    WavFileWriter() = default;
    ~WavFileWriter() { Close(); }
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Creates (or truncates) the file and writes an empty WAV of this format.
    bool Open(const std::string& path, const WaveDeviceFormat& format, std::string* error);
    bool Append(const uint8_t* data, size_t bytes);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    const WaveDeviceFormat& Format() const { return format_; }
    uint64_t DataBytes() const { return dataBytes_; }

private:
    bool WriteSizes();

    std::FILE* file_ = nullptr;
    WaveDeviceFormat format_;
    uint64_t dataBytes_ = 0;
};

} // namespace plat
