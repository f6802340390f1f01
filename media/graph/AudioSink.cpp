#include "media/graph/AudioSink.h"

#include <algorithm>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSource.h"

namespace tamsor {

const NodeThread::Rules AudioSink::kThreadRules = {
    "AudioSink",
    -30, // creating the thread failed
    -40, // SinkThreadStarted vetoed
    plat::kInfinite,
    "AudioSink::StartSinkThread: exception",
    "AudioSink::SinkThreadProc: exception 3",
    "AudioSink::SinkThreadProc: exception",
    "AudioSink::SinkThreadProc: exception 2",
};

AudioSink::AudioSink() {
    audioSamples.reserve(8);
}

AudioSink::~AudioSink() {
    sinkThread.StopAndJoin();
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

void AudioSink::PullLoop() {
    try {
        while (!bStopSinkThread) {
            audioSamples.clear();
            PullFromSources(nullptr);
            RenderAudioSamples(audioSamples);
            ReleaseAudioSamples();
        }
    } catch (...) {
        // Hand back what was collected; the thread then winds up like any other.
        ReleaseAudioSamples();
        throw;
    }
}

int AudioSink::StartSinkThread() {
    LoadTraceLevel();
    return sinkThread.Start();
}

int AudioSink::StopSinkThread() {
    return sinkThread.Stop();
}

int AudioSink::StartSink() {
    LoadTraceLevel();
    std::lock_guard<plat::CriticalSection> state(sinkThread.StateMutex());
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
    std::lock_guard<plat::CriticalSection> state(sinkThread.StateMutex());
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
