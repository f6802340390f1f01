#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/base/TraceComponent.h"
#include "media/graph/AudioGraph.h"
#include "media/graph/AudioSinkInterface.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"
#include "platform/core/Thread.h"

namespace tamsor {

// A node that consumes samples. It is driven either by pushes from its sources
// (TakeNextAudioSample; started with StartSink) or by a thread of its own that pulls one sample
// from each source per pass and renders the set (StartSinkThread).
//
// Threads:
// - Connect/Disconnect (AddAudioSource, RemoveAudioSource): any thread; audioSourcesMutex
//   guards audioSources and is held while the sources are asked for samples.
// - StartSink, StopSink, StartSinkThread, StopSinkThread: the owner's control thread.
//   sinkStartStopMutex is held by StartSinkThread and StopSinkThread for their whole run (it
//   also serialises joining the thread); sinkStateMutex guards sinkThread, sinkThreadHandle and
//   sinkThreadID and is taken after sinkStartStopMutex.
// - SinkThreadStarted runs on the starting thread under sinkStateMutex before the new thread
//   runs; SinkThreadStopped runs on the sink thread under sinkStateMutex as its last work.
// - TakeNextAudioSample / RenderAudioSamples: the sink thread or the one source thread pushing
//   into this sink, never two at once; audioSamples is used by that thread without a lock.
// - The flags are atomic: they are read without a lock by the sink thread and by callers.
// Concrete sinks whose RenderAudioSamples uses their own members stop the thread in their own
// destructor; the destructor here stops and joins it as a last resort.
class AudioSink : public AudioSinkInterface, public virtual TraceComponent {
public:
    AudioSink();
    ~AudioSink() override;

    int TakeNextAudioSample(AudioSample* sample, AudioSource* from) override;
    virtual int StartSinkThread();
    virtual int StopSinkThread();
    virtual int SinkThreadStarted(AudioThreadHandle handle, uint32_t threadId);
    virtual int SinkThreadStopped(AudioThreadHandle handle, uint32_t threadId);
    virtual int SinkStarted();
    virtual int SinkStopped();
    virtual int RenderAudioSamples(AudioSampleList& samples) = 0;

    int StartSink();
    int StopSink();
    int AddAudioSource(AudioSource* source);
    int RemoveAudioSource(AudioSource* source);

    bool IsSinkRunning() const { return bSinkRunning.load(); }
    bool IsSinkThreadRunning() const { return bSinkThreadRunning.load(); }

protected:
    // Asks each connected source except `except` for one sample and appends those it gives;
    // returns the result of the last request (0 when none was made).
    int PullFromSources(AudioSource* except);
    // Releases every sample in audioSamples and empties it.
    void ReleaseAudioSamples();

    std::vector<AudioSource*> audioSources;
    AudioSampleList audioSamples;
    AudioThreadHandle sinkThreadHandle = nullptr;
    uint32_t sinkThreadID = 0;
    std::atomic<bool> bSinkRunning{false};
    std::atomic<bool> bSinkThreadRunning{false};
    std::atomic<bool> bStopSinkThread{false};
    plat::AutoResetEvent sinkThreadStartEvent;
    plat::AutoResetEvent sinkThreadStopEvent;
    plat::CriticalSection audioSourcesMutex;
    plat::CriticalSection sinkStateMutex;
    plat::CriticalSection sinkStartStopMutex;

private:
    void SinkThreadProc();
    // Joins a thread that has wound up (handle cleared); call with sinkStartStopMutex held.
    void ReapSinkThread();

    std::unique_ptr<plat::Thread> sinkThread;
};

} // namespace tamsor
