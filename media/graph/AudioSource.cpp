#include "media/graph/AudioSource.h"

#include <algorithm>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSink.h"
#include "platform/core/Clock.h"

namespace tamsor {

AudioSource::AudioSource() = default;

AudioSource::~AudioSource() {
    AudioSource::StopSourceThread();
    std::unique_ptr<plat::Thread> thread;
    {
        std::lock_guard<plat::CriticalSection> state(sourceStateMutex);
        thread = std::move(sourceThread);
    }
    if (thread) {
        thread->Resume();
        thread->Join();
    }
}

int AudioSource::SourceThreadStarted(AudioThreadHandle, uint32_t) {
    return 0;
}
int AudioSource::SourceThreadStopped(AudioThreadHandle, uint32_t) {
    return 0;
}
int AudioSource::SourceStarted() {
    return 0;
}
int AudioSource::SourceStopped() {
    return 0;
}

int AudioSource::AddAudioSink(AudioSink* sink) {
    std::lock_guard<plat::CriticalSection> guard(audioSinksMutex);
    if (std::find(audioSinks.begin(), audioSinks.end(), sink) == audioSinks.end()) {
        audioSinks.push_back(sink);
    }
    return 0;
}

int AudioSource::RemoveAudioSink(AudioSink* sink) {
    std::lock_guard<plat::CriticalSection> guard(audioSinksMutex);
    auto it = std::find(audioSinks.begin(), audioSinks.end(), sink);
    if (it != audioSinks.end()) {
        audioSinks.erase(it);
    }
    return 0;
}

int AudioSource::SendAudioSample(AudioSample* sample, AudioSink* sink) {
    try {
        return sink->TakeNextAudioSample(sample, this);
    } catch (...) {
        EngineTrace("AudioSource::SendAudioSample: exception");
        return 0;
    }
}

int AudioSource::GiveNextAudioSample(AudioSample** out, AudioSink* to) {
    *out = nullptr;
    int result = GenerateData(out);
    if (result != 0 || *out == nullptr) {
        if (*out) {
            (*out)->Release(this);
        }
        *out = nullptr;
    }
    std::lock_guard<plat::CriticalSection> guard(audioSinksMutex);
    // By index: a sink may connect or disconnect this source from inside its answer.
    for (size_t i = 0; i < audioSinks.size(); ++i) {
        if (audioSinks[i] != to) {
            SendAudioSample(*out, audioSinks[i]);
        }
    }
    return result;
}

void AudioSource::PushLoop() {
    while (!bStopSourceThread) {
        AudioSample* sample = nullptr;
        try {
            for (;;) {
                sample = nullptr;
                if (GenerateData(&sample) >= 0) {
                    break;
                }
                if (sample) {
                    sample->Release(this);
                    sample = nullptr;
                }
                plat::SleepMs(kRetryMs);
                if (bStopSourceThread) {
                    return;
                }
            }
            if (bStopSourceThread) {
                if (sample) {
                    sample->Release(this);
                }
                return;
            }
        } catch (...) {
            EngineTrace("AudioSource::SourceThreadProc: exception 4");
            return;
        }
        try {
            if (!sample) {
                EngineTrace("AudioSource::SourceThreadProc: !pAudioSample");
            } else if (sample->GetDataSize() == 0) {
                EngineTrace("AudioSource::SourceThreadProc: sample size=0");
            }
        } catch (...) {
            EngineTrace("AudioSource::SourceThreadProc: exception 5");
            if (sample) {
                sample->Release(this);
            }
            return;
        }
        {
            std::lock_guard<plat::CriticalSection> guard(audioSinksMutex);
            for (size_t i = 0; i < audioSinks.size(); ++i) {
                try {
                    SendAudioSample(sample, audioSinks[i]);
                } catch (...) {
                    EngineTrace("AudioSource::SourceThreadProc: exception 6");
                }
            }
        }
        try {
            if (sample) {
                sample->Release(this);
            }
        } catch (...) {
            EngineTrace("AudioSource::SourceThreadProc: exception 7");
            return;
        }
    }
}

void AudioSource::WindUpSourceThread() {
    std::lock_guard<plat::CriticalSection> state(sourceStateMutex);
    bSourceThreadRunning = false;
    try {
        SourceThreadStopped(sourceThreadHandle, sourceThreadID);
    } catch (...) {
        EngineTrace("AudioSource::SourceThreadProc: exception 8");
    }
    sourceThreadHandle = nullptr;
    sourceThreadID = 0;
}

void AudioSource::SourceThreadProc() {
    bSourceThreadRunning = true;
    sourceThreadStartEvent.Set();
    // Every way out of the loop, an exception included, winds the thread up and signals the
    // stop event, so the source can be stopped and started again.
    PushLoop();
    WindUpSourceThread();
    sourceThreadStopEvent.Set();
}

void AudioSource::ReapSourceThread() {
    std::unique_ptr<plat::Thread> done;
    {
        std::lock_guard<plat::CriticalSection> state(sourceStateMutex);
        if (sourceThread && sourceThreadHandle == nullptr) {
            done = std::move(sourceThread);
        }
    }
    if (done) {
        done->Join();
    }
}

int AudioSource::StartSourceThread() {
    LoadTraceLevel();
    std::lock_guard<plat::CriticalSection> startStop(sourceStartStopMutex);
    std::unique_lock<plat::CriticalSection> state(sourceStateMutex);
    if (bSourceThreadRunning) {
        Trace(TRACE_FAILURE, "StartSourceThread : already running\n");
        return -10;
    }
    ReapSourceThread();
    if (sourceThreadHandle != nullptr || sourceThreadID != 0) {
        Trace(TRACE_FAILURE, "StartSourceThread : thread still recorded\n");
        return -20;
    }
    sourceThreadStartEvent.Reset();
    sourceThreadStopEvent.Reset();
    bStopSourceThread = true;
    auto thread = std::make_unique<plat::Thread>();
    if (!thread->Create([this] { SourceThreadProc(); }, "AudioSource")) {
        sourceThreadID = 0;
        Trace(TRACE_FAILURE, "StartSourceThread : !CreateThread\n");
        return -20;
    }
    sourceThread = std::move(thread);
    sourceThreadHandle = sourceThread.get();
    sourceThreadID = NextAudioThreadId();

    int result = 0;
    int answer;
    try {
        answer = SourceThreadStarted(sourceThreadHandle, sourceThreadID);
    } catch (...) {
        EngineTrace("AudioSource::StartSourceThread: exception");
        answer = -1;
    }
    if (answer != 0) {
        Trace(TRACE_FAILURE, "StartSourceThread : SourceThreadStarted vetoed\n");
        result = -30;
    } else {
        bStopSourceThread = false;
    }
    sourceThread->Resume();
    sourceThreadStartEvent.Wait(plat::kInfinite);
    if (result != 0) {
        // The vetoed thread ends at once; wait for it, so a new start finds the node idle.
        state.unlock();
        sourceThreadStopEvent.Wait(plat::kInfinite);
        ReapSourceThread();
    }
    return result;
}

int AudioSource::StopSourceThread() {
    {
        std::lock_guard<plat::CriticalSection> state(sourceStateMutex);
        if (sourceThread && sourceThread->IsCurrent()) {
            // Asked from inside the thread (while another caller may be waiting for it with
            // the start-stop lock held): it ends after this pass.
            bStopSourceThread = true;
            return 0;
        }
    }
    std::lock_guard<plat::CriticalSection> startStop(sourceStartStopMutex);
    bool wait = false;
    {
        std::lock_guard<plat::CriticalSection> state(sourceStateMutex);
        if (bSourceThreadRunning) {
            bStopSourceThread = true;
            wait = true;
        }
    }
    if (wait) {
        plat::WaitResult waited = sourceThreadStopEvent.Wait(kStopWaitMs);
        if (waited != plat::WaitResult::Signalled) {
            // The thread is still inside GenerateData or a sink; it is joined once it has
            // wound up (by the next start or stop, or the destructor).
            Trace(TRACE_FAILURE, "StopSourceThread : thread did not stop\n");
        }
    }
    ReapSourceThread();
    return 0;
}

} // namespace tamsor
