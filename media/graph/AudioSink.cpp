#include "media/graph/AudioSink.h"

#include <algorithm>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSource.h"

namespace tamsor {

AudioSink::AudioSink() {
    audioSamples.reserve(8);
}

AudioSink::~AudioSink() {
    AudioSink::StopSinkThread();
    std::unique_ptr<plat::Thread> thread;
    {
        std::lock_guard<plat::CriticalSection> state(sinkStateMutex);
        thread = std::move(sinkThread);
    }
    if (thread) {
        thread->Resume();
        thread->Join();
    }
    ReleaseAudioSamples();
}

int AudioSink::SinkThreadStarted(AudioThreadHandle, uint32_t) {
    return 0;
}
int AudioSink::SinkThreadStopped(AudioThreadHandle, uint32_t) {
    return 0;
}
int AudioSink::SinkStarted() {
    return 0;
}
int AudioSink::SinkStopped() {
    return 0;
}

int AudioSink::AddAudioSource(AudioSource* source) {
    std::lock_guard<plat::CriticalSection> guard(audioSourcesMutex);
    if (std::find(audioSources.begin(), audioSources.end(), source) == audioSources.end()) {
        audioSources.push_back(source);
    }
    return 0;
}

int AudioSink::RemoveAudioSource(AudioSource* source) {
    std::lock_guard<plat::CriticalSection> guard(audioSourcesMutex);
    auto it = std::find(audioSources.begin(), audioSources.end(), source);
    if (it != audioSources.end()) {
        audioSources.erase(it);
    }
    return 0;
}

void AudioSink::ReleaseAudioSamples() {
    for (auto& entry : audioSamples) {
        if (entry.first) {
            entry.first->Release(this);
        }
    }
    audioSamples.clear();
}

int AudioSink::PullFromSources(AudioSource* except) {
    std::lock_guard<plat::CriticalSection> guard(audioSourcesMutex);
    int last = 0;
    // By index: a source may connect or disconnect this sink from inside its answer.
    for (size_t i = 0; i < audioSources.size(); ++i) {
        AudioSource* source = audioSources[i];
        if (source == except) {
            continue;
        }
        AudioSample* sample = nullptr;
        last = source->GiveNextAudioSample(&sample, this);
        if (last != 0) {
            if (sample) {
                sample->Release(this);
            }
            continue;
        }
        if (sample) {
            audioSamples.emplace_back(sample, source);
        }
    }
    return last;
}

int AudioSink::TakeNextAudioSample(AudioSample* sample, AudioSource* from) {
    audioSamples.clear();
    if (sample) {
        sample->AddRef(this);
        audioSamples.emplace_back(sample, from);
    }
    int lastGive;
    try {
        lastGive = PullFromSources(from);
    } catch (...) {
        // The pushing source traces this; hand back what was collected first.
        ReleaseAudioSamples();
        throw;
    }
    int result;
    try {
        result = RenderAudioSamples(audioSamples);
    } catch (...) {
        EngineTrace("AudioSink::TakeNextAudioSample: exception");
        ReleaseAudioSamples();
        return lastGive;
    }
    ReleaseAudioSamples();
    return result;
}

void AudioSink::SinkThreadProc() {
    bSinkThreadRunning = true;
    sinkThreadStartEvent.Set();
    try {
        while (!bStopSinkThread) {
            audioSamples.clear();
            PullFromSources(nullptr);
            RenderAudioSamples(audioSamples);
            ReleaseAudioSamples();
        }
    } catch (...) {
        // The thread ends, but winds up like any other so the sink can be started again.
        EngineTrace("AudioSink::SinkThreadProc: exception");
        ReleaseAudioSamples();
    }
    {
        std::lock_guard<plat::CriticalSection> state(sinkStateMutex);
        bSinkThreadRunning = false;
        try {
            SinkThreadStopped(sinkThreadHandle, sinkThreadID);
        } catch (...) {
            EngineTrace("AudioSink::SinkThreadProc: exception 2");
        }
        sinkThreadHandle = nullptr;
        sinkThreadID = 0;
    }
    sinkThreadStopEvent.Set();
}

void AudioSink::ReapSinkThread() {
    std::unique_ptr<plat::Thread> done;
    {
        std::lock_guard<plat::CriticalSection> state(sinkStateMutex);
        if (sinkThread && sinkThreadHandle == nullptr) {
            done = std::move(sinkThread);
        }
    }
    if (done) {
        done->Join();
    }
}

int AudioSink::StartSinkThread() {
    LoadTraceLevel();
    std::lock_guard<plat::CriticalSection> startStop(sinkStartStopMutex);
    std::unique_lock<plat::CriticalSection> state(sinkStateMutex);
    if (bSinkRunning || bSinkThreadRunning) {
        Trace(TRACE_FAILURE, "StartSinkThread : already running\n");
        return -10;
    }
    ReapSinkThread();
    if (sinkThreadHandle != nullptr || sinkThreadID != 0) {
        Trace(TRACE_FAILURE, "StartSinkThread : thread still recorded\n");
        return -20;
    }
    sinkThreadStartEvent.Reset();
    sinkThreadStopEvent.Reset();
    bStopSinkThread = true;
    auto thread = std::make_unique<plat::Thread>();
    if (!thread->Create([this] { SinkThreadProc(); }, "AudioSink")) {
        sinkThreadID = 0;
        Trace(TRACE_FAILURE, "StartSinkThread : !CreateThread\n");
        return -30;
    }
    sinkThread = std::move(thread);
    sinkThreadHandle = sinkThread.get();
    sinkThreadID = NextAudioThreadId();

    int result = 0;
    int answer;
    try {
        answer = SinkThreadStarted(sinkThreadHandle, sinkThreadID);
    } catch (...) {
        EngineTrace("AudioSink::StartSinkThread: exception");
        answer = -1;
    }
    if (answer != 0) {
        // The thread still runs once through its end, finding the stop request.
        Trace(TRACE_FAILURE, "StartSinkThread : SinkThreadStarted vetoed\n");
        result = -40;
    } else {
        bStopSinkThread = false;
    }
    // Opening the start gate cannot fail, so the -50 of a failed resume never arises.
    sinkThread->Resume();
    sinkThreadStartEvent.Wait(plat::kInfinite);
    if (result != 0) {
        // The vetoed thread ends at once; wait for it, so a new start finds the node idle.
        state.unlock();
        sinkThreadStopEvent.Wait(plat::kInfinite);
        ReapSinkThread();
    }
    return result;
}

int AudioSink::StopSinkThread() {
    {
        std::lock_guard<plat::CriticalSection> state(sinkStateMutex);
        if (sinkThread && sinkThread->IsCurrent()) {
            // Asked from inside the thread (while another caller may be waiting for it with
            // the start-stop lock held): it ends after this pass.
            bStopSinkThread = true;
            return 0;
        }
    }
    std::lock_guard<plat::CriticalSection> startStop(sinkStartStopMutex);
    bool wait = false;
    {
        std::lock_guard<plat::CriticalSection> state(sinkStateMutex);
        if (bSinkThreadRunning) {
            bStopSinkThread = true;
            wait = true;
        }
    }
    if (wait) {
        sinkThreadStopEvent.Wait(plat::kInfinite);
    }
    ReapSinkThread();
    return 0;
}

int AudioSink::StartSink() {
    LoadTraceLevel();
    std::lock_guard<plat::CriticalSection> state(sinkStateMutex);
    if (bSinkThreadRunning || bSinkRunning) {
        EngineTrace("AudioSink::StartSink (1)");
        return -10;
    }
    if (SinkStarted() == 0) {
        bSinkRunning = true;
        return 0;
    }
    EngineTrace("AudioSink::StartSink (2)");
    return -20;
}

int AudioSink::StopSink() {
    std::lock_guard<plat::CriticalSection> state(sinkStateMutex);
    if (bSinkThreadRunning) {
        return -10;
    }
    if (!bSinkRunning) {
        return 0;
    }
    if (SinkStopped() == 0) {
        bSinkRunning = false;
        return 0;
    }
    return -20;
}

} // namespace tamsor
