#pragma once
#include <cstdint>
#include <memory>

#include "media/base/TraceComponent.h"
#include "media/base/WaveFormat.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

class RTPPacket;
class AudioSamplePool;

// A reference-counted 3200-byte audio buffer with its format, data length, optional RTP
// header and, when it carries no data, the silence duration it stands for. Samples come from
// and return to the process-wide pool (AudioSampleManager).
//
// Threads: AddRef, Release, GetRTPHeader and SetRTPHeader may be called from any thread and
// take sampleLock. Data, length, silence and format are written only by the component that took
// the sample from the pool, before it passes the sample on; later holders only read them.
class AudioSample : public TraceComponent {
public:
    static constexpr int kBufferSize = 3200;

    explicit AudioSample(std::shared_ptr<AudioSamplePool> pool);
    ~AudioSample() override;

    int LoadTraceLevel() override;

    // Reference counting; both return the new count, or -10 on a misuse (AddRef on a free
    // sample, Release below one), which marks the sample 1000 so it never returns to the pool.
    int AddRef(const TraceComponent* owner);
    int Release(const TraceComponent* owner);
    int GetRefCount();

    // Copies the format and sets the block figures; ignored while the sample is shared.
    int SetFormat(const WaveFormat& format);
    int GetFormat(WaveFormat* destination) const;
    const WaveFormat& Format() const { return format; }

    int GetBufferSize() const { return bufferSize; }
    uint8_t* GetData() { return data.get(); }
    const uint8_t* GetData() const { return data.get(); }
    int GetDataSize() const { return dataSize; }
    // Stores n, clamped to 0..3200; a length above 0 clears the silence duration.
    void SetDataSize(int n);
    int GetSilenceMs() const { return silenceMs; }
    void SetSilenceMs(int ms) { silenceMs = ms; }
    // The silence in bytes of this format (320 for 20 ms of 8 kHz 16-bit mono).
    int GetSilenceBytes() const;
    // The data's duration in ms (20 for 320 bytes of 8 kHz 16-bit mono, or 160 of G.711).
    int GetDurationMs() const;
    int GetBytesPerBlock() const { return bytesPerBlock; }
    int GetMicrosecondsPerBlock() const { return usPerBlock; }

    RTPPacket* GetRTPHeader();
    // Takes ownership of the record, deleting the one held before.
    int SetRTPHeader(RTPPacket* header);

    // RTP playout order by timestamp, then sequence number, both modulo their width.
    bool IsEarlierThan(AudioSample* other);
    bool IsNotEarlierThan(AudioSample* other) { return !IsEarlierThan(other); }

private:
    friend class AudioSamplePool;
    friend class AudioSampleManager;

    WaveFormat format;
    int bufferSize = kBufferSize;
    int dataSize = 0;
    std::unique_ptr<uint8_t[]> data;
    RTPPacket* rtpHeader = nullptr;
    int refCount = 0;
    int silenceMs = 0;
    std::shared_ptr<AudioSamplePool> manager;
    int bytesPerBlock = 0;
    int usPerBlock = 0;
    plat::CriticalSection sampleLock;
    AudioSample* nextFree = nullptr; // the pool's free-list link, guarded by its lock
};

} // namespace tamsor
