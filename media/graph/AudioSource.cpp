#include "media/graph/AudioSource.h"

#include <algorithm>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSink.h"
#include "platform/core/Clock.h"

namespace tamsor {

const NodeThread::Rules AudioSource::kThreadRules = {
    "AudioSource",
    -20, // creating the thread failed
    -30, // SourceThreadStarted vetoed
    AudioSource::kStopWaitMs,
    "AudioSource::StartSourceThread: exception",
    "AudioSource::SourceThreadProc: exception 3",
    "AudioSource::SourceThreadProc: exception 4",
    "AudioSource::SourceThreadProc: exception 8",
};

AudioSource::AudioSource() = default;

AudioSource::~AudioSource() {
    sourceThread.StopAndJoin();
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

int AudioSource::StartSourceThread() {
    LoadTraceLevel();
    return sourceThread.Start();
}

int AudioSource::StopSourceThread() {
    return sourceThread.Stop();
}

} // namespace tamsor
