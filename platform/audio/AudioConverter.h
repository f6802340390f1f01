#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct SpeexResamplerState_;

namespace plat {

// The fields of a wave-format block ("fmt " chunk), read little-endian. For the extensible
// form the sub-format's tag replaces the format tag.
struct AudioFormatInfo {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
};

enum class ConverterError {
    None,
    ShortFormat,     // fewer than 16 bytes, or an extensible block without its extension
    UnsupportedTag,  // not PCM, IEEE float, A-law or mu-law
    BadChannels,     // not 1 or 2
    BadRate,         // 0 samples per second
    BadBits,         // not 8, 16, 24 or 32 (float: 32; G.711: 8)
    BadBlockAlign,   // not channels x bytes per sample
    BadAvgBytes,     // not samples per second x block align
    BadOutput,       // an output rate of 0
    ResamplerFailed, // the resampler could not be created
};

const char* ConverterErrorText(ConverterError error);

// Converts wave audio to 16-bit little-endian mono PCM at a fixed rate (8000 Hz unless told
// otherwise), in place of the audio compression manager's conversion streams. Decodes
// unsigned 8-bit, signed 16/24/32-bit and 32-bit float PCM, A-law and mu-law, mono or stereo
// (stereo is averaged), at any rate; rate changes go through the speexdsp resampler.
//
// Only whole source blocks are converted: bytes that do not fill a block are kept and
// converted in front of the next call's input. The resampler keeps its own history, so a
// stream cut into pieces converts the same as in one piece.
//
// One thread uses a converter at a time (callers serialise Open, Convert and Close).
class AudioConverter {
public:
    static constexpr uint32_t kDefaultOutputRate = 8000;
    static constexpr int kResamplerQuality = 5;

    AudioConverter() = default;
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // Parses and validates a whole format block. The result describes the problem, if any.
    static ConverterError ParseFormat(const uint8_t* block, size_t size, AudioFormatInfo* info);

    // Opens a conversion from the given format block. A converter that is open is closed
    // first. On failure the converter stays closed.
    ConverterError Open(const uint8_t* formatBlock, size_t size,
                        uint32_t outputRate = kDefaultOutputRate);
    void Close();
    bool IsOpen() const { return open_; }
    const AudioFormatInfo& SourceFormat() const { return source_; }

    // Converts the bytes kept from the last call followed by `input`; appends the converted
    // 16-bit values to `output` as little-endian bytes. Returns the number of bytes appended.
    size_t Convert(const uint8_t* input, size_t size, std::vector<uint8_t>* output);
    // Input bytes kept for the next call (always less than one block).
    size_t PendingBytes() const { return pending_.size(); }
    // Drops the kept bytes and the resampler's history.
    void Reset();

private:
    void DecodeBlocks(const uint8_t* data, size_t blocks);
    void Emit(const float* samples, size_t count, std::vector<uint8_t>* output);

    bool open_ = false;
    AudioFormatInfo source_;
    uint32_t outputRate_ = kDefaultOutputRate;
    SpeexResamplerState_* resampler_ = nullptr;
    std::vector<uint8_t> pending_;
    std::vector<float> mono_;      // decoded input, mono, -32768..32767
    std::vector<float> resampled_; // resampler output
};

} // namespace plat
