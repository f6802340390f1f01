#include "media/dsp/VAD.h"

#include <cstring>

#include "media/base/RegistryValues.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

VAD::VAD() {
    SetComponentNameFor("VAD", this);
    LoadTraceLevel();
}

VAD::~VAD() {
    StopSourceThread();
    StopSinkThread();
}

int VAD::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTraceVAD);
}

int VAD::Enable() {
    enabled = true;
    return 0;
}

int VAD::TransformStarted() {
    return detector.Reset();
}

int VAD::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    AudioSample* sample = samples.empty() ? nullptr : samples.front().first;
    if (!sample) {
        return 0;
    }
    sample->AddRef(this);
    *out = sample;
    if (!enabled) {
        Trace(TRACE_DETAIL, "Disabled\n");
        return 0;
    }
    const int size = sample->GetDataSize();
    if (size <= 0) {
        // Already a silence sample: it goes on as it is, and the detector learns nothing.
        return 0;
    }
    const int n = size / 2;
    const int ms = n / 8;
    // Copied out so the byte buffer is never read through another type.
    int16_t values[AudioSample::kBufferSize / 2];
    std::memcpy(values, sample->GetData(), static_cast<size_t>(n) * sizeof(int16_t));
    if (detector.IsSilence(values, n)) {
        sample->SetDataSize(0);
        sample->SetSilenceMs(ms);
        Trace(TRACE_DETAIL, "Silence : %dms\n", ms);
    } else {
        Trace(TRACE_DETAIL, "Speech : %dms\n", ms);
    }
    return 0;
}

} // namespace tamsor
