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

// Writes a PCM WAV file as data arrives, through the stdio buffer. The RIFF and data sizes are
// brought up to date at most once a second and by Flush and Close, so a file read while it is
// written is a valid WAV of what was written up to the last update, and after a Flush or Close
// of all of it. Used by
// one thread at a time.
class WavFileWriter {
public:
    WavFileWriter() = default;
    ~WavFileWriter() { Close(); }
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Creates (or truncates) the file and writes an empty WAV of this format.
    bool Open(const std::string& path, const WaveDeviceFormat& format, std::string* error);
    // Buffered; the header's sizes follow at most every kSizesEveryMs and on Close.
    bool Append(const uint8_t* data, size_t bytes);
    // Brings the header's sizes up to date and hands everything written to the system.
    bool Flush();
    // Writes the final sizes and closes; false when they could not be written.
    bool Close();
    bool IsOpen() const { return file_ != nullptr; }
    const WaveDeviceFormat& Format() const { return format_; }
    uint64_t DataBytes() const { return dataBytes_; }

private:
    bool WriteSizes();

    static constexpr uint32_t kSizesEveryMs = 1000;

    std::FILE* file_ = nullptr;
    WaveDeviceFormat format_;
    uint64_t dataBytes_ = 0;
    uint32_t sizesWrittenMs_ = 0;
};

} // namespace plat
