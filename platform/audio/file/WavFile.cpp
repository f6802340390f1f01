#include "platform/audio/file/WavFile.h"

#include "platform/core/ByteOrder.h"
#include "platform/core/Clock.h"

#include <cstring>
#include <limits>

namespace plat {

namespace {} // namespace

bool ReadWavFile(const std::string& path, WaveDeviceFormat* format, std::vector<uint8_t>* data,
                 std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes.insert(bytes.end(), block, block + got);
    }
    bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) {
        *error = "cannot read " + path;
        return false;
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        *error = path + " is not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    bool haveData = false;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        uint32_t size = plat::ReadLe32(bytes.data() + pos + 4);
        const uint8_t* body = bytes.data() + pos + 8;
        size_t available = bytes.size() - pos - 8;
        if (std::memcmp(bytes.data() + pos, "fmt ", 4) == 0) {
            if (size < 16 || size > available) {
                *error = path + ": bad fmt chunk";
                return false;
            }
            format->formatTag = plat::ReadLe16(body);
            format->channels = plat::ReadLe16(body + 2);
            format->samplesPerSec = plat::ReadLe32(body + 4);
            format->avgBytesPerSec = plat::ReadLe32(body + 8);
            format->blockAlign = plat::ReadLe16(body + 12);
            format->bitsPerSample = plat::ReadLe16(body + 14);
            haveFormat = true;
        } else if (std::memcmp(bytes.data() + pos, "data", 4) == 0) {
            // A data chunk longer than the file (a writer that died) is taken as far as it goes.
            size_t length = size > available ? available : size;
            data->assign(body, body + length);
            haveData = true;
            break;
        }
        if (size > available) {
            break;
        }
        pos += 8 + static_cast<size_t>(size) + (size & 1);
    }
    if (!haveFormat || !haveData) {
        *error = path + ": no fmt or data chunk";
        return false;
    }
    if (!format->IsSupported()) {
        *error = path + ": not 8- or 16-bit PCM";
        return false;
    }
    data->resize(data->size() - data->size() % format->blockAlign);
    return true;
}

bool WavFileWriter::Open(const std::string& path, const WaveDeviceFormat& format,
                         std::string* error) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    format_ = format;
    dataBytes_ = 0;
    uint8_t header[44] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    plat::WriteLe32(header + 16, 16);
    plat::WriteLe16(header + 20, format.formatTag);
    plat::WriteLe16(header + 22, format.channels);
    plat::WriteLe32(header + 24, format.samplesPerSec);
    plat::WriteLe32(header + 28, format.avgBytesPerSec);
    plat::WriteLe16(header + 32, format.blockAlign);
    plat::WriteLe16(header + 34, format.bitsPerSample);
    std::memcpy(header + 36, "data", 4);
    if (std::fwrite(header, 1, sizeof header, file_) != sizeof header || !WriteSizes()) {
        *error = "cannot write " + path;
        Close();
        return false;
    }
    return true;
}

bool WavFileWriter::Append(const uint8_t* data, size_t bytes) {
    if (file_ == nullptr) {
        return false;
    }
    // RIFF sizes are 32-bit: stop short of overflowing them.
    if (dataBytes_ + bytes > std::numeric_limits<uint32_t>::max() - 64) {
        return false;
    }
    if (std::fwrite(data, 1, bytes, file_) != bytes) {
        return false;
    }
    dataBytes_ += bytes;
    // The sizes in the header are brought up to date at most once a second (and on Close), so
    // a file read while it is written is a valid WAV of nearly all that was written.
    const uint32_t now = TimeMs();
    if (now - sizesWrittenMs_ >= kSizesEveryMs) {
        return WriteSizes();
    }
    return true;
}

bool WavFileWriter::WriteSizes() {
    uint8_t size[4];
    plat::WriteLe32(size, static_cast<uint32_t>(36 + dataBytes_));
    bool ok = std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
    plat::WriteLe32(size, static_cast<uint32_t>(dataBytes_));
    ok = ok && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
    ok = ok && std::fseek(file_, 0, SEEK_END) == 0 && std::fflush(file_) == 0;
    sizesWrittenMs_ = TimeMs();
    return ok;
}

bool WavFileWriter::Flush() {
    return file_ != nullptr && WriteSizes();
}

bool WavFileWriter::Close() {
    if (file_ == nullptr) {
        return true;
    }
    const bool sized = WriteSizes();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return sized && closed;
}

} // namespace plat
