#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// Builds RIFF/WAVE files byte by byte for the tests, malformed ones included, and writes them
// into a temporary directory that is removed afterwards.
namespace wavtest {

inline void PutLe16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void PutLe32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) {
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    }
}
inline void PutId(std::vector<uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) {
        v.push_back(static_cast<uint8_t>(id[i]));
    }
}

// A format block: 16 bytes when extra is empty and withCbSize is false, else 18 + extra.
inline std::vector<uint8_t> FmtBlock(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                     bool withCbSize = true, std::vector<uint8_t> extra = {}) {
    std::vector<uint8_t> f;
    uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
    PutLe16(f, tag);
    PutLe16(f, channels);
    PutLe32(f, rate);
    PutLe32(f, rate * align);
    PutLe16(f, align);
    PutLe16(f, bits);
    if (withCbSize || !extra.empty()) {
        PutLe16(f, static_cast<uint32_t>(extra.size()));
        f.insert(f.end(), extra.begin(), extra.end());
    }
    return f;
}

// The extensible form with a PCM (1) or float (3) sub-format.
inline std::vector<uint8_t> ExtensibleBlock(uint16_t subTag, uint16_t channels, uint32_t rate,
                                            uint16_t bits) {
    std::vector<uint8_t> extra;
    PutLe16(extra, bits);                    // valid bits
    PutLe32(extra, channels == 2 ? 3u : 4u); // channel mask
    PutLe16(extra, subTag);                  // sub-format GUID
    const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    extra.insert(extra.end(), tail, tail + 14);
    return FmtBlock(0xFFFE, channels, rate, bits, true, extra);
}

struct Chunk {
    std::string id;
    std::vector<uint8_t> body;
    std::optional<uint32_t> declaredSize; // a size other than the body's
};

// RIFF form of the given chunks, each padded to an even length.
inline std::vector<uint8_t> Riff(const std::vector<Chunk>& chunks, const char* form = "WAVE",
                                 std::optional<uint32_t> riffSize = std::nullopt) {
    std::vector<uint8_t> body;
    PutId(body, form);
    for (const Chunk& c : chunks) {
        PutId(body, c.id.c_str());
        PutLe32(body, c.declaredSize ? *c.declaredSize : static_cast<uint32_t>(c.body.size()));
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.body.size() % 2 != 0) {
            body.push_back(0);
        }
    }
    std::vector<uint8_t> file;
    PutId(file, "RIFF");
    PutLe32(file, riffSize ? *riffSize : static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

inline std::vector<uint8_t> Wav(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& data,
                                std::vector<Chunk> after = {}) {
    std::vector<Chunk> chunks{{"fmt ", fmt, {}}, {"data", data, {}}};
    chunks.insert(chunks.end(), after.begin(), after.end());
    return Riff(chunks);
}

// Bytes 0, 1, 2, ... modulo 251, so every position of a frame can be checked.
inline std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(i % 251);
    }
    return v;
}

// 16-bit little-endian samples of a sine.
inline std::vector<uint8_t> Sine16(double freq, uint32_t rate, size_t frames, double amplitude,
                                   int channels = 1) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i < frames; ++i) {
        double x = amplitude * std::sin(2.0 * M_PI * freq * static_cast<double>(i) / rate);
        auto s = static_cast<int16_t>(std::lround(x));
        for (int c = 0; c < channels; ++c) {
            PutLe16(v, static_cast<uint16_t>(s));
        }
    }
    return v;
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/qvwavXXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() {
        std::string cmd = "rm -rf '" + path_ + "'";
        if (system(cmd.c_str()) != 0) {
            // Leftover temp files are harmless.
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::string file = path_ + "/" + name;
        FILE* f = std::fopen(file.c_str(), "wb");
        if (f != nullptr) {
            if (!bytes.empty()) {
                std::fwrite(bytes.data(), 1, bytes.size(), f);
            }
            std::fclose(f);
        }
        return file;
    }

private:
    std::string path_;
};

} // namespace wavtest
