#include "media/dsp/PCMVolumeTransformer.h"

#include <algorithm>

#include "media/base/RegistryValues.h"
#include "media/dsp/PCM16.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

PCMVolumeTransformer::PCMVolumeTransformer() {
    SetComponentNameFor("PCMVolumeTransformer", this);
    LoadTraceLevel();
}

PCMVolumeTransformer::~PCMVolumeTransformer() {
    StopSourceThread();
    StopSinkThread();
}

int PCMVolumeTransformer::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTracePCMVolumeTransformer);
}

int PCMVolumeTransformer::SetVolume(int32_t newVolume) {
    volume.store(std::clamp(newVolume, 0, 100));
    return 0;
}

int PCMVolumeTransformer::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    if (samples.empty() || !samples.front().first) {
        return 0;
    }
    AudioSample* sample = samples.front().first;
    sample->AddRef(this);
    const int32_t v = volume.load();
    const double gain = static_cast<double>(v * v) * 0.0001;
    uint8_t* data = sample->GetData();
    const int values = sample->GetDataSize() / 2;
    for (int i = 0; i < values; ++i) {
        const double scaled = gain * ReadPCM16(data + 2 * i);
        WritePCM16(data + 2 * i, static_cast<int16_t>(scaled));
    }
    *out = sample;
    return 0;
}

} // namespace tamsor
