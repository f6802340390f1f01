#pragma once
#include <cstdint>

#include "media/codec/G711Codec.h"
#include "media/graph/AudioTransformer.h"

namespace tamsor {

// The receive decoder that picks the law from each packet's RTP payload type: 0 µ-law, 8
// A-law, 13 (comfort noise) 20 ms of silence; anything else is refused with -10. The name of
// the codec being received goes to the registry value RTPReceiveCodec on every change.
//
// Threads: TransformAudioSamples on the RTP receiver's thread; TransformStopped on the thread
// that stops the chain after the receiver has stopped. No lock of its own.
class GenericRTP2PCMDecoder : public AudioTransformer {
public:
    GenericRTP2PCMDecoder();
    ~GenericRTP2PCMDecoder() override;

    int LoadTraceLevel() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;
    int TransformStopped() override;

protected:
    G711Codec codec;
    int32_t lastPayloadType = -1;
};

} // namespace tamsor
