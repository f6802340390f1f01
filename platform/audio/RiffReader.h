#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// A chunk found in a RIFF file: its four-character id, the size its header declares, the file
// offset of its first data byte and the end of the region that contains it. Offsets are 64-bit
// so that no header value can wrap them.
struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;       // as declared by the header (may claim more than the file holds)
    uint32_t formType = 0;   // "RIFF" and "LIST" chunks only
    uint64_t dataOffset = 0; // first byte after the header (after the form type for RIFF)
    uint64_t containerEnd = 0;

    // The offset one past the declared data, and the offset of the next chunk (data padded to
    // an even size, as RIFF requires).
    uint64_t DeclaredEnd() const { return dataOffset + size; }
    uint64_t NextChunkOffset() const { return dataOffset + size + (size & 1u); }
};

// Builds a four-character code from its text ("RIFF", "fmt ").
constexpr uint32_t FourCC(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// A bounds-checked reader of RIFF files, in place of the multimedia file functions: open, find
// the RIFF form, find a sub-chunk forward from the current position, read and seek. No value
// read from the file is trusted: every chunk is checked against its container and the file's
// size, and reads never go past the end of the file.
//
// One thread uses a reader at a time; it holds no lock.
class RiffReader {
public:
    RiffReader() = default;
    ~RiffReader();
    RiffReader(const RiffReader&) = delete;
    RiffReader& operator=(const RiffReader&) = delete;

    // Opens a file for reading. Returns 0 or the errno value of the failure (a directory gives
    // EISDIR). A reader that is open is closed first.
    int Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    uint64_t FileSize() const { return fileSize_; }

    // Reads the RIFF header at the current position and checks its form type. On success the
    // position is at the first sub-chunk and `riff` describes the form; its containerEnd is the
    // smaller of its declared end and the end of the file. False when there is no RIFF header
    // there, the form type differs, or the header is cut off.
    bool DescendRiff(uint32_t formType, RiffChunk* riff);

    // Searches forward from the current position, within `parent`, for the sub-chunk `id`.
    // Every chunk header passed over must lie inside the parent, and the search stops at the
    // first chunk whose declared data runs past the parent's end (nothing after it can be
    // located). On success the position is at the chunk's first data byte. On failure the
    // position is unchanged.
    bool FindChunk(uint32_t id, const RiffChunk& parent, RiffChunk* chunk);

    // Moves past a chunk (and its pad byte), as far as its container allows.
    bool Ascend(const RiffChunk& chunk);

    // Reads up to `count` bytes at the current position; returns the number read (0 at the end
    // of the file) or -1 on a read error. The position advances by the number read.
    int64_t Read(void* buffer, size_t count);
    // Sets the position; false beyond the end of the file.
    bool Seek(uint64_t offset);
    uint64_t Tell() const { return position_; }

private:
    bool ReadExact(uint64_t offset, void* buffer, size_t count);

    int fd_ = -1;
    uint64_t fileSize_ = 0;
    uint64_t position_ = 0;
};

} // namespace plat
