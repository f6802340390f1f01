#include "media/graph/AudioSample.h"

#include <algorithm>

#include "media/base/RTPPacket.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/core/Clock.h"

namespace tamsor {

namespace {

constexpr int kMisuseMark = 1000;
constexpr uint32_t kMisuseSleepMs = 500;

} // namespace

AudioSample::AudioSample(std::shared_ptr<AudioSamplePool> pool)
    : data(new uint8_t[kBufferSize]()), manager(std::move(pool)) {
    SetComponentNameFor("AudioSample", this);
    LoadTraceLevel();
}

AudioSample::~AudioSample() {
    delete rtpHeader;
}

int AudioSample::LoadTraceLevel() {
    return LoadTraceLevelFrom("AudioSample");
}

int AudioSample::AddRef(const TraceComponent* /*owner*/) {
    int count;
    {
        plat::CriticalSectionLock guard(sampleLock);
        if (refCount != 0) {
            return ++refCount;
        }
        refCount = kMisuseMark;
        count = -10;
    }
    Trace(TRACE_FAILURE, "AddRef : sample is free\n");
    plat::SleepMs(kMisuseSleepMs);
    return count;
}

int AudioSample::Release(const TraceComponent* /*owner*/) {
    bool deleteSelf = false;
    int count;
    {
        plat::CriticalSectionLock guard(sampleLock);
        if (refCount < 1) {
            refCount = kMisuseMark;
            count = -10;
        } else {
            count = --refCount;
            if (count == 0) {
                if (rtpHeader) {
                    delete rtpHeader;
                    rtpHeader = nullptr;
                    dataSize = 0;
                }
                deleteSelf = !(manager && manager->PutFree(this));
            }
        }
    }
    if (count == -10) {
        Trace(TRACE_FAILURE, "Release : count below one\n");
        plat::SleepMs(kMisuseSleepMs);
    } else if (deleteSelf) {
        // The pool is gone: nothing will hand this sample out again.
        delete this;
    }
    return count;
}

int AudioSample::GetRefCount() {
    plat::CriticalSectionLock guard(sampleLock);
    return refCount;
}

int AudioSample::SetFormat(const WaveFormat& newFormat) {
    {
        plat::CriticalSectionLock guard(sampleLock);
        if (refCount > 1) {
            Trace(TRACE_FAILURE, "SetFormat : sample is shared\n");
            return 0;
        }
    }
    format = newFormat;
    switch (format.wFormatTag) {
    case WAVE_FORMAT_PCM:
        if (format.nSamplesPerSec == 0 || format.wBitsPerSample == 0 || format.nChannels == 0) {
            // No meaningful block: zero figures keep every division below safe.
            bytesPerBlock = 0;
            usPerBlock = 0;
        } else {
            bytesPerBlock = format.wBitsPerSample * format.nChannels / 8;
            usPerBlock = static_cast<int>(1000000u / format.nSamplesPerSec);
        }
        break;
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        bytesPerBlock = 1;
        usPerBlock = 125;
        break;
    case WAVE_FORMAT_G729:
        bytesPerBlock = 10;
        usPerBlock = 10000;
        break;
    case WAVE_FORMAT_G723_53:
        bytesPerBlock = 20;
        usPerBlock = 30000;
        break;
    case WAVE_FORMAT_G723_63:
        bytesPerBlock = 24;
        usPerBlock = 30000;
        break;
    default:
        break;
    }
    return 0;
}

int AudioSample::GetFormat(WaveFormat* destination) const {
    if (destination) {
        *destination = format;
    }
    return 0;
}

void AudioSample::SetDataSize(int n) {
    dataSize = std::clamp(n, 0, bufferSize);
    if (n > 0) {
        silenceMs = 0;
    }
}

int AudioSample::GetSilenceBytes() const {
    if (usPerBlock <= 0) {
        return 0;
    }
    int64_t bytes = static_cast<int64_t>(bytesPerBlock) * silenceMs * 1000 / usPerBlock;
    return static_cast<int>(bytes);
}

int AudioSample::GetDurationMs() const {
    if (bytesPerBlock <= 0) {
        return 0;
    }
    int64_t us = static_cast<int64_t>(usPerBlock) * dataSize / bytesPerBlock;
    return static_cast<int>(us / 1000);
}

RTPPacket* AudioSample::GetRTPHeader() {
    plat::CriticalSectionLock guard(sampleLock);
    return rtpHeader;
}

int AudioSample::SetRTPHeader(RTPPacket* header) {
    plat::CriticalSectionLock guard(sampleLock);
    if (header != rtpHeader) {
        delete rtpHeader;
        rtpHeader = header;
    }
    return 0;
}

bool AudioSample::IsEarlierThan(AudioSample* other) {
    if (!other) {
        return false;
    }
    uint32_t ts, otherTs;
    uint16_t seq, otherSeq;
    {
        plat::CriticalSectionLock guard(sampleLock);
        if (!rtpHeader) {
            return false;
        }
        ts = rtpHeader->timestamp;
        seq = rtpHeader->sequenceNumber;
    }
    {
        plat::CriticalSectionLock guard(other->sampleLock);
        if (!other->rtpHeader) {
            return false;
        }
        otherTs = other->rtpHeader->timestamp;
        otherSeq = other->rtpHeader->sequenceNumber;
    }
    if (ts != otherTs) {
        uint32_t d = ts > otherTs ? ts - otherTs : otherTs - ts;
        return d < 0x8FFFFFFFu ? ts < otherTs : ts > otherTs;
    }
    if (seq != otherSeq) {
        uint16_t d = static_cast<uint16_t>(seq > otherSeq ? seq - otherSeq : otherSeq - seq);
        return d < 0x8FFF ? seq < otherSeq : seq > otherSeq;
    }
    return false;
}

} // namespace tamsor
