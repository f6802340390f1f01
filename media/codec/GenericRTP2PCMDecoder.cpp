#include "media/codec/GenericRTP2PCMDecoder.h"

#include <cstdio>

#include "media/base/RTPPacket.h"
#include "media/base/RegistryValues.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

namespace {

constexpr int kComfortNoiseSilenceMs = 20;

void WriteReceiveCodec(const char* name) {
    SetRegistryString(kRegSettingsKey, kRegRTPReceiveCodec, name);
}

} // namespace

GenericRTP2PCMDecoder::GenericRTP2PCMDecoder() {
    SetComponentNameFor("GenericRTP2PCMDecoder", this);
    LoadTraceLevel();
    WriteReceiveCodec("");
}

GenericRTP2PCMDecoder::~GenericRTP2PCMDecoder() = default;

int GenericRTP2PCMDecoder::LoadTraceLevel() {
    return LoadTraceLevelFrom("GenericRTP2PCMDecoder");
}

int GenericRTP2PCMDecoder::TransformStopped() {
    WriteReceiveCodec("");
    lastPayloadType = -1;
    return 0;
}

int GenericRTP2PCMDecoder::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    if (samples.empty() || !samples.front().first) {
        return 0;
    }
    AudioSample* input = samples.front().first;
    AudioSample* output = NewOutputSample(MakeWaveFormat(FORMAT_PCM16));
    if (!output) {
        return -30;
    }
    *out = output;
    output->SetDataSize(0);

    RTPPacket* header = input->GetRTPHeader();
    if (!header) {
        return -20;
    }
    output->SetRTPHeader(header->CopyHeader());

    const int inputLength = input->GetDataSize();
    if (inputLength <= 0) {
        if (input->GetSilenceMs() <= 0) {
            Trace(TRACE_FAILURE, "TransformAudioSamples : sample without data or silence\n");
            return -10;
        }
        output->SetSilenceMs(input->GetSilenceMs());
        return 0;
    }

    const int pt = header->payloadType;
    const bool changed = pt != lastPayloadType && pt != 13;
    if (changed) {
        lastPayloadType = pt;
    }
    int32_t count = output->GetBufferSize();
    int result;
    switch (pt) {
    case 0:
        Trace(TRACE_DETAIL, "TransformAudioSamples : %d byte G.711 ULAW packet\n", inputLength);
        codec.law = G711Codec::kMuLaw;
        result = codec.Decode(input->GetData(), inputLength, output->GetData(), &count);
        if (changed) {
            WriteReceiveCodec("G.711 ULaw");
        }
        break;
    case 8:
        Trace(TRACE_DETAIL, "TransformAudioSamples : %d byte G.711 ALAW packet\n", inputLength);
        codec.law = G711Codec::kALaw;
        result = codec.Decode(input->GetData(), inputLength, output->GetData(), &count);
        if (changed) {
            WriteReceiveCodec("G.711 ALaw");
        }
        break;
    case 13:
        // Comfort noise carrying a noise level: played as 20 ms of silence rather than as four
        // bytes mislabelled as PCM.
        Trace(TRACE_DETAIL, "TransformAudioSamples : %d byte SID packet\n", inputLength);
        output->SetSilenceMs(kComfortNoiseSilenceMs);
        return 0;
    default: {
        result = -10;
        count = 0;
        if (changed) {
            char text[48];
            std::snprintf(text, sizeof(text), "Unknown Type %u (ERROR)", static_cast<unsigned>(pt));
            WriteReceiveCodec(text);
        }
        break;
    }
    }
    output->SetDataSize(count);
    return result;
}

} // namespace tamsor
