#include "media/dsp/Limiter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "media/base/RegistryValues.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

Limiter::Limiter(double threshold, double lossIncrement, double lossDecrement)
    : core(new (std::nothrow) LimiterCore(threshold, lossIncrement, lossDecrement)) {
    SetComponentNameFor("Limiter", this);
    LoadTraceLevel();
}

Limiter::~Limiter() {
    StopSourceThread();
    StopSinkThread();
}

int Limiter::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTraceLimiter);
}

int Limiter::SetParameters(double threshold, double lossIncrement, double lossDecrement) {
    core.reset();
    core.reset(new (std::nothrow) LimiterCore(threshold, lossIncrement, lossDecrement));
    return 0;
}

int Limiter::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    AudioSample* sample = samples.empty() ? nullptr : samples.front().first;
    if (!sample) {
        return 0;
    }
    sample->AddRef(this);
    const WaveFormat& format = sample->Format();
    // Only 16-bit PCM is limited; without a core, or for any other format, the sample goes on
    // unchanged.
    if (core && format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16) {
        // Copied out and back, so the byte buffer is never read through another type.
        int16_t values[AudioSample::kBufferSize / 2];
        const int n = std::min(sample->GetDataSize(), AudioSample::kBufferSize) / 2;
        std::memcpy(values, sample->GetData(), n * sizeof(int16_t));
        core->Process(values, n);
        std::memcpy(sample->GetData(), values, n * sizeof(int16_t));
    } else if (!core) {
        Trace(TRACE_FAILURE, "TransformAudioSamples : no core\n");
    }
    *out = sample;
    return 0;
}

} // namespace tamsor
