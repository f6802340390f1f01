#include "media/codec/PCM2G711Transformer.h"

#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

PCM2G711Transformer::PCM2G711Transformer() {
    SetComponentNameFor("PCM2G711Transformer", this);
    LoadTraceLevel();
}

PCM2G711Transformer::~PCM2G711Transformer() = default;

int PCM2G711Transformer::LoadTraceLevel() {
    return LoadTraceLevelFrom("PCM2G711Transformer");
}

int PCM2G711Transformer::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    if (samples.empty() || !samples.front().first) {
        return 0;
    }
    AudioSample* input = samples.front().first;
    AudioSample* output = NewOutputSample(
        MakeWaveFormat(codec.law == G711Codec::kALaw ? FORMAT_G711_ALAW : FORMAT_G711_ULAW));
    if (!output) {
        return -10;
    }
    int result = 0;
    if (input->GetDataSize() > 0) {
        int32_t count = output->GetBufferSize();
        result = codec.Encode(input->GetData(), input->GetDataSize(), output->GetData(), &count);
        output->SetDataSize(count);
    } else {
        output->SetDataSize(0);
        output->SetSilenceMs(input->GetSilenceMs());
    }
    *out = output;
    return result;
}

} // namespace tamsor
