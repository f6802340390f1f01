#pragma once
#include <cstdint>
#include <vector>

#include "media/base/TraceComponent.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

class AudioSample;

// The playout queue of one RTP synchronisation source: samples ordered by RTP timestamp and
// sequence number in a binary heap. Playout waits until restartThreshold ms are queued, repeats
// the last frame over short gaps (a frame goes out at most five times), and, with the dynamic
// jitter buffer on, moves the threshold about every hundred frames handed out.
//
// Threads: the jitter buffer calls InsertRTPPacket on the receiver's thread and
// GiveNextRTPPacket on the speaker's thread. streamLock (re-entrant) guards every field,
// adaptationCounter and underrunCount included; lastUse is written under the jitter buffer's
// stream-map lock.
class RTPAudioStream : public TraceComponent {
public:
    // Most packets one stream queues; later ones are dropped until it drains.
    static constexpr size_t kMaxPackets = 200;
    // The target depth a stream starts with, and the lowest the adaptation takes it to.
    static constexpr int kInitialRestartThresholdMs = 100;
    static constexpr int kThresholdFloorMs = 40;

    explicit RTPAudioStream(uint32_t ssrc);
    ~RTPAudioStream() override;

    int LoadTraceLevel() override;

    int InsertRTPPacket(AudioSample* sample);
    int AddPacket(AudioSample* sample);
    int PopNextPacket(AudioSample** out);
    int GiveNextRTPPacket(AudioSample** out);
    int Reset();

    int GetNumPackets();
    int GetQueuedMs();
    int GetSSRC();
    int GetRestartThreshold();
    bool IsBuffering();

    // Bookkeeping of the jitter buffer (its stream-map lock): when the stream was last fed.
    uint64_t lastUse = 0;

protected:
    bool TakeNextPacket(AudioSample** out);
    void PushHeap(AudioSample* sample);
    AudioSample* PopHeap();
    void DropLastAudioSample();
    // Hands out another reference to the last frame.
    void RepeatLast(AudioSample** out);

    std::vector<AudioSample*> packetQueue;
    uint32_t ssrc;
    int32_t queuedMs = 0;
    int32_t restartThreshold = kInitialRestartThresholdMs;
    int32_t lastDurationMs = 0;
    AudioSample* lastAudioSample = nullptr;
    int32_t numRepeats = 0;
    int32_t comfortNoiseCount = 0;
    bool bBuffering = true;
    bool bDynamicJitterBuffer = true;
    // Frames handed out, modulo 100, and underruns since the last adaptation: this stream's own.
    int32_t adaptationCounter = 0;
    int32_t underrunCount = 0;
    plat::CriticalSection streamLock;
};

} // namespace tamsor
