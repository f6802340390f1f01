#pragma once
#include <cstdint>

#include "media/base/WaveFormat.h"
#include "platform/audio/WaveHeader.h"
#include "platform/core/Clock.h"

namespace tamsor {

// Helpers the speaker and the microphone share for talking to their wave device.

// The device layer's copy of a wave-format record.
inline plat::WaveDeviceFormat ToDeviceFormat(const WaveFormat& format) {
    plat::WaveDeviceFormat device;
    device.formatTag = format.wFormatTag;
    device.channels = format.nChannels;
    device.samplesPerSec = format.nSamplesPerSec;
    device.avgBytesPerSec = format.nAvgBytesPerSec;
    device.blockAlign = format.nBlockAlign;
    device.bitsPerSample = format.wBitsPerSample;
    return device;
}

// Calls `call` up to `tries` times, sleeping `retryMs` after each failure, until it succeeds.
// Returns the last result (MMSYSERR_ERROR when it was never called).
template <typename Call> plat::MMRESULT RetryDeviceCall(int tries, uint32_t retryMs, Call&& call) {
    plat::MMRESULT mr = plat::MMSYSERR_ERROR;
    for (int attempt = 0; attempt < tries; ++attempt) {
        mr = call();
        if (mr == plat::MMSYSERR_NOERROR) {
            break;
        }
        plat::SleepMs(retryMs);
    }
    return mr;
}

} // namespace tamsor
