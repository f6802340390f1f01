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

// Writes a PCM WAV file as data arrives. Data is gathered in memory and written in blocks; the
// header's RIFF and data sizes are brought up to date, with everything gathered written first,
// at most once a second and by Flush and Close. So a reader always finds a valid WAV of all
// that was written up to the last update, also when the writer is never closed.
//
// Several writers may share one file, in this process or another (the program and the media
// library each hold a sound backend of their own): the first one opened creates the file,
// writers opened while it is in use append to it, each block goes to the file's end and every
// update takes the sizes from the file's length. Locks on the header's first two bytes (open
// file description locks, which also part two writers of one process) order them: byte 0 is
// held while a writer creates, appends or updates; byte 1 is held shared by every open writer.
// One writer is used by one thread at a time.
class WavFileWriter {
public:
    WavFileWriter() = default;
    ~WavFileWriter() { Close(); }
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Creates (or truncates) the file and writes an empty WAV of this format; joins the file
    // instead while another writer has it open, which fails if it holds another format.
    bool Open(const std::string& path, const WaveDeviceFormat& format, std::string* error);
    // Gathered; written in blocks, the header's sizes following at most every kSizesEveryMs.
    bool Append(const uint8_t* data, size_t bytes);
    // Writes what is gathered and brings the header's sizes up to date.
    bool Flush();
    // Flushes and closes; false when that could not be written.
    bool Close();
    bool IsOpen() const { return fd_ >= 0; }
    const WaveDeviceFormat& Format() const { return format_; }
    // The bytes appended through this writer.
    uint64_t DataBytes() const { return dataBytes_; }

private:
    // Writes the gathered block at the file's end and, with `sizes`, the sizes from the file's
    // length, under the lock.
    bool Sync(bool sizes);

    static constexpr uint32_t kSizesEveryMs = 1000;
    static constexpr size_t kBlockBytes = 4096; // as stdio's buffer: files grow as before

    int fd_ = -1;
    WaveDeviceFormat format_;
    uint64_t dataBytes_ = 0;
    uint32_t sizesWrittenMs_ = 0;
    std::vector<uint8_t> block_;
};

} // namespace plat
