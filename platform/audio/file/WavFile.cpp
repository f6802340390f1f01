#include "platform/audio/file/WavFile.h"

#include "platform/core/ByteOrder.h"
#include "platform/core/Clock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace plat {

namespace {

constexpr size_t kHeaderBytes = 44;
constexpr off_t kGuardByte = 0; // held while creating, appending or updating the sizes
constexpr off_t kInUseByte = 1; // held shared by every open writer

// An open file description lock on one byte; F_UNLCK releases it.
bool LockByte(int fd, short type, off_t byte, bool wait) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool WriteAt(int fd, const uint8_t* data, size_t bytes, off_t at) {
    while (bytes > 0) {
        const ssize_t n = pwrite(fd, data, bytes, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        bytes -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

void MakeHeader(const WaveDeviceFormat& format, uint8_t (&header)[kHeaderBytes]) {
    std::memset(header, 0, sizeof header);
    std::memcpy(header, "RIFF", 4);
    plat::WriteLe32(header + 4, 36);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    plat::WriteLe32(header + 16, 16);
    plat::WriteLe16(header + 20, format.formatTag);
    plat::WriteLe16(header + 22, format.channels);
    plat::WriteLe32(header + 24, format.samplesPerSec);
    plat::WriteLe32(header + 28, format.avgBytesPerSec);
    plat::WriteLe16(header + 32, format.blockAlign);
    plat::WriteLe16(header + 34, format.bitsPerSample);
    std::memcpy(header + 36, "data", 4);
}

} // namespace

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
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t header[kHeaderBytes];
    MakeHeader(format, header);
    if (!LockByte(fd, F_WRLCK, kGuardByte, true)) {
        *error = "cannot lock " + path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    std::string why;
    const bool alone = LockByte(fd, F_WRLCK, kInUseByte, false);
    if (alone) {
        // No other writer: a new file.
        if (ftruncate(fd, 0) != 0 || !WriteAt(fd, header, sizeof header, 0)) {
            why = "cannot write " + path;
        }
    } else {
        // Another writer has it open: append to it, in its format.
        uint8_t found[kHeaderBytes];
        if (pread(fd, found, sizeof found, 0) != static_cast<ssize_t>(sizeof found) ||
            std::memcmp(found, header, 4) != 0 ||
            std::memcmp(found + 8, header + 8, 32) != 0) { // "WAVE", the format, "data"
            why = path + " is being written in another format";
        }
    }
    // Shared from now on (the first writer's exclusive hold turns shared).
    if (why.empty() && !LockByte(fd, F_RDLCK, kInUseByte, false)) {
        why = "cannot lock " + path + ": " + std::strerror(errno);
    }
    if (!why.empty() && alone) {
        unlink(path.c_str()); // no half-written file is left
    }
    LockByte(fd, F_UNLCK, kGuardByte, false);
    if (!why.empty()) {
        *error = why;
        close(fd);
        return false;
    }
    fd_ = fd;
    format_ = format;
    dataBytes_ = 0;
    block_.clear();
    sizesWrittenMs_ = TimeMs();
    return true;
}

bool WavFileWriter::Append(const uint8_t* data, size_t bytes) {
    if (fd_ < 0) {
        return false;
    }
    // RIFF sizes are 32-bit: stop short of overflowing them.
    if (dataBytes_ + bytes > std::numeric_limits<uint32_t>::max() - 64) {
        return false;
    }
    block_.insert(block_.end(), data, data + bytes);
    dataBytes_ += bytes;
    const bool sizes = TimeMs() - sizesWrittenMs_ >= kSizesEveryMs;
    if (sizes || block_.size() >= kBlockBytes) {
        return Sync(sizes);
    }
    return true;
}

bool WavFileWriter::Sync(bool sizes) {
    if (!LockByte(fd_, F_WRLCK, kGuardByte, true)) {
        return false;
    }
    bool ok = true;
    if (!block_.empty()) {
        const off_t end = lseek(fd_, 0, SEEK_END);
        ok = end >= static_cast<off_t>(kHeaderBytes) &&
             WriteAt(fd_, block_.data(), block_.size(), end);
        block_.clear();
    }
    if (sizes) {
        struct stat st = {};
        ok = ok && fstat(fd_, &st) == 0 && st.st_size >= static_cast<off_t>(kHeaderBytes);
        if (ok) {
            const uint64_t length = std::min<uint64_t>(static_cast<uint64_t>(st.st_size),
                                                       std::numeric_limits<uint32_t>::max());
            uint8_t size[4];
            plat::WriteLe32(size, static_cast<uint32_t>(length - 8));
            ok = WriteAt(fd_, size, 4, 4);
            plat::WriteLe32(size, static_cast<uint32_t>(length - kHeaderBytes));
            ok = ok && WriteAt(fd_, size, 4, 40);
        }
        sizesWrittenMs_ = TimeMs();
    }
    LockByte(fd_, F_UNLCK, kGuardByte, false);
    return ok;
}

bool WavFileWriter::Flush() {
    return fd_ >= 0 && Sync(true);
}

bool WavFileWriter::Close() {
    if (fd_ < 0) {
        return true;
    }
    const bool synced = Sync(true);
    const bool closed = close(fd_) == 0; // releases the locks
    fd_ = -1;
    return synced && closed;
}

} // namespace plat
