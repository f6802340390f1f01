#include "platform/audio/AudioConverter.h"
#include "platform/core/ByteOrder.h"

#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plat {

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagALaw = 6;
constexpr uint16_t kTagMuLaw = 7;
constexpr uint16_t kTagExtensible = 0xFFFE;

// Highest input rate accepted; it bounds the resampler's filter length.
constexpr uint32_t kMaxRate = 384000;

// The bytes of the extensible sub-format GUID after its leading tag:
// {xxxxxxxx-0000-0010-8000-00AA00389B71}.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

int16_t MuLawToLinear(uint8_t value) {
    uint8_t u = static_cast<uint8_t>(~value);
    int exponent = (u >> 4) & 0x07;
    int mantissa = u & 0x0F;
    int magnitude = (((mantissa << 3) + 0x84) << exponent) - 0x84;
    return static_cast<int16_t>((u & 0x80) ? -magnitude : magnitude);
}

int16_t ALawToLinear(uint8_t value) {
    uint8_t a = static_cast<uint8_t>(value ^ 0x55);
    int magnitude = (a & 0x0F) << 4;
    int segment = (a & 0x70) >> 4;
    if (segment == 0) {
        magnitude += 8;
    } else {
        magnitude = (magnitude + 0x108) << (segment - 1);
    }
    return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

struct G711Tables {
    float mu[256];
    float a[256];
    G711Tables() {
        for (int i = 0; i < 256; ++i) {
            mu[i] = MuLawToLinear(static_cast<uint8_t>(i));
            a[i] = ALawToLinear(static_cast<uint8_t>(i));
        }
    }
};

const G711Tables& Tables() {
    static const G711Tables tables;
    return tables;
}

// One value of a channel, scaled to the 16-bit range.
float DecodeValue(const AudioFormatInfo& f, const uint8_t* p) {
    switch (f.formatTag) {
    case kTagMuLaw:
        return Tables().mu[*p];
    case kTagALaw:
        return Tables().a[*p];
    case kTagFloat: {
        float v;
        uint32_t bits = plat::ReadLe32(p);
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) {
            return 0.0f;
        }
        return std::clamp(v, -1.0f, 1.0f) * 32768.0f;
    }
    default:
        break;
    }
    switch (f.bitsPerSample) {
    case 8:
        return (static_cast<float>(*p) - 128.0f) * 256.0f;
    case 16:
        return static_cast<float>(static_cast<int16_t>(plat::ReadLe16(p)));
    case 24: {
        int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                         static_cast<uint32_t>(p[1]) << 16 |
                                         static_cast<uint32_t>(p[2]) << 24);
        return static_cast<float>(v >> 8) / 256.0f;
    }
    default: // 32
        return static_cast<float>(static_cast<int32_t>(plat::ReadLe32(p))) / 65536.0f;
    }
}

} // namespace

const char* ConverterErrorText(ConverterError error) {
    switch (error) {
    case ConverterError::None:
        return "no error";
    case ConverterError::ShortFormat:
        return "format block too short";
    case ConverterError::UnsupportedTag:
        return "unsupported format tag";
    case ConverterError::BadChannels:
        return "channel count not 1 or 2";
    case ConverterError::BadRate:
        return "sample rate out of range";
    case ConverterError::BadBits:
        return "unsupported bits per sample";
    case ConverterError::BadBlockAlign:
        return "block align does not match channels and bits";
    case ConverterError::BadAvgBytes:
        return "average bytes per second does not match rate and block align";
    case ConverterError::BadOutput:
        return "output rate is 0";
    case ConverterError::ResamplerFailed:
        return "resampler could not be created";
    }
    return "unknown error";
}

ConverterError AudioConverter::ParseFormat(const uint8_t* block, size_t size,
                                           AudioFormatInfo* info) {
    if (block == nullptr || size < 16) {
        return ConverterError::ShortFormat;
    }
    AudioFormatInfo f;
    f.formatTag = plat::ReadLe16(block);
    f.channels = plat::ReadLe16(block + 2);
    f.samplesPerSec = plat::ReadLe32(block + 4);
    f.avgBytesPerSec = plat::ReadLe32(block + 8);
    f.blockAlign = plat::ReadLe16(block + 12);
    f.bitsPerSample = plat::ReadLe16(block + 14);
    if (f.formatTag == kTagExtensible) {
        // cbSize, valid bits, channel mask, then the sub-format GUID.
        if (size < 40 || plat::ReadLe16(block + 16) < 22) {
            return ConverterError::ShortFormat;
        }
        if (std::memcmp(block + 26, kGuidTail, sizeof kGuidTail) != 0) {
            return ConverterError::UnsupportedTag;
        }
        f.formatTag = plat::ReadLe16(block + 24);
    }
    switch (f.formatTag) {
    case kTagPcm:
        if (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 24 &&
            f.bitsPerSample != 32) {
            return ConverterError::BadBits;
        }
        break;
    case kTagFloat:
        if (f.bitsPerSample != 32) {
            return ConverterError::BadBits;
        }
        break;
    case kTagALaw:
    case kTagMuLaw:
        if (f.bitsPerSample != 8) {
            return ConverterError::BadBits;
        }
        break;
    default:
        return ConverterError::UnsupportedTag;
    }
    if (f.channels < 1 || f.channels > 2) {
        return ConverterError::BadChannels;
    }
    if (f.samplesPerSec == 0 || f.samplesPerSec > kMaxRate) {
        return ConverterError::BadRate;
    }
    if (f.blockAlign != f.channels * (f.bitsPerSample / 8)) {
        return ConverterError::BadBlockAlign;
    }
    if (static_cast<uint64_t>(f.avgBytesPerSec) !=
        static_cast<uint64_t>(f.samplesPerSec) * f.blockAlign) {
        return ConverterError::BadAvgBytes;
    }
    if (info != nullptr) {
        *info = f;
    }
    return ConverterError::None;
}

AudioConverter::~AudioConverter() {
    Close();
}

ConverterError AudioConverter::Open(const uint8_t* formatBlock, size_t size, uint32_t outputRate) {
    Close();
    AudioFormatInfo info;
    ConverterError error = ParseFormat(formatBlock, size, &info);
    if (error != ConverterError::None) {
        return error;
    }
    if (outputRate == 0 || outputRate > kMaxRate) {
        return ConverterError::BadOutput;
    }
    if (info.samplesPerSec != outputRate) {
        int err = 0;
        resampler_ =
            speex_resampler_init(1, info.samplesPerSec, outputRate, kResamplerQuality, &err);
        if (resampler_ == nullptr || err != RESAMPLER_ERR_SUCCESS) {
            if (resampler_ != nullptr) {
                speex_resampler_destroy(resampler_);
                resampler_ = nullptr;
            }
            return ConverterError::ResamplerFailed;
        }
        speex_resampler_skip_zeros(resampler_);
    }
    source_ = info;
    outputRate_ = outputRate;
    pending_.clear();
    open_ = true;
    return ConverterError::None;
}

void AudioConverter::Close() {
    if (resampler_ != nullptr) {
        speex_resampler_destroy(resampler_);
        resampler_ = nullptr;
    }
    pending_.clear();
    open_ = false;
}

void AudioConverter::Reset() {
    pending_.clear();
    if (resampler_ != nullptr) {
        speex_resampler_reset_mem(resampler_);
        speex_resampler_skip_zeros(resampler_);
    }
}

void AudioConverter::DecodeBlocks(const uint8_t* data, size_t blocks) {
    const size_t bytesPerValue = source_.bitsPerSample / 8;
    const size_t align = source_.blockAlign;
    mono_.resize(blocks);
    if (source_.channels == 1) {
        for (size_t i = 0; i < blocks; ++i) {
            mono_[i] = DecodeValue(source_, data + i * align);
        }
    } else {
        for (size_t i = 0; i < blocks; ++i) {
            const uint8_t* p = data + i * align;
            mono_[i] = 0.5f * (DecodeValue(source_, p) + DecodeValue(source_, p + bytesPerValue));
        }
    }
}

void AudioConverter::Emit(const float* samples, size_t count, std::vector<uint8_t>* output) {
    size_t start = output->size();
    output->resize(start + count * 2);
    uint8_t* out = output->data() + start;
    for (size_t i = 0; i < count; ++i) {
        float v = std::isfinite(samples[i]) ? std::nearbyint(samples[i]) : 0.0f;
        v = std::clamp(v, -32768.0f, 32767.0f);
        auto value = static_cast<uint16_t>(static_cast<int16_t>(v));
        out[2 * i] = static_cast<uint8_t>(value & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
}

size_t AudioConverter::Convert(const uint8_t* input, size_t size, std::vector<uint8_t>* output) {
    if (!open_ || output == nullptr || (input == nullptr && size > 0)) {
        return 0;
    }
    const size_t align = source_.blockAlign;
    const size_t before = output->size();

    // Complete the kept partial block first, then convert the whole blocks of the input in
    // place, then keep what is left.
    if (!pending_.empty()) {
        size_t need = align - pending_.size();
        size_t take = std::min(need, size);
        pending_.insert(pending_.end(), input, input + take);
        input += take;
        size -= take;
        if (pending_.size() < align) {
            return 0;
        }
    }
    const size_t blocks = size / align;
    const size_t pendingBlocks = pending_.empty() ? 0 : 1;
    mono_.clear();
    if (pendingBlocks != 0) {
        DecodeBlocks(pending_.data(), 1);
        float first = mono_[0];
        DecodeBlocks(input, blocks);
        mono_.insert(mono_.begin(), first);
        pending_.clear();
    } else {
        DecodeBlocks(input, blocks);
    }
    pending_.assign(input + blocks * align, input + size);

    const size_t count = mono_.size();
    if (count == 0) {
        return 0;
    }
    if (resampler_ == nullptr) {
        Emit(mono_.data(), count, output);
        return output->size() - before;
    }
    size_t consumed = 0;
    while (consumed < count) {
        size_t room = static_cast<size_t>((static_cast<uint64_t>(count - consumed) * outputRate_) /
                                          source_.samplesPerSec) +
                      16;
        resampled_.resize(room);
        spx_uint32_t inLen = static_cast<spx_uint32_t>(count - consumed);
        spx_uint32_t outLen = static_cast<spx_uint32_t>(room);
        speex_resampler_process_float(resampler_, 0, mono_.data() + consumed, &inLen,
                                      resampled_.data(), &outLen);
        Emit(resampled_.data(), outLen, output);
        consumed += inLen;
        if (inLen == 0 && outLen == 0) {
            break; // no progress possible; should not happen with room for the output
        }
    }
    return output->size() - before;
}

} // namespace plat
