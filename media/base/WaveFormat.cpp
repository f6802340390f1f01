#include "media/base/WaveFormat.h"

#include "media/base/TraceComponent.h"
#include "platform/core/ByteOrder.h"

namespace tamsor {

namespace {

WaveFormat Mono8k(uint16_t tag, uint32_t avgBytes, uint16_t blockAlign, uint16_t bits) {
    WaveFormat f;
    f.wFormatTag = tag;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = avgBytes;
    f.nBlockAlign = blockAlign;
    f.wBitsPerSample = bits;
    f.cbSize = 0;
    return f;
}

} // namespace

WaveFormat WaveFormat::FromBytes(const uint8_t* bytes, size_t size) {
    uint8_t block[kSerializedSize] = {};
    for (size_t i = 0; i < size && i < kSerializedSize; ++i) {
        block[i] = bytes[i];
    }
    WaveFormat f;
    f.wFormatTag = plat::ReadLe16(block);
    f.nChannels = plat::ReadLe16(block + 2);
    f.nSamplesPerSec = plat::ReadLe32(block + 4);
    f.nAvgBytesPerSec = plat::ReadLe32(block + 8);
    f.nBlockAlign = plat::ReadLe16(block + 12);
    f.wBitsPerSample = plat::ReadLe16(block + 14);
    f.cbSize = plat::ReadLe16(block + 16);
    return f;
}

void WaveFormat::ToBytes(uint8_t out[kSerializedSize]) const {
    plat::WriteLe16(out, wFormatTag);
    plat::WriteLe16(out + 2, nChannels);
    plat::WriteLe32(out + 4, nSamplesPerSec);
    plat::WriteLe32(out + 8, nAvgBytesPerSec);
    plat::WriteLe16(out + 12, nBlockAlign);
    plat::WriteLe16(out + 14, wBitsPerSample);
    plat::WriteLe16(out + 16, cbSize);
}

WaveFormat MakeWaveFormat(unsigned index) {
    switch (index) {
    case FORMAT_G711_ULAW:
        return Mono8k(WAVE_FORMAT_MULAW, 8000, 1, 8);
    case FORMAT_G711_ALAW:
        return Mono8k(WAVE_FORMAT_ALAW, 8000, 1, 8);
    case FORMAT_G729:
        return Mono8k(WAVE_FORMAT_G729, 1000, 1, 8);
    case FORMAT_G723:
    case FORMAT_G723_B:
        return Mono8k(WAVE_FORMAT_G723_63, 800, 1, 8);
    default:
        return Mono8k(WAVE_FORMAT_PCM, 16000, 2, 16);
    }
}

bool IsReceiveCodecSelector(int selector) {
    return selector == CODEC_BY_PAYLOAD_TYPE || selector == CODEC_G711_ALAW ||
           selector == CODEC_G711_ULAW;
}

bool IsTransmitCodecSelector(int selector) {
    return selector == CODEC_G711_ALAW || selector == CODEC_G711_ULAW;
}

void TraceWaveFormat(const TraceComponent& component, uint32_t level, const WaveFormat& format) {
    component.Trace(level,
                    "WAVEFORMATEX wFormatTag=%u, nAvgBytesPerSec=%u, nSamplesPerSec=%u, "
                    "wBitsPerSample=%u, nChannels=%u, nBlockAlign=%u, cbSize=%u\n",
                    format.wFormatTag, format.nAvgBytesPerSec, format.nSamplesPerSec,
                    format.wBitsPerSample, format.nChannels, format.nBlockAlign, format.cbSize);
}

} // namespace tamsor
