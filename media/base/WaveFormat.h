#pragma once
#include <cstddef>
#include <cstdint>

namespace tamsor {

class TraceComponent;

// Wave format tags.
constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_ALAW = 6;
constexpr uint16_t WAVE_FORMAT_MULAW = 7;
// Private tags of this engine.
constexpr uint16_t WAVE_FORMAT_G729 = 0xFE01;
constexpr uint16_t WAVE_FORMAT_G723_53 = 0xFE02;
constexpr uint16_t WAVE_FORMAT_G723_63 = 0xFE03;

// Codec selectors passed to the receive and transmit codec operations.
constexpr int CODEC_BY_PAYLOAD_TYPE = 0; // receive only: decode each packet by its payload type
constexpr int CODEC_G711_ALAW = 2;       // RTP payload type 8
constexpr int CODEC_G711_ULAW = 4;       // RTP payload type 0

// Format indexes of MakeWaveFormat.
enum WaveFormatIndex : unsigned {
    FORMAT_G711_ULAW = 0,
    FORMAT_G711_ALAW = 1,
    FORMAT_G729 = 2,
    FORMAT_G723 = 3,
    FORMAT_G723_B = 4,
    FORMAT_PCM16 = 5,
};

// The wave-format record carried by every audio sample. On disk and on the wire it is the
// 18-byte little-endian layout; in memory it is an ordinary struct.
struct WaveFormat {
    static constexpr size_t kSerializedSize = 18;

    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;

    // Reads the record from up to 18 little-endian bytes; a shorter block leaves the missing
    // fields 0 (a 16-byte PCM block has no extra-size field).
    static WaveFormat FromBytes(const uint8_t* bytes, size_t size);
    void ToBytes(uint8_t out[kSerializedSize]) const;

    bool operator==(const WaveFormat&) const = default;
};

// The record for a format index; every format is mono at 8000 samples per second. An index
// above 5 gives linear PCM as well.
WaveFormat MakeWaveFormat(unsigned index);

// Whether the selector names a codec for receiving / for sending.
bool IsReceiveCodecSelector(int selector);
bool IsTransmitCodecSelector(int selector);

// Writes the format as one line to a component's trace at the given level.
void TraceWaveFormat(const TraceComponent& component, uint32_t level, const WaveFormat& format);

} // namespace tamsor
