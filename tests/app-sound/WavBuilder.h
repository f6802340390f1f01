#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/audio/WaveHeader.h"
#include "platform/core/ByteOrder.h"

namespace soundtest {

// A wave file laid out byte by byte, so a test can cut or bend any chunk.
struct WavSpec {
    const char* form = "WAVE";
    bool withFmt = true;
    uint32_t fmtSize = 16;   // declared size of "fmt "
    int64_t fmtPresent = -1; // bytes of it written (-1: fmtSize, and a pad byte when odd)
    plat::WaveDeviceFormat format;
    bool withData = true;
    std::vector<uint8_t> data;
    int64_t dataDeclared = -1; // -1: data.size()
};

inline std::vector<uint8_t> BuildWav(const WavSpec& spec) {
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    auto putId = [&](const char* id) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(id[i]));
        }
    };
    putId("RIFF");
    put32(0); // patched below
    putId(spec.form);
    if (spec.withFmt) {
        putId("fmt ");
        put32(spec.fmtSize);
        size_t present = spec.fmtPresent < 0 ? spec.fmtSize + (spec.fmtSize & 1u)
                                             : static_cast<size_t>(spec.fmtPresent);
        std::vector<uint8_t> fmt(std::max<size_t>(present, 18), 0);
        plat::WriteLe16(&fmt[0], spec.format.formatTag);
        plat::WriteLe16(&fmt[2], spec.format.channels);
        plat::WriteLe32(&fmt[4], spec.format.samplesPerSec);
        plat::WriteLe32(&fmt[8], spec.format.avgBytesPerSec);
        plat::WriteLe16(&fmt[12], spec.format.blockAlign);
        plat::WriteLe16(&fmt[14], spec.format.bitsPerSample);
        plat::WriteLe16(&fmt[16], spec.fmtSize > 16 ? 0x7777 : 0); // an extra size to ignore
        out.insert(out.end(), fmt.begin(), fmt.begin() + static_cast<std::ptrdiff_t>(present));
    }
    if (spec.withData) {
        putId("data");
        put32(static_cast<uint32_t>(spec.dataDeclared < 0 ? spec.data.size() : spec.dataDeclared));
        out.insert(out.end(), spec.data.begin(), spec.data.end());
    }
    plat::WriteLe32(&out[4], static_cast<uint32_t>(out.size() - 8));
    return out;
}

// `count` 16-bit samples of one value: what a device played shows which file it came from.
inline std::vector<uint8_t> Samples(size_t count, int16_t value) {
    std::vector<uint8_t> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(&bytes[2 * i], &value, 2);
    }
    return bytes;
}

inline plat::WaveDeviceFormat Format(uint32_t rate, uint16_t channels) {
    plat::WaveDeviceFormat f;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.blockAlign = static_cast<uint16_t>(channels * 2);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

} // namespace soundtest
