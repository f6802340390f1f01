#pragma once
#include <atomic>
#include <cstdint>
#include <map>

#include "media/graph/AudioTransformer.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

class RTPAudioStream;

// Stands between the RTP decoder and the playout stages of the receive chain. The receiver's
// thread pushes decoded samples in (RenderAudioSamples); the speaker's thread pulls one sample
// per request out (GenerateData). One RTPAudioStream per SSRC; one of them, the active stream,
// is played, and 20 ms of silence goes out whenever nothing can be played.
//
// Threads:
// - RenderAudioSamples: the receiver's thread. GenerateData: the speaker's thread.
//   TransformStarted/TransformStopped, SetJitterTarget: the control thread.
// - filterMutex guards bRunning and is always left before rtpAudioStreamsMutex is taken.
// - rtpAudioStreamsMutex guards rtpAudioStreams, activeAudioStream, nullPacketCount and
//   useCounter; packets are inserted and taken out while it is held, so no stream is deleted
//   under a caller. A stream's own lock is taken inside it, never the other way round.
class RTPJitterBuffer : public AudioTransformer {
public:
    // Streams kept besides the active one; the one fed least recently goes first.
    static constexpr size_t kMaxIdleStreams = 3;

    RTPJitterBuffer();
    ~RTPJitterBuffer() override;

    int LoadTraceLevel() override;
    int SourceThreadStarted(AudioThreadHandle, uint32_t) override { return 0; }
    int SourceThreadStopped(AudioThreadHandle, uint32_t) override { return 0; }
    int SourceStarted() override { return 0; }
    int SourceStopped() override { return 0; }
    int GenerateData(AudioSample** out) override;
    int TransformStarted() override;
    int TransformStopped() override;
    int TransformAudioSamples(AudioSampleList&, AudioSample** out) override;
    int RenderAudioSamples(AudioSampleList& samples) override;

    int SetJitterTarget(int ms);
    int Clear();
    int ChooseNewActiveStream();

    // For the owner's statistics and tests.
    size_t GetStreamCount();
    // The active stream's SSRC; false when there is none.
    bool GetActiveSSRC(uint32_t* ssrc);

protected:
    AudioSample* MakeSilence();
    void DropIdleStreams();

    RTPAudioStream* activeAudioStream = nullptr;
    std::atomic<int32_t> jitterTargetMs{100};
    int32_t silenceMs = 20;
    bool bRunning = false;
    plat::CriticalSection rtpAudioStreamsMutex;
    plat::CriticalSection filterMutex;
    std::map<uint32_t, RTPAudioStream*> rtpAudioStreams;
    int32_t nullPacketCount = 0;
    uint64_t useCounter = 0;
};

} // namespace tamsor
