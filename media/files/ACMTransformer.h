#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

#include "media/base/WaveFormat.h"
#include "media/graph/AudioTransformer.h"
#include "platform/audio/AudioConverter.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

// Converts audio from one wave format to 16-bit mono PCM and decouples two paces: the thread
// of an upstream source pushes samples in (RenderAudioSamples), which are converted and queued;
// the consumer downstream pulls fixed frames out (GenerateData). The queue holds at most
// 16000 bytes, so a fast source is held back by the consumer. A push never travels further
// downstream: only the consumer's thread drives what follows this node.
//
// Threads:
// - the pushing source thread: RenderAudioSamples, GetBuffer, ReleaseBuffer, AddConvertedData;
// - the consumer thread: GenerateData;
// - the owner's thread: the setters, StartTransform/StopTransform, FlushBuffer.
// Locks: stateMutex serialises TransformStarted/TransformStopped; inside it the others are
// taken one at a time. formatMutex guards the three format fields (the consumer reads the
// destination format on every pull, also while a stop drains). outputQueueMutex guards the queue;
// freeBuffersMutex guards freeBuffers; acmMutex guards the converter. No lock is held while
// waiting. bRunning and frameLength are atomic.
class ACMTransformer : public AudioTransformer {
public:
    static constexpr int kBufferSize = 16000;
    // A draining stop gives up when the consumer has taken nothing for this long.
    static constexpr uint32_t kDrainIdleLimitMs = 1000;
    // Waits are cut into slices of this length so that every waiter re-checks its condition.
    static constexpr uint32_t kWaitSliceMs = 20;

    // One conversion buffer; a free header is the pusher's permission to convert.
    struct ConversionHeader {
        std::vector<uint8_t> destination;
    };

    ACMTransformer();
    ~ACMTransformer() override;

    int LoadTraceLevel() override;

    // The 18-byte record (no extra bytes). Returns 0.
    int SetSourceFormat(const WaveFormat& format);
    // A whole fmt block, extra bytes included. Returns 0, or -10 when the converter cannot
    // take the format (the previous source format is kept).
    int SetSourceFormat(const uint8_t* block, size_t size);
    // Only 16-bit mono PCM can be produced; any other format makes the next start fail.
    int SetDestinationFormat(const WaveFormat& format);
    int SetFrameLength(int ms);
    int FlushBuffer();

    int TransformStarted() override;
    int TransformStopped() override;
    int RenderAudioSamples(AudioSampleList& samples) override;
    int GenerateData(AudioSample** out) override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;

    ConversionHeader* GetBuffer();
    void ReleaseBuffer(ConversionHeader* header);
    int AddConvertedData(const uint8_t* bytes, int count);

    bool IsRunning() const { return bRunning.load(); }
    int GetQueuedBytes();
    WaveFormat GetDestinationFormat();

private:
    int FrameBytes(const WaveFormat& destination) const;

    WaveFormat sourceFormat;
    std::vector<uint8_t> sourceBlock; // the whole fmt block handed to the converter
    WaveFormat destinationFormat;
    plat::AudioConverter converter;
    ConversionHeader acmHeader;
    std::vector<uint8_t> outputQueue; // ring of kBufferSize bytes
    size_t queueHead = 0;
    size_t queueCount = 0;
    std::deque<ConversionHeader*> freeBuffers;
    plat::CriticalSection outputQueueMutex;
    plat::CriticalSection freeBuffersMutex;
    plat::CriticalSection stateMutex;
    plat::CriticalSection formatMutex;
    plat::CriticalSection acmMutex;
    plat::AutoResetEvent freeBuffersEvent;
    plat::AutoResetEvent outputDequeueEvent;
    std::atomic<int> frameLength{20};
    std::atomic<bool> bRunning{false};
};

} // namespace tamsor
