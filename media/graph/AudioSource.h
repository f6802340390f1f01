#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/base/TraceComponent.h"
#include "media/graph/AudioGraph.h"
#include "media/graph/AudioSourceInterface.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"
#include "platform/core/Thread.h"

namespace tamsor {

// A node that produces samples. It answers pulls from its sinks (GiveNextAudioSample), and
// may run a thread of its own that produces samples and pushes each to every sink
// (StartSourceThread).
//
// Threads:
// - Connect/Disconnect (AddAudioSink, RemoveAudioSink): any thread; audioSinksMutex guards
//   audioSinks and is held while a sample is handed to the sinks.
// - StartSourceThread, StopSourceThread: the owner's control thread. sourceStartStopMutex is
//   held by both for their whole run (it also serialises joining the thread); sourceStateMutex
//   guards sourceThread, sourceThreadHandle and sourceThreadID, taken after the start-stop one.
// - SourceThreadStarted runs on the starting thread under sourceStateMutex before the new
//   thread runs; SourceThreadStopped runs on the source thread under sourceStateMutex as its
//   last work.
// - GenerateData: the source thread, or the sink thread / pushing thread that pulls from it.
// - The flags are atomic: they are read without a lock by the source thread and by callers.
// Concrete sources whose GenerateData uses their own members stop the thread in their own
// destructor; the destructor here stops and joins it as a last resort.
class AudioSource : public AudioSourceInterface, public virtual TraceComponent {
public:
    // How long StopSourceThread waits for the thread to wind up.
    static constexpr uint32_t kStopWaitMs = 15000;
    // The pause between two failed GenerateData calls of the source thread.
    static constexpr uint32_t kRetryMs = 10;

    AudioSource();
    ~AudioSource() override;

    int GiveNextAudioSample(AudioSample** out, AudioSink* to) override;
    virtual int StartSourceThread();
    virtual int StopSourceThread();
    virtual int SourceThreadStarted(AudioThreadHandle handle, uint32_t threadId);
    virtual int SourceThreadStopped(AudioThreadHandle handle, uint32_t threadId);
    virtual int SourceStarted();
    virtual int SourceStopped();
    virtual int GenerateData(AudioSample** out) = 0;

    int AddAudioSink(AudioSink* sink);
    int RemoveAudioSink(AudioSink* sink);
    // Hands the sample (may be null) to the sink; an exception there is traced and gives 0.
    int SendAudioSample(AudioSample* sample, AudioSink* sink);

    bool IsSourceThreadRunning() const { return bSourceThreadRunning.load(); }

protected:
    std::vector<AudioSink*> audioSinks;
    AudioThreadHandle sourceThreadHandle = nullptr;
    uint32_t sourceThreadID = 0;
    std::atomic<bool> bSourceThreadRunning{false};
    std::atomic<bool> bStopSourceThread{true};
    plat::AutoResetEvent sourceThreadStartEvent;
    plat::AutoResetEvent sourceThreadStopEvent;
    plat::CriticalSection audioSinksMutex;
    plat::CriticalSection sourceStateMutex;
    plat::CriticalSection sourceStartStopMutex;

private:
    void SourceThreadProc();
    void PushLoop();
    void WindUpSourceThread();
    void ReapSourceThread();

    std::unique_ptr<plat::Thread> sourceThread;
};

} // namespace tamsor
