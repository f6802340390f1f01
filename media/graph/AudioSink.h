#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "media/base/TraceComponent.h"
#include "media/graph/AudioGraph.h"
#include "media/graph/AudioSinkInterface.h"
#include "media/graph/NodeThread.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

// A node that consumes samples. It is driven either by pushes from its sources
// (TakeNextAudioSample; started with StartSink) or by a thread of its own that pulls one sample
// from each source per pass and renders the set (StartSinkThread).
//
// Threads:
// - Connect/Disconnect (AddAudioSource, RemoveAudioSource): any thread; audioSourcesMutex
//   guards audioSources and is held while the sources are asked for samples.
// - StartSink, StopSink, StartSinkThread, StopSinkThread: the owner's control thread. The sink
//   thread (sinkThread, see NodeThread) holds the thread's handle, id, events and the
//   start-stop and state locks; StartSink and StopSink take the same state lock.
// - SinkThreadStarted runs on the starting thread under the state lock before the new thread
//   runs; SinkThreadStopped runs on the sink thread under the state lock as its last work.
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

    // The codes and texts of a sink's thread.
    static const NodeThread::Rules kThreadRules;

protected:
    // Names the sink's thread (a text that lives as long as the sink), for the system's thread
    // lists; call while the thread is not running.
    void SetThreadName(const char* name) { sinkThread.SetThreadName(name); }
    // Asks each connected source except `except` for one sample and appends those it gives;
    // returns the result of the last request (0 when none was made).
    int PullFromSources(AudioSource* except);
    // Releases every sample in audioSamples and empties it.
    void ReleaseAudioSamples();

    std::vector<AudioSource*> audioSources;
    AudioSampleList audioSamples;
    std::atomic<bool> bSinkRunning{false};
    std::atomic<bool> bSinkThreadRunning{false};
    std::atomic<bool> bStopSinkThread{false};
    plat::CriticalSection audioSourcesMutex;

private:
    // The sink's side of its thread: the hooks and the pull loop.
    class ThreadSide final : public NodeThread::Node {
    public:
        explicit ThreadSide(AudioSink& sink) : sink(sink) {}
        int ThreadStarted(AudioThreadHandle handle, uint32_t id) override {
            return sink.SinkThreadStarted(handle, id);
        }
        void ThreadLoop() override { sink.PullLoop(); }
        int ThreadStopped(AudioThreadHandle handle, uint32_t id) override {
            return sink.SinkThreadStopped(handle, id);
        }

    private:
        AudioSink& sink;
    };
    void PullLoop();

    ThreadSide threadSide{*this};
    NodeThread sinkThread{threadSide, kThreadRules, bSinkThreadRunning, bStopSinkThread,
                          &bSinkRunning};
};

} // namespace tamsor
