#include "media/dsp/PCMMixer.h"

#include <algorithm>

#include "media/base/RegistryValues.h"
#include "media/dsp/PCM16.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"

namespace tamsor {

PCMMixer::PCMMixer() {
    SetComponentNameFor("PCMMixer", this);
    LoadTraceLevel();
}

PCMMixer::~PCMMixer() {
    StopSourceThread();
    StopSinkThread();
}

int PCMMixer::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTracePCMMixer);
}

int PCMMixer::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    AudioSample* first = nullptr;
    int inputs = 0;
    int longest = 0;
    int silence = 0;
    for (auto& entry : samples) {
        AudioSample* sample = entry.first;
        if (!sample) {
            continue;
        }
        if (!first) {
            first = sample;
        }
        ++inputs;
        longest = std::max(longest, sample->GetDataSize());
        if (sample->GetDataSize() == 0) {
            silence = std::max(silence, sample->GetSilenceMs());
        }
    }
    if (inputs == 0) {
        return 0;
    }
    if (inputs == 1) {
        first->AddRef(this);
        *out = first;
        return 0;
    }

    AudioSample* mixed = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&mixed, this);
    mixed->SetFormat(first->Format());
    mixed->SetSilenceMs(silence);
    const int values = std::min(mixed->GetBufferSize(), longest) / 2;
    uint8_t* target = mixed->GetData();
    for (int i = 0; i < values; ++i) {
        const int needed = 2 * i + 2;
        double sum = 0.0;
        for (auto& entry : samples) {
            AudioSample* sample = entry.first;
            if (sample && sample->GetDataSize() >= needed) {
                sum += ReadPCM16(sample->GetData() + 2 * i);
            }
        }
        sum = std::clamp(sum, -32768.0, 32767.0);
        WritePCM16(target + 2 * i, static_cast<int16_t>(sum));
    }
    mixed->SetDataSize(2 * values);
    *out = mixed;
    return 0;
}

} // namespace tamsor
