#include "media/codec/G711Codec.h"

#include <array>

namespace tamsor {

namespace {

// Encoding: the index is the 14-bit two's complement of the sample divided by 4 (truncated
// toward zero), so one table of 16384 codes per law covers every 16-bit input.
constexpr int kEncodeEntries = 16384;

constexpr uint8_t MuLawCode(int v) {
    constexpr int kSegmentEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
    const bool negative = v < 0;
    int magnitude = negative ? -v : v;
    if (magnitude > 8159) {
        magnitude = 8159;
    }
    const int m = magnitude + 33;
    int segment = 0;
    while (segment < 8 && m > kSegmentEnd[segment]) {
        ++segment;
    }
    if (segment == 8) {
        return negative ? 0x00 : 0x80;
    }
    const int code = segment * 16 + ((m >> (segment + 1)) & 0xF);
    return static_cast<uint8_t>(code ^ (negative ? 0x7F : 0xFF));
}

constexpr uint8_t ALawCode(int v) {
    constexpr int kSegmentEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    const bool negative = v < 0;
    int m = (negative ? -v : v) >> 1;
    if (m > 4095) {
        m = 4095;
    }
    int segment = 0;
    while (segment < 7 && m > kSegmentEnd[segment]) {
        ++segment;
    }
    const int q = (segment < 2 ? (m >> 1) : (m >> segment)) & 0xF;
    return static_cast<uint8_t>((segment * 16 + q) ^ (negative ? 0x55 : 0xD5));
}

template <uint8_t (*Code)(int)> constexpr std::array<uint8_t, kEncodeEntries> MakeEncodeTable() {
    std::array<uint8_t, kEncodeEntries> table{};
    for (int i = 0; i < kEncodeEntries; ++i) {
        table[i] = Code(i < 8192 ? i : i - 16384);
    }
    return table;
}

// Decoding: the G.711 decoder's output levels scaled to 16 bits (µ-law x4, A-law x8).
constexpr int16_t MuLawValue(uint8_t code) {
    const int c = static_cast<uint8_t>(~code);
    int t = ((c & 0x0F) << 3) + 0x84;
    t <<= (c & 0x70) >> 4;
    return static_cast<int16_t>((c & 0x80) ? 0x84 - t : t - 0x84);
}

constexpr int16_t ALawValue(uint8_t code) {
    const int c = code ^ 0x55;
    int t = (c & 0x0F) << 4;
    const int segment = (c & 0x70) >> 4;
    if (segment == 0) {
        t += 8;
    } else {
        t = (t + 0x108) << (segment - 1);
    }
    return static_cast<int16_t>((c & 0x80) ? t : -t);
}

template <int16_t (*Value)(uint8_t)> constexpr std::array<int16_t, 256> MakeDecodeTable() {
    std::array<int16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        table[i] = Value(static_cast<uint8_t>(i));
    }
    return table;
}

constexpr std::array<uint8_t, kEncodeEntries> kMuLawEncode = MakeEncodeTable<MuLawCode>();
constexpr std::array<uint8_t, kEncodeEntries> kALawEncode = MakeEncodeTable<ALawCode>();
constexpr std::array<int16_t, 256> kMuLawDecode = MakeDecodeTable<MuLawValue>();
constexpr std::array<int16_t, 256> kALawDecode = MakeDecodeTable<ALawValue>();

static_assert(kMuLawEncode[0] == 0xFF && kALawEncode[0] == 0xD5);
static_assert(kMuLawDecode[0x00] == -32124 && kALawDecode[0xAA] == 32256);

inline unsigned IndexOf(int16_t sample) {
    // Division truncates toward zero, so -1..-3 share index 0 with 0..3.
    return static_cast<unsigned>(sample / 4) & 0x3FFF;
}

} // namespace

uint8_t G711Codec::EncodeSample(int16_t sample, int32_t law) {
    return law == kALaw ? kALawEncode[IndexOf(sample)] : kMuLawEncode[IndexOf(sample)];
}

int16_t G711Codec::DecodeSample(uint8_t code, int32_t law) {
    return law == kALaw ? kALawDecode[code] : kMuLawDecode[code];
}

int G711Codec::Encode(const uint8_t* input, int32_t inputLength, uint8_t* output, int32_t* count) {
    const int32_t k = inputLength > 0 ? inputLength / 2 : 0;
    if (!count || *count < k || (k > 0 && (!input || !output))) {
        if (count) {
            *count = 0;
        }
        return -10;
    }
    const uint8_t* table = law == kALaw ? kALawEncode.data() : kMuLawEncode.data();
    for (int32_t i = 0; i < k; ++i) {
        const auto sample =
            static_cast<int16_t>(static_cast<uint16_t>(input[2 * i] | (input[2 * i + 1] << 8)));
        output[i] = table[IndexOf(sample)];
    }
    *count = k;
    return 0;
}

int G711Codec::Decode(const uint8_t* input, int32_t inputLength, uint8_t* output, int32_t* count) {
    const int32_t n = inputLength > 0 ? inputLength : 0;
    if (!count || static_cast<int64_t>(n) * 2 > *count || (n > 0 && (!input || !output))) {
        if (count) {
            *count = 0;
        }
        return -10;
    }
    const int16_t* table = law == kALaw ? kALawDecode.data() : kMuLawDecode.data();
    for (int32_t i = 0; i < n; ++i) {
        const auto value = static_cast<uint16_t>(table[input[i]]);
        output[2 * i] = static_cast<uint8_t>(value & 0xFF);
        output[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    *count = 2 * n;
    return 0;
}

} // namespace tamsor
