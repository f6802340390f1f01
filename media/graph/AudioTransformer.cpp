#include "media/graph/AudioTransformer.h"

#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"

namespace tamsor {

int AudioTransformer::TransformStarted() {
    return 0;
}
int AudioTransformer::TransformStopped() {
    return 0;
}

AudioSample* AudioTransformer::NewOutputSample(const WaveFormat& format) {
    AudioSample* output = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&output, this);
    if (!output) {
        Trace(TRACE_FAILURE, "TransformAudioSamples : no sample from the pool\n");
        return nullptr;
    }
    output->SetFormat(format);
    return output;
}

int AudioTransformer::StartTransform() {
    LoadTraceLevel();
    return TransformStarted();
}

int AudioTransformer::StopTransform() {
    return TransformStopped();
}

int AudioTransformer::RenderAudioSamples(AudioSampleList& samples) {
    AudioSample* output = nullptr;
    int result = 0;
    try {
        result = TransformAudioSamples(samples, &output);
    } catch (...) {
        EngineTrace("AudioTransformer::RenderAudioSamples: exception 1");
        if (output) {
            output->Release(this);
        }
        output = nullptr;
    }
    if (result != 0 && output) {
        output->Release(this);
        output = nullptr;
    }
    {
        std::lock_guard<plat::CriticalSection> guard(audioSinksMutex);
        for (size_t i = 0; i < audioSinks.size(); ++i) {
            try {
                SendAudioSample(output, audioSinks[i]);
            } catch (...) {
                EngineTrace("AudioTransformer::RenderAudioSamples: exception 2");
            }
        }
    }
    if (output) {
        output->Release(this);
    }
    return result;
}

int AudioTransformer::GenerateData(AudioSample** out) {
    *out = nullptr;
    try {
        audioSamples.clear();
        PullFromSources(nullptr);
        int result = TransformAudioSamples(audioSamples, out);
        if (result != 0 && *out) {
            (*out)->Release(this);
            *out = nullptr;
        }
        ReleaseAudioSamples();
        return result;
    } catch (...) {
        EngineTrace("AudioTransformer::GenerateData: exception 1");
        ReleaseAudioSamples();
        if (*out) {
            (*out)->Release(this);
            *out = nullptr;
        }
        return -1;
    }
}

} // namespace tamsor
