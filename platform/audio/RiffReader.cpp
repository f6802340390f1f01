#include "platform/audio/RiffReader.h"
#include "platform/core/ByteOrder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr uint64_t kChunkHeaderSize = 8;

} // namespace

RiffReader::~RiffReader() {
    Close();
}

int RiffReader::Open(const std::string& path) {
    Close();
    // Non-blocking, so a FIFO is refused below instead of waiting for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno != 0 ? errno : EIO;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        return error != 0 ? error : EIO;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    fd_ = fd;
    fileSize_ = static_cast<uint64_t>(info.st_size);
    position_ = 0;
    return 0;
}

void RiffReader::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    fileSize_ = 0;
    position_ = 0;
}

bool RiffReader::ReadExact(uint64_t offset, void* buffer, size_t count) {
    if (fd_ < 0 || offset > fileSize_ || count > fileSize_ - offset) {
        return false;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool RiffReader::DescendRiff(uint32_t formType, RiffChunk* riff) {
    uint8_t header[12];
    if (!ReadExact(position_, header, sizeof header)) {
        return false;
    }
    if (plat::ReadLe32(header) != FourCC("RIFF") || plat::ReadLe32(header + 8) != formType) {
        return false;
    }
    RiffChunk chunk;
    chunk.id = FourCC("RIFF");
    chunk.size = plat::ReadLe32(header + 4);
    chunk.formType = formType;
    // The form type counts as data of the RIFF chunk; the sub-chunks follow it.
    chunk.dataOffset = position_ + 12;
    uint64_t declaredEnd = position_ + kChunkHeaderSize + chunk.size;
    chunk.containerEnd = declaredEnd < fileSize_ ? declaredEnd : fileSize_;
    if (chunk.size < 4) {
        chunk.containerEnd = chunk.dataOffset; // a form with no room for sub-chunks
    }
    position_ = chunk.dataOffset;
    *riff = chunk;
    return true;
}

bool RiffReader::FindChunk(uint32_t id, const RiffChunk& parent, RiffChunk* chunk) {
    uint64_t end = parent.containerEnd < fileSize_ ? parent.containerEnd : fileSize_;
    uint64_t offset = position_;
    while (offset <= end && end - offset >= kChunkHeaderSize) {
        uint8_t header[8];
        if (!ReadExact(offset, header, sizeof header)) {
            return false;
        }
        RiffChunk found;
        found.id = plat::ReadLe32(header);
        found.size = plat::ReadLe32(header + 4);
        found.dataOffset = offset + kChunkHeaderSize;
        found.containerEnd = end;
        if (found.id == id) {
            if ((id == FourCC("RIFF") || id == FourCC("LIST")) && found.size >= 4) {
                uint8_t form[4];
                if (!ReadExact(found.dataOffset, form, sizeof form)) {
                    return false;
                }
                found.formType = plat::ReadLe32(form);
            }
            position_ = found.dataOffset;
            *chunk = found;
            return true;
        }
        // A chunk that claims more than its container holds hides whatever follows it.
        if (found.DeclaredEnd() > end) {
            return false;
        }
        offset = found.NextChunkOffset();
    }
    return false;
}

bool RiffReader::Ascend(const RiffChunk& chunk) {
    uint64_t next = chunk.NextChunkOffset();
    uint64_t limit = chunk.containerEnd < fileSize_ ? chunk.containerEnd : fileSize_;
    position_ = next < limit ? next : limit;
    return next <= limit;
}

int64_t RiffReader::Read(void* buffer, size_t count) {
    if (fd_ < 0) {
        return -1;
    }
    uint64_t left = position_ < fileSize_ ? fileSize_ - position_ : 0;
    size_t want = count < left ? count : static_cast<size_t>(left);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < want) {
        ssize_t n = ::pread(fd_, out + done, want - done, static_cast<off_t>(position_ + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break; // the file shrank since it was opened
        }
        done += static_cast<size_t>(n);
    }
    position_ += done;
    return static_cast<int64_t>(done);
}

bool RiffReader::Seek(uint64_t offset) {
    if (fd_ < 0 || offset > fileSize_) {
        return false;
    }
    position_ = offset;
    return true;
}

} // namespace plat
