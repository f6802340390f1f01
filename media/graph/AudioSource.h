#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "media/base/TraceComponent.h"
#include "media/graph/AudioGraph.h"
#include "media/graph/AudioSourceInterface.h"
#include "media/graph/NodeThread.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

// A node that produces samples. It answers pulls from its sinks (GiveNextAudioSample), and
// may run a thread of its own that produces samples and pushes each to every sink
// (StartSourceThread).
//
// Threads:
// - Connect/Disconnect (AddAudioSink, RemoveAudioSink): any thread; audioSinksMutex guards
//   audioSinks and is held while a sample is handed to the sinks.
// - StartSourceThread, StopSourceThread: the owner's control thread. The source thread
//   (sourceThread, see NodeThread) holds the thread's handle, id, events and the start-stop and
//   state locks.
// - SourceThreadStarted runs on the starting thread under the state lock before the new thread
//   runs; SourceThreadStopped runs on the source thread under the state lock as its last work.
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

    // The codes and texts of a source's thread.
    static const NodeThread::Rules kThreadRules;

protected:
    // Names the source's thread (a text that lives as long as the source), for the system's
    // thread lists; call while the thread is not running.
    void SetThreadName(const char* name) { sourceThread.SetThreadName(name); }

    std::vector<AudioSink*> audioSinks;
    std::atomic<bool> bSourceThreadRunning{false};
    std::atomic<bool> bStopSourceThread{true};
    plat::CriticalSection audioSinksMutex;

private:
    // The source's side of its thread: the hooks and the push loop.
    class ThreadSide final : public NodeThread::Node {
    public:
        explicit ThreadSide(AudioSource& source) : source(source) {}
        int ThreadStarted(AudioThreadHandle handle, uint32_t id) override {
            return source.SourceThreadStarted(handle, id);
        }
        void ThreadLoop() override { source.PushLoop(); }
        int ThreadStopped(AudioThreadHandle handle, uint32_t id) override {
            return source.SourceThreadStopped(handle, id);
        }

    private:
        AudioSource& source;
    };
    void PushLoop();

    ThreadSide threadSide{*this};
    NodeThread sourceThread{threadSide, kThreadRules, bSourceThreadRunning, bStopSourceThread};
};

} // namespace tamsor
