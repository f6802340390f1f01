#include "media/codec/G7112PCMTransformer.h"

#include "media/base/RTPPacket.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

namespace {
constexpr int kComfortNoiseSilenceMs = 20;
} // namespace

G7112PCMTransformer::G7112PCMTransformer() {
    SetComponentNameFor("G7112PCMTransformer", this);
    LoadTraceLevel();
}

G7112PCMTransformer::~G7112PCMTransformer() = default;

int G7112PCMTransformer::LoadTraceLevel() {
    return LoadTraceLevelFrom("G7112PCMTransformer");
}

int G7112PCMTransformer::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    if (samples.empty() || !samples.front().first) {
        return 0;
    }
    AudioSample* input = samples.front().first;
    const int inputLength = input->GetDataSize();
    if (inputLength <= 0 && input->GetSilenceMs() <= 0) {
        Trace(TRACE_FAILURE, "TransformAudioSamples : sample without data or silence\n");
        return -10;
    }
    AudioSample* output = NewOutputSample(MakeWaveFormat(FORMAT_PCM16));
    if (!output) {
        return -10;
    }
    output->SetDataSize(0);
    *out = output;

    // The law: the packet's own payload type when it came from the network.
    int32_t law = codec.law;
    bool comfortNoise = false;
    if (RTPPacket* header = input->GetRTPHeader()) {
        output->SetRTPHeader(header->CopyHeader());
        switch (header->payloadType) {
        case 0:
            law = G711Codec::kMuLaw;
            break;
        case 8:
            law = G711Codec::kALaw;
            break;
        case 13:
            comfortNoise = true;
            break;
        default:
            Trace(TRACE_FAILURE, "TransformAudioSamples : payload type %u refused\n",
                  header->payloadType);
            return -10;
        }
    }
    if (comfortNoise) {
        output->SetSilenceMs(kComfortNoiseSilenceMs);
        return 0;
    }
    if (inputLength <= 0) {
        output->SetSilenceMs(input->GetSilenceMs());
        return 0;
    }
    G711Codec packetCodec;
    packetCodec.law = law;
    int32_t count = output->GetBufferSize();
    int result = packetCodec.Decode(input->GetData(), inputLength, output->GetData(), &count);
    output->SetDataSize(count);
    return result;
}

} // namespace tamsor
