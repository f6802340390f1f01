#pragma once
#include <atomic>
#include <cstdint>

namespace plat {

// Result numbers of the sound-device layer, numbered as the original platform numbers them so
// that trace lines print the same codes.
using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT MIXERR_INVALLINE = 1024;
constexpr MMRESULT MIXERR_INVALCONTROL = 1025;

// Device number of the default device.
constexpr int WAVE_MAPPER = -1;

// Header flags.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_BEGINLOOP = 0x04;
constexpr uint32_t WHDR_ENDLOOP = 0x08;
constexpr uint32_t WHDR_INQUEUE = 0x10;

// Callback messages.
constexpr uint32_t WOM_OPEN = 0x3BB;
constexpr uint32_t WOM_CLOSE = 0x3BC;
constexpr uint32_t WOM_DONE = 0x3BD;
constexpr uint32_t WIM_OPEN = 0x3BE;
constexpr uint32_t WIM_CLOSE = 0x3BF;
constexpr uint32_t WIM_DATA = 0x3C0;

// One buffer handed to a device. The caller owns it and its data; the layer only touches it
// between a successful Write/AddBuffer and the moment WHDR_DONE is set. dwFlags is written by
// the layer while the header is queued: read it after the done callback or after Reset.
struct WaveHeader {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    uint32_t dwFlags = 0;
    uint32_t dwLoops = 0;
};

// The PCM format a device is opened with (tag 1 only; 8 or 16 bits, 1 or 2 channels).
struct WaveDeviceFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 8000;
    uint32_t avgBytesPerSec = 16000;
    uint16_t blockAlign = 2;
    uint16_t bitsPerSample = 16;

    // Whether the layer can open a device with it.
    bool IsSupported() const {
        return formatTag == 1 && (channels == 1 || channels == 2) &&
               (bitsPerSample == 8 || bitsPerSample == 16) && samplesPerSec >= 1000 &&
               samplesPerSec <= 192000 && blockAlign == channels * bitsPerSample / 8 &&
               avgBytesPerSec == samplesPerSec * blockAlign;
    }
    bool operator==(const WaveDeviceFormat&) const = default;
};

// dwFlags of a queued header is shared between the layer's threads and the owner, which may
// poll it (for WHDR_DONE); both read and write it through these.
inline uint32_t LoadHeaderFlags(const WaveHeader& header) {
    return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(header.dwFlags)).load();
}
inline void StoreHeaderFlags(WaveHeader& header, uint32_t flags) {
    std::atomic_ref<uint32_t>(header.dwFlags).store(flags);
}
inline void SetHeaderFlags(WaveHeader& header, uint32_t set, uint32_t clear = 0) {
    std::atomic_ref<uint32_t> flags(header.dwFlags);
    uint32_t old = flags.load();
    while (!flags.compare_exchange_weak(old, (old & ~clear) | set)) {
    }
}

} // namespace plat
